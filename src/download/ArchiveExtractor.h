#pragma once

#include <QObject>
#include <QString>

// Upper bounds for one archive. A zip header may claim anything, so an
// archive that asks for more than this is refused before anything is written.
struct ArchiveLimits
{
    qint64 maxEntries = 10000;
    qint64 maxTotalBytes = qint64(1) << 30; // uncompressed, all entries together
    // Per entry, checked before anything touches the disk: deep or long
    // names only cost time in directory walks and never name a resource.
    int maxPathComponents = 64;
    int maxNameBytes = 4096;
    qint64 maxCompressionRatio = 1000; // uncompressed : compressed
};

// Unpacks a downloaded effect resource (zip) entry by entry. Entries whose
// path would leave the destination are refused. Everything is first written
// into a staging folder beside the destination and moved into place only
// after the whole archive was walked and closed, so a failed run leaves
// nothing that could look like an installed resource. A staging folder left
// by a run that was killed is removed by the next run into the same place.
class ArchiveExtractor : public QObject
{
    Q_OBJECT
public:
    explicit ArchiveExtractor(QObject *parent = nullptr);

    void setLimits(const ArchiveLimits &limits) { m_limits = limits; }
    ArchiveLimits limits() const { return m_limits; }

    // True when the archive was opened, walked and closed; problems with
    // single entries are logged and skipped and do not change the result.
    bool extractZip(const QString &zipFilePath, const QString &extractDir);

    static constexpr int kCopyBufferSize = 8192;

signals:
    void extractionStarted(QString zipFilePath);
    void extractionFinished(QString zipFilePath, QString extractDir);
    void extractionError(QString zipFilePath, QString errorString);
    void zipslipThreatDetected(QString entryName);

private:
    bool fail(const QString &zipFilePath, const QString &message);

    ArchiveLimits m_limits;
};
