#include "NetworkManager.h"

#include "ArchiveExtractor.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr qint64 kReadBufferBytes = 1024 * 1024;

// Puts the finished transfer at its final path in one step, replacing an
// older copy, so a reader never sees a half-written resource.
bool replaceFile(const QString &from, const QString &to, QString *error)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_extractor(new ArchiveExtractor(this))
{
    connect(m_extractor, &ArchiveExtractor::extractionStarted, this,
            [](const QString &zipFilePath) { qDebug() << "开始解压:" << zipFilePath; });
    connect(m_extractor, &ArchiveExtractor::extractionFinished, this,
            [](const QString &zipFilePath, const QString &extractDir) {
                qDebug() << "解压完成:" << zipFilePath << "到" << extractDir;
            });
    connect(m_extractor, &ArchiveExtractor::extractionError, this,
            [](const QString &zipFilePath, const QString &errorString) {
                qDebug() << "解压出错:" << zipFilePath << "错误:" << errorString;
            });
    connect(m_extractor, &ArchiveExtractor::zipslipThreatDetected, this,
            [](const QString &entryName) { qDebug() << "安全威胁! 跳过:" << entryName; });
}

void NetworkManager::downloadFile(const QString &url, const QString &fileSavePath)
{
    qDebug() << "url: " << url << "fileSavePath" << fileSavePath;

    QNetworkRequest request{QUrl(url)};
    // Resource hosts commonly redirect to a mirror; without following, the
    // redirect page itself would be saved as the resource.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);

    // The body goes into a temporary file beside the target and replaces the
    // target only once complete.
    const QFileInfo target(fileSavePath);
    auto file = std::make_unique<QTemporaryFile>(
        target.absolutePath() + QStringLiteral("/.") + target.fileName()
        + QStringLiteral(".XXXXXX.part"));
    if (!file->open()) {
        qDebug() << "文件打开失败: " << fileSavePath;
        emit downloadFinished(false, fileSavePath);
        return;
    }

    // Everything below is per call, so a download started from inside this
    // call's event loop cannot disturb it.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    bool finished = false;

    QNetworkReply *reply = m_manager->get(request);
    // Bounds what the toolkit buffers ahead of the disk, so a large resource
    // streams through a small window instead of piling up in memory.
    reply->setReadBufferSize(kReadBufferBytes);

    // Remembered apart from the reply: aborting a reply that has already
    // finished changes nothing, and closing the file clears its error.
    bool writeFailed = false;
    auto appendAvailable = [&] {
        const QByteArray chunk = reply->readAll();
        if (!chunk.isEmpty() && !writeFailed && file->write(chunk) != chunk.size()) {
            qDebug() << "写入文件失败:" << file->errorString();
            writeFailed = true;
            reply->abort();
        }
    };

    auto complete = [&] {
        if (finished)
            return;
        finished = true;
        timeout.stop();
        bool result = false;
        if (reply->error() == QNetworkReply::NoError)
            appendAvailable();
        // A connection that breaks off mid-body is not always reported as an
        // error; a body shorter than announced is a failed transfer all the same.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool truncated = reply->error() == QNetworkReply::NoError && announced.isValid()
                               && file->pos() < announced.toLongLong();
        if (reply->error() != QNetworkReply::NoError || truncated || writeFailed) {
            if (reply->error() == QNetworkReply::NoError && writeFailed)
                qDebug() << "下载失败:" << file->errorString();
            else if (truncated)
                qDebug() << "下载失败:" << QStringLiteral("数据不完整 (%1/%2 字节)")
                                              .arg(file->pos()).arg(announced.toLongLong());
            else
                qDebug() << "下载失败:" << reply->errorString();
            file->close();
            file->remove();
        } else {
            file->flush();
            file->close();
            // Keep an existing resource's permissions, but always readable
            // and writable by its owner; a new one gets the usual rw-r--r--.
            QFile::Permissions permissions = QFile::exists(fileSavePath)
                ? QFile::permissions(fileSavePath)
                : (QFile::ReadGroup | QFile::ReadOther);
            permissions |= QFile::ReadOwner | QFile::WriteOwner;
            file->setPermissions(permissions);
            QString error;
            if (file->error() != QFileDevice::NoError) {
                qDebug() << "写入文件失败:" << file->errorString();
                file->remove();
            } else if (!replaceFile(file->fileName(), fileSavePath, &error)) {
                qDebug() << "保存文件失败:" << fileSavePath << error;
                file->remove();
            } else {
                file->setAutoRemove(false);
                if (target.suffix() == QLatin1String("zip")) {
                    result = m_extractor->extractZip(fileSavePath, target.absolutePath());
                    QFile::remove(fileSavePath);
                } else {
                    result = true;
                }
            }
        }
        emit downloadFinished(result, fileSavePath);
        reply->deleteLater();
        loop.quit();
    };

    connect(reply, &QNetworkReply::downloadProgress, &loop,
            [this, reply](qint64 received, qint64 total) {
                // Without a length the toolkit reports the received size as the
                // total once the transfer ends; the overlay keeps showing 0 then.
                if (!reply->header(QNetworkRequest::ContentLengthHeader).isValid())
                    total = -1;
                // Clamped before narrowing: with an unknown total a large
                // body would otherwise wrap round to a positive percentage.
                if (total != 0)
                    emit downloadProgress(static_cast<int>(
                        qBound<qint64>(std::numeric_limits<int>::min(), received * 100 / total,
                                       std::numeric_limits<int>::max())));
            });
    connect(reply, &QNetworkReply::readyRead, &loop, appendAvailable);
    connect(&timeout, &QTimer::timeout, &loop, [&] {
        if (reply->isRunning()) {
            qDebug() << "下载超时: " << url;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, &loop, complete);

    timeout.start(m_timeoutMs);
    if (!finished)
        loop.exec();

    // The loop also ends when the application quits; the transfer is then
    // given up so that the call still reports exactly once.
    if (!finished) {
        reply->abort();
        complete();
    }
}
