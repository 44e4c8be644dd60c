#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class ArchiveExtractor;

// Fetches one effect resource into a file and, for a ".zip" target, has it
// extracted beside itself and removes the archive. downloadFile() blocks its
// caller but runs a local event loop, so the interface (and the loading
// overlay) stays alive during the transfer.
class NetworkManager : public QObject
{
    Q_OBJECT
public:
    explicit NetworkManager(QObject *parent = nullptr);

    // Returns when the transfer (and any extraction) has ended; emits
    // downloadFinished exactly once per call.
    void downloadFile(const QString &url, const QString &fileSavePath);

    // Measured from the start of the request, not from the last data.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // Bytes a resource may have once decoded; a larger one is a failed
    // download. Also bounds what a compressed reply may inflate to.
    void setMaxDownloadBytes(qint64 bytes) { m_maxBytes = bytes; }
    qint64 maxDownloadBytes() const { return m_maxBytes; }

    ArchiveExtractor *archiveExtractor() const { return m_extractor; }

signals:
    void downloadProgress(int progress);
    void downloadFinished(bool success, QString fileSavePath);

private:
    QNetworkAccessManager *m_manager = nullptr;
    int m_timeoutMs = 20000;
    qint64 m_maxBytes = qint64(1) << 30;
    ArchiveExtractor *m_extractor = nullptr;
};
