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

#include <zlib.h>

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

// Undoes a Content-Encoding while the body streams to disk. Resource
// requests ask for none, but a server may compress anyway; the decoded bytes
// then pass the same size bound as a plain body, so a small reply cannot
// inflate into gigabytes on disk or in memory.
class BodyDecoder
{
public:
    BodyDecoder() = default;
    BodyDecoder(const BodyDecoder &) = delete;
    BodyDecoder &operator=(const BodyDecoder &) = delete;
    ~BodyDecoder()
    {
        if (m_active)
            inflateEnd(&m_stream);
    }

    // False for an encoding this class cannot undo.
    bool start(const QByteArray &encoding)
    {
        if (encoding.isEmpty() || encoding == "identity")
            return true;
        if (encoding != "gzip" && encoding != "x-gzip" && encoding != "deflate")
            return false;
        // 32 + 15: a gzip or zlib header, whichever the server sent.
        if (inflateInit2(&m_stream, 32 + MAX_WBITS) != Z_OK)
            return false;
        m_active = true;
        return true;
    }

    // Hands the decoded bytes to sink in pieces; false when the data is
    // damaged (with *error set) or the sink refused a piece.
    template<typename Sink>
    bool feed(const QByteArray &chunk, Sink sink, QString *error)
    {
        if (!m_active)
            return sink(chunk.constData(), qint64(chunk.size()));
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(chunk.constData()));
        m_stream.avail_in = uInt(chunk.size());
        while (m_stream.avail_in > 0) {
            if (m_ended) {
                // Concatenated gzip members decode one after the other.
                inflateReset(&m_stream);
                m_ended = false;
            }
            m_stream.next_out = reinterpret_cast<Bytef *>(m_out);
            m_stream.avail_out = sizeof m_out;
            const int status = inflate(&m_stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                *error = QStringLiteral("压缩数据损坏 (%1)")
                             .arg(QString::fromLatin1(m_stream.msg ? m_stream.msg : "inflate"));
                return false;
            }
            const qint64 produced = qint64(sizeof m_out - m_stream.avail_out);
            if (produced > 0 && !sink(m_out, produced))
                return false;
            m_ended = status == Z_STREAM_END;
            if (status == Z_BUF_ERROR && produced == 0)
                break; // needs more input
        }
        return true;
    }

    // True when no encoding was used or the last stream ended properly.
    bool complete() const { return !m_active || m_ended; }

private:
    z_stream m_stream{};
    bool m_active = false;
    bool m_ended = false;
    char m_out[64 * 1024];
};

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

    // Addresses come from panel files; only web addresses are fetched, so a
    // "file:" or other scheme cannot copy local files into the resources.
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        qDebug() << "下载失败:" << QStringLiteral("只下载 http 和 https 地址:") << url;
        emit downloadFinished(false, fileSavePath);
        return;
    }

    QNetworkRequest request{address};
    // Resource hosts commonly redirect to a mirror; without following, the
    // redirect page itself would be saved as the resource.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // Asking for no encoding also keeps the toolkit from inflating a reply
    // itself, which would bypass the read-buffer bound and hide the length.
    request.setRawHeader("Accept-Encoding", "identity");

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
    const qint64 maxBytes = m_maxBytes;

    QNetworkReply *reply = m_manager->get(request);
    // Bounds what the toolkit buffers ahead of the disk, so a large resource
    // streams through a small window instead of piling up in memory.
    reply->setReadBufferSize(kReadBufferBytes);

    // Remembered apart from the reply: aborting a reply that has already
    // finished changes nothing, and closing the file clears its error.
    bool writeFailed = false;
    QString failure; // why this side gave the transfer up
    bool headersChecked = false;
    BodyDecoder decoder;
    qint64 received = 0; // bytes as sent, compared with Content-Length
    qint64 decoded = 0;  // bytes written to the file

    auto tooLarge = [maxBytes] {
        return QStringLiteral("资源超过大小上限 (%1 字节)").arg(maxBytes);
    };
    auto checkHeaders = [&] {
        headersChecked = true;
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > maxBytes) {
            failure = tooLarge();
            return;
        }
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (!decoder.start(encoding))
            failure = QStringLiteral("不支持的内容编码: %1").arg(QString::fromLatin1(encoding));
    };
    auto appendAvailable = [&] {
        while (failure.isEmpty() && !writeFailed) {
            if (!headersChecked) {
                checkHeaders();
                if (!failure.isEmpty())
                    break;
            }
            const QByteArray chunk = reply->read(kReadBufferBytes);
            if (chunk.isEmpty())
                break;
            received += chunk.size();
            QString error;
            const bool fed = decoder.feed(chunk, [&](const char *data, qint64 size) {
                if (decoded + size > maxBytes) {
                    failure = tooLarge();
                    return false;
                }
                if (file->write(data, size) != size) {
                    qDebug() << "写入文件失败:" << file->errorString();
                    writeFailed = true;
                    return false;
                }
                decoded += size;
                return true;
            }, &error);
            if (!fed && failure.isEmpty() && !writeFailed)
                failure = error;
        }
        // Last: aborting a running reply finishes it at once.
        if (!failure.isEmpty() || writeFailed)
            reply->abort();
    };

    auto complete = [&] {
        if (finished)
            return;
        finished = true;
        timeout.stop();
        bool result = false;
        const bool transferred = reply->error() == QNetworkReply::NoError;
        if (transferred) {
            appendAvailable();
            if (!headersChecked && failure.isEmpty())
                checkHeaders();
        }
        // A connection that breaks off mid-body is not always reported as an
        // error; a body shorter than announced is a failed transfer all the same.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool truncated = transferred && announced.isValid() && received < announced.toLongLong();
        if (transferred && failure.isEmpty() && !writeFailed && !truncated) {
            if (!decoder.complete())
                failure = QStringLiteral("压缩数据不完整");
            else if (decoded == 0)
                failure = QStringLiteral("响应为空"); // never replaces a resource with nothing
        }
        if (!transferred || truncated || writeFailed || !failure.isEmpty()) {
            if (!failure.isEmpty())
                qDebug() << "下载失败:" << failure;
            else if (writeFailed)
                qDebug() << "下载失败:" << file->errorString();
            else if (truncated)
                qDebug() << "下载失败:" << QStringLiteral("数据不完整 (%1/%2 字节)")
                                              .arg(received).arg(announced.toLongLong());
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
                if (target.suffix().compare(QLatin1String("zip"), Qt::CaseInsensitive) == 0) {
                    result = m_extractor->extractZip(fileSavePath, target.absolutePath());
                    QFile::remove(fileSavePath);
                } else {
                    result = true;
                }
            }
        }
        // Progress reaches 100 only for a download that succeeded.
        if (result && announced.isValid() && announced.toLongLong() > 0)
            emit downloadProgress(100);
        emit downloadFinished(result, fileSavePath);
        reply->deleteLater();
        loop.quit();
    };

    connect(reply, &QNetworkReply::downloadProgress, &loop,
            [this, reply](qint64 done, qint64 total) {
                // Without a length the toolkit reports the received size as the
                // total once the transfer ends; the overlay keeps showing 0 then.
                if (!reply->header(QNetworkRequest::ContentLengthHeader).isValid())
                    total = -1;
                // Clamped before narrowing: with an unknown total a large
                // body would otherwise wrap round to a positive percentage.
                // 100 is left to the completion step.
                if (total != 0)
                    emit downloadProgress(static_cast<int>(
                        qBound<qint64>(std::numeric_limits<int>::min(), done * 100 / total, 99)));
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
