#include "ArchiveExtractor.h"
#include "LogCapture.h"
#include "NetworkManager.h"
#include "TestHttpServer.h"
#include "ZipTestUtil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

#include <zlib.h>

namespace {

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray patternBody(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = char((i * 31 + i / 251) & 0xff);
    return body;
}

// A gzip member holding `size` bytes of `fill`, compressed piece by piece so
// that a bomb of many megabytes never exists uncompressed in the test.
QByteArray gzipped(qint64 size, char fill = '\0', const QByteArray &prefix = QByteArray())
{
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    const QByteArray block(1024 * 1024, fill);
    QByteArray out;
    char buffer[65536];
    qint64 left = size;
    auto pump = [&](const QByteArray &in, int flush) {
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        zs.avail_in = uInt(in.size());
        do {
            zs.next_out = reinterpret_cast<Bytef *>(buffer);
            zs.avail_out = sizeof buffer;
            deflate(&zs, flush);
            out.append(buffer, int(sizeof buffer - zs.avail_out));
        } while (zs.avail_out == 0);
    };
    pump(prefix, Z_NO_FLUSH);
    while (left > 0) {
        const QByteArray piece = left >= block.size() ? block : block.left(int(left));
        left -= piece.size();
        pump(piece, Z_NO_FLUSH);
    }
    pump(QByteArray(), Z_FINISH);
    deflateEnd(&zs);
    return out;
}

// One downloadFile call with everything it reported.
struct Outcome
{
    int finishedCount = 0;
    bool success = false;
    QString reportedPath;
    QList<int> progress;
    qint64 elapsedMs = 0;
};

Outcome download(NetworkManager &manager, const QString &url, const QString &path)
{
    QSignalSpy finished(&manager, &NetworkManager::downloadFinished);
    QSignalSpy progress(&manager, &NetworkManager::downloadProgress);
    QElapsedTimer clock;
    clock.start();
    manager.downloadFile(url, path);
    Outcome outcome;
    outcome.elapsedMs = clock.elapsed();
    // Late signals after the call returned would be a fault too.
    QTest::qWait(50);
    outcome.finishedCount = finished.count();
    if (!finished.isEmpty()) {
        outcome.success = finished.first().at(0).toBool();
        outcome.reportedPath = finished.first().at(1).toString();
    }
    for (const QList<QVariant> &args : progress)
        outcome.progress << args.at(0).toInt();
    return outcome;
}

} // namespace

class TestNetworkManager : public QObject
{
    Q_OBJECT

private:
    TestHttpServer m_server;
    QTemporaryDir m_root;
    QString m_dir; // fresh, empty download folder per test

private slots:
    void init()
    {
        static int n = 0;
        m_dir = m_root.filePath(QString::number(++n));
        QVERIFY(QDir().mkpath(m_dir));
    }

    void defaults()
    {
        NetworkManager manager;
        QCOMPARE(manager.timeoutMs(), 20000);
        QVERIFY(manager.archiveExtractor());
        QCOMPARE(manager.archiveExtractor()->parent(), &manager);
    }

    void downloadsPlainFile()
    {
        LogCapture log;
        const QByteArray body = patternBody(300 * 1024);
        TestHttpServer::Route route;
        route.body = body;
        m_server.setRoute("/lut/warm.png", route);

        NetworkManager manager;
        const QString target = m_dir + "/warm.png";
        const Outcome outcome = download(manager, m_server.url("/lut/warm.png"), target);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(outcome.success);
        QCOMPARE(outcome.reportedPath, target);
        QCOMPARE(readFile(target), body);
        QVERIFY(!outcome.progress.isEmpty());
        QCOMPARE(outcome.progress.last(), 100);
        QVERIFY(std::is_sorted(outcome.progress.begin(), outcome.progress.end()));
        QCOMPARE(entriesOf(m_dir), QStringList({"warm.png"})); // no temporary left
        QVERIFY(log.contains("url: "));
        const QFile::Permissions permissions = QFile::permissions(target);
        QVERIFY(permissions & QFile::ReadOwner);
        QVERIFY(permissions & QFile::WriteOwner);
    }

    // An older copy of the resource is replaced, and stays readable.
    void replacedFileStaysReadable()
    {
        LogCapture log;
        const QString target = m_dir + "/old.png";
        QVERIFY(writeFile(target, "old contents"));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner
                                                  | QFile::ReadGroup));
        TestHttpServer::Route route;
        route.body = "new contents";
        m_server.setRoute("/old.png", route);

        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/old.png"), target);
        QVERIFY(outcome.success);
        QCOMPARE(readFile(target), QByteArray("new contents"));
        const QFile::Permissions permissions = QFile::permissions(target);
        QVERIFY(permissions & QFile::ReadOwner);
        QVERIFY(permissions & QFile::WriteOwner);
        QVERIFY(permissions & QFile::ReadGroup);
    }

    void extractsZipBesideItself()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = buildZip({{"sticker_cat/", {}, true},
                               {"sticker_cat/template.json", "{\"k\":1}"},
                               {"sticker_cat/img/0.png", patternBody(20000)}});
        m_server.setRoute("/sticker_cat.zip", route);

        NetworkManager manager;
        const QString target = m_dir + "/sticker_cat.zip";
        const Outcome outcome = download(manager, m_server.url("/sticker_cat.zip"), target);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(outcome.success);
        QCOMPARE(readFile(m_dir + "/sticker_cat/template.json"), QByteArray("{\"k\":1}"));
        QCOMPARE(readFile(m_dir + "/sticker_cat/img/0.png"), patternBody(20000));
        QCOMPARE(entriesOf(m_dir), QStringList({"sticker_cat"})); // archive removed
        QVERIFY(log.contains("开始解压:"));
        QVERIFY(log.contains("解压完成:"));
    }

    void brokenZipFailsAndLeavesNothing()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = "PK but not really an archive";
        m_server.setRoute("/broken.zip", route);

        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/broken.zip"), m_dir + "/broken.zip");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(!outcome.progress.isEmpty());
        QVERIFY(!outcome.progress.contains(100)); // the body arrived whole, but nothing was installed
        QVERIFY(log.contains("解压出错:"));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    void zipSlipIsReported()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = buildZip({{"../escape.txt", "evil"}, {"pack/a.txt", "a"}});
        m_server.setRoute("/pack.zip", route);

        NetworkManager manager;
        const QString sub = m_dir + "/sub";
        QVERIFY(QDir().mkpath(sub));
        const Outcome outcome = download(manager, m_server.url("/pack.zip"), sub + "/pack.zip");
        QVERIFY(outcome.success);
        QVERIFY(log.contains("安全威胁! 跳过:"));
        QCOMPARE(entriesOf(m_dir), QStringList({"sub"}));
        QCOMPARE(readFile(sub + "/pack/a.txt"), QByteArray("a"));
    }

    // Hostile or broken replies over a resource that is already installed:
    // each must fail once, keep the old file, leave no temporary behind and
    // never show 100 %; sound ones (a server that compresses although asked
    // not to) must arrive decoded.
    void hostileReplies_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("sendLength");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QByteArray>("expected"); // empty: the download must fail

        const qint64 cap = 4 * 1024 * 1024;
        const QByteArray text = patternBody(300 * 1024);
        const QByteArray packedText = gzipped(0, 0, text);
        QTest::newRow("gzip despite identity") << QByteArray("gzip") << packedText << true << cap << text;
        QTest::newRow("two gzip members") << QByteArray("gzip") << packedText + gzipped(3, 'x')
                                          << true << cap << text + "xxx";
        // 64 MiB of zeros in about 64 KB on the wire.
        const QByteArray bomb = gzipped(64 * 1024 * 1024);
        QTest::newRow("gzip bomb") << QByteArray("gzip") << bomb << true << cap << QByteArray();
        QTest::newRow("gzip bomb, no length") << QByteArray("gzip") << bomb << false << cap << QByteArray();
        QTest::newRow("gzip cut short") << QByteArray("gzip") << packedText.left(packedText.size() / 2)
                                        << false << cap << QByteArray();
        QTest::newRow("gzip garbage") << QByteArray("gzip") << QByteArray(5000, 'g') << true << cap
                                      << QByteArray();
        QTest::newRow("unknown encoding") << QByteArray("br") << text << true << cap << QByteArray();
        QTest::newRow("plain over cap") << QByteArray() << patternBody(int(cap) + 1) << true << cap
                                        << QByteArray();
        QTest::newRow("plain over cap, no length") << QByteArray() << patternBody(int(cap) + 1) << false
                                                   << cap << QByteArray();
        QTest::newRow("plain at cap") << QByteArray() << patternBody(int(cap)) << false << cap
                                      << patternBody(int(cap));
        QTest::newRow("empty body") << QByteArray() << QByteArray() << true << cap << QByteArray();
        QTest::newRow("empty gzip") << QByteArray("gzip") << gzipped(0) << true << cap << QByteArray();
    }
    void hostileReplies()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, body);
        QFETCH(bool, sendLength);
        QFETCH(qint64, maxBytes);
        QFETCH(QByteArray, expected);
        LogCapture log;
        TestHttpServer::Route route;
        route.body = body;
        route.sendLength = sendLength;
        route.contentEncoding = encoding;
        m_server.setRoute("/hostile.bin", route);

        const QString target = m_dir + "/hostile.bin";
        QVERIFY(writeFile(target, "installed"));
        NetworkManager manager;
        manager.setMaxDownloadBytes(maxBytes);
        const Outcome outcome = download(manager, m_server.url("/hostile.bin"), target);
        QVERIFY(m_server.lastRequestHead("/hostile.bin").contains("\r\nAccept-Encoding: identity"));
        QCOMPARE(outcome.finishedCount, 1);
        QCOMPARE(outcome.success, !expected.isEmpty());
        QCOMPARE(readFile(target), expected.isEmpty() ? QByteArray("installed") : expected);
        QCOMPARE(entriesOf(m_dir), QStringList({"hostile.bin"}));
        if (expected.isEmpty()) {
            QVERIFY(log.contains("下载失败:"));
            QVERIFY(!outcome.progress.contains(100));
        } else if (sendLength) {
            QCOMPARE(outcome.progress.last(), 100);
        }
    }

    void defaultSizeCap() { QCOMPARE(NetworkManager().maxDownloadBytes(), qint64(1) << 30); }

    // Panel files name the address; nothing but the web is fetched.
    void refusesOtherSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "file:///etc/hostname";
        QTest::newRow("ftp") << "ftp://127.0.0.1/x.png";
        QTest::newRow("data") << "data:,hello";
        QTest::newRow("relative") << "x.png";
    }
    void refusesOtherSchemes()
    {
        QFETCH(QString, url);
        LogCapture log;
        NetworkManager manager;
        const Outcome outcome = download(manager, url, m_dir + "/x.png");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(log.contains("下载失败:"));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    void upperCaseZipSuffixIsExtracted()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = buildZip({{"upper/a.txt", "a"}});
        m_server.setRoute("/UPPER.ZIP", route);
        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/UPPER.ZIP"), m_dir + "/UPPER.ZIP");
        QVERIFY(outcome.success);
        QCOMPARE(readFile(m_dir + "/upper/a.txt"), QByteArray("a"));
        QCOMPARE(entriesOf(m_dir), QStringList({"upper"}));
    }

    void withoutContentLength()
    {
        LogCapture log;
        const QByteArray body = patternBody(200 * 1024);
        TestHttpServer::Route route;
        route.body = body;
        route.sendLength = false;
        m_server.setRoute("/nolength.png", route);

        NetworkManager manager;
        const QString target = m_dir + "/nolength.png";
        const Outcome outcome = download(manager, m_server.url("/nolength.png"), target);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(outcome.success);
        QCOMPARE(readFile(target), body);
        for (int value : outcome.progress)
            QVERIFY2(value <= 0, qPrintable(QString::number(value)));
    }

    void largeBodyWithoutContentLength()
    {
        // Past about 21 MB the received size times 100 no longer fits an
        // int; the unknown-length progress must stay at or below 0 anyway.
        const QByteArray body(24 * 1024 * 1024, 'v');
        TestHttpServer::Route route;
        route.body = body;
        route.sendLength = false;
        m_server.setRoute("/large-nolength.bin", route);

        NetworkManager manager;
        const QString target = m_dir + "/large-nolength.bin";
        const Outcome outcome = download(manager, m_server.url("/large-nolength.bin"), target);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(outcome.success);
        QCOMPARE(QFileInfo(target).size(), qint64(body.size()));
        QVERIFY(!outcome.progress.isEmpty());
        for (int value : outcome.progress)
            QVERIFY2(value <= 0, qPrintable(QString::number(value)));
    }

    void notFoundLeavesNothing()
    {
        LogCapture log;
        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/no/such.zip"), m_dir + "/such.zip");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(log.contains("下载失败:"));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    // A failed transfer must not damage the copy that is already there.
    void failureKeepsExistingFile()
    {
        LogCapture log;
        const QString target = m_dir + "/kept.png";
        QVERIFY(writeFile(target, "installed"));
        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/missing/kept.png"), target);
        QVERIFY(!outcome.success);
        QCOMPARE(readFile(target), QByteArray("installed"));
        QCOMPARE(entriesOf(m_dir), QStringList({"kept.png"}));
    }

    void connectionResetMidBody_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("file") << "reset.png";
        QTest::newRow("archive") << "reset.zip";
    }
    void connectionResetMidBody()
    {
        QFETCH(QString, name);
        LogCapture log;
        TestHttpServer::Route route;
        route.body = name.endsWith("zip")
            ? buildZip({{"reset/a.bin", patternBody(400 * 1024), false, true}})
            : patternBody(400 * 1024);
        route.mode = TestHttpServer::Route::Mode::ResetMidBody;
        m_server.setRoute("/" + name, route);

        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/" + name), m_dir + "/" + name);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(log.contains("下载失败:"));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    // The time-out counts from the start of the request, so a server that
    // keeps sending slowly is still cut off.
    void trickleIsTimedOut()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = patternBody(2000);
        route.mode = TestHttpServer::Route::Mode::Trickle;
        route.trickleBytes = 20;
        route.trickleIntervalMs = 50; // 5 s for the whole body
        m_server.setRoute("/slow.png", route);

        NetworkManager manager;
        manager.setTimeoutMs(800);
        const Outcome outcome = download(manager, m_server.url("/slow.png"), m_dir + "/slow.png");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(log.contains("下载超时: "));
        QVERIFY(log.contains("下载失败:"));
        QVERIFY(!outcome.progress.isEmpty() && outcome.progress.last() > 0); // data was arriving
        QVERIFY(outcome.progress.last() < 100);
        QVERIFY2(outcome.elapsedMs < 4000, qPrintable(QString::number(outcome.elapsedMs)));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    // A file-size limit makes the writes fail even for root; without a
    // length the transfer itself gives no sign that the file came out short.
    void writeFailureIsAFailure()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = patternBody(2 * 1024 * 1024);
        route.sendLength = false;
        m_server.setRoute("/toolarge.bin", route);

        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 256 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        NetworkManager manager;
        const Outcome outcome = download(manager, m_server.url("/toolarge.bin"), m_dir + "/toolarge.bin");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);

        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(log.contains("写入文件失败:"));
        QVERIFY(log.contains("下载失败:"));
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    // Running as root, permission bits do not stop writes; a folder that is
    // really a regular file does.
    void unwritableTarget()
    {
        LogCapture log;
        QVERIFY(writeFile(m_dir + "/notafolder", "file"));
        NetworkManager manager;
        const QString target = m_dir + "/notafolder/x.png";
        TestHttpServer::Route route;
        route.body = "x";
        m_server.setRoute("/unwritable.png", route);
        const Outcome outcome = download(manager, m_server.url("/unwritable.png"), target);
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QCOMPARE(outcome.reportedPath, target);
        QVERIFY(log.contains("文件打开失败: "));
        QCOMPARE(m_server.requestCount("/unwritable.png"), 0); // no request made
    }

    void refusedConnection()
    {
        LogCapture log;
        NetworkManager manager;
        // A port nobody listens on: bind one, note it, close it.
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        const Outcome outcome = download(manager, QString("http://127.0.0.1:%1/x.png").arg(port),
                                         m_dir + "/x.png");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QCOMPARE(entriesOf(m_dir), QStringList());
    }

    // The panel can start another download while one waits in its event
    // loop; both must finish cleanly, each reported once.
    void nestedDownload()
    {
        LogCapture log;
        TestHttpServer::Route slow;
        slow.body = patternBody(400);
        slow.mode = TestHttpServer::Route::Mode::Trickle;
        slow.trickleBytes = 100;
        slow.trickleIntervalMs = 50;
        m_server.setRoute("/outer.png", slow);
        TestHttpServer::Route quick;
        quick.body = "inner";
        m_server.setRoute("/inner.png", quick);

        NetworkManager manager;
        QStringList finishedPaths;
        connect(&manager, &NetworkManager::downloadFinished, this,
                [&](bool success, const QString &path) {
                    QVERIFY(success);
                    finishedPaths << QFileInfo(path).fileName();
                });
        bool started = false;
        connect(&manager, &NetworkManager::downloadProgress, this, [&](int value) {
            if (!started && value > 0) {
                started = true;
                manager.downloadFile(m_server.url("/inner.png"), m_dir + "/inner.png");
            }
        });
        manager.downloadFile(m_server.url("/outer.png"), m_dir + "/outer.png");
        QTest::qWait(50);
        QCOMPARE(finishedPaths, QStringList({"inner.png", "outer.png"}));
        QCOMPARE(readFile(m_dir + "/outer.png"), patternBody(400));
        QCOMPARE(readFile(m_dir + "/inner.png"), QByteArray("inner"));
    }

    // Quitting the application ends every event loop, also the one waiting
    // for the transfer; the call still reports once and cleans up. Must stay
    // the last test: after exit() no further event loop runs.
    void applicationQuitsMidTransfer()
    {
        LogCapture log;
        TestHttpServer::Route route;
        route.body = patternBody(4000);
        route.mode = TestHttpServer::Route::Mode::Trickle;
        route.trickleBytes = 10;
        m_server.setRoute("/quit.png", route);

        NetworkManager manager;
        QTimer::singleShot(300, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        const Outcome outcome = download(manager, m_server.url("/quit.png"), m_dir + "/quit.png");
        QCOMPARE(outcome.finishedCount, 1);
        QVERIFY(!outcome.success);
        QVERIFY(outcome.elapsedMs < 5000);
        QCOMPARE(entriesOf(m_dir), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestNetworkManager)
#include "tst_network_manager.moc"
