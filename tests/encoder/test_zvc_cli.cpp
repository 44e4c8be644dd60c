// The command line: output names, exit statuses and log lines, in-process and
// through the built PelorZVCEncoder executable.

#include "EncoderCli.h"
#include "FileIO.h"
#include "TeaCipher.h"
#include "ZvcKey.h"

#include <QtTest>

#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

// AddressSanitizer reserves terabytes of address space and cannot run under
// an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
#define ZVC_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZVC_TEST_ASAN 1
#endif
#endif

namespace {

const char kUsage[] = "usage: \n"
                      "(\n"
                      "    \"PelorZVCEncoder --encode filename\",\n"
                      "    \"PelorZVCEncoder --decode filename\"\n"
                      ")\n";

const QByteArray kJson = R"({"module":"beauty","items":[{"name":"smooth","defaultValue":70}],"title":"美颜"})";

struct Run {
    int status = -1;
    QString log;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Runs the child under an address-space limit, as a machine low on memory
// would; the limit is set between fork and exec, never in the test itself.
class LimitedProcess : public QProcess {
public:
    explicit LimitedProcess(rlim_t addressSpace) : m_addressSpace(addressSpace) {}

protected:
    void setupChildProcess() override
    {
        if (m_addressSpace) {
            const rlimit limit{m_addressSpace, m_addressSpace};
            ::setrlimit(RLIMIT_AS, &limit);
        }
    }

private:
    rlim_t m_addressSpace;
};

// `size` zero bytes as one zlib stream, compressed piece by piece.
QByteArray zlibZeros(qint64 size)
{
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) // 0x78 0x9C, as the tool expects
        return {};
    const QByteArray block(4 << 20, '\0');
    QByteArray out;
    char buffer[65536];
    for (qint64 left = size; left >= 0;) {
        const int piece = int(qMin<qint64>(left, block.size()));
        left = piece == 0 ? -1 : left - piece;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.constData()));
        zs.avail_in = uInt(piece);
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buffer);
            zs.avail_out = sizeof buffer;
            deflate(&zs, left < 0 ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, int(sizeof buffer - zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return out;
}

} // namespace

class TestZvcCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The real executable, as a user runs it.
    Run tool(const QStringList& args, rlim_t addressSpace = 0)
    {
        LimitedProcess p(addressSpace);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(ZVC_ENCODER_PATH), args);
        Run r;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.status = p.exitCode();
        r.log = QString::fromUtf8(p.readAll());
        return r;
    }

    Run inProcess(const std::vector<std::string>& args)
    {
        std::vector<const char*> argv{"PelorZVCEncoder"};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        Run r;
        std::string log;
        r.status = zvc::runEncoder(int(argv.size()), argv.data(), [&](const std::string& m) { log += m; });
        r.log = QString::fromStdString(log);
        return r;
    }

    // Everything in the work folder, to spot leftover temporary files.
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFileInfo(QStringLiteral(ZVC_ENCODER_PATH)).isExecutable());
    }

    void init()
    {
        for (const QString& e : entries()) {
            QFileInfo info(path(e));
            if (info.isDir())
                QDir(info.filePath()).removeRecursively();
            else
                QFile::remove(info.filePath());
        }
    }

    void outputNames()
    {
        QCOMPARE(zvc::encodedFileName("x.json.json"), std::string("x.zvc"));
        QCOMPARE(zvc::encodedFileName("a.json"), std::string("a.zvc"));
        QCOMPARE(zvc::encodedFileName("a"), std::string("a.zvc"));
        QCOMPARE(zvc::encodedFileName("a.zvc"), std::string("a.zvc.zvc"));
        QCOMPARE(zvc::encodedFileName("my.jsonfile.txt"), std::string("myfile.txt.zvc"));
        QCOMPARE(zvc::decodedFileName("x.zvc"), std::string("x.json"));
        QCOMPARE(zvc::decodedFileName("x.zvc.zvc"), std::string("x.json"));
        QCOMPARE(zvc::decodedFileName("x"), std::string("x.json"));
        QCOMPARE(zvc::decodedFileName("x.json"), std::string("x.json.json"));
        // The folder stays where the input is.
        QCOMPARE(zvc::encodedFileName("/tmp/cfg.json/beauty.json"), std::string("/tmp/cfg.json/beauty.zvc"));
        QCOMPARE(zvc::decodedFileName("out.zvc/a.zvc"), std::string("out.zvc/a.json"));
        QCOMPARE(zvc::encodedFileName("/.json"), std::string("/.zvc"));
    }

    void usageErrors()
    {
        for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--encode"}, {"--pack", "a.json"}}) {
            const Run r = inProcess(args);
            QCOMPARE(r.status, 2);
            QCOMPARE(r.log, QString::fromLatin1(kUsage));
        }
        std::string log;
        const char* argv[] = {"PelorZVCEncoder", "--decode"};
        QCOMPARE(zvc::decodeZVC(2, argv, [&](const std::string& m) { log += m; }), 2);
        QCOMPARE(log, std::string("usage:PelorZVCEncoder --decode filename"));
        log.clear();
        QCOMPARE(zvc::encodeJSON(2, argv, [&](const std::string& m) { log += m; }), 2);
        QCOMPARE(log, std::string("usage:PelorZVCEncoder --encode filename"));

        const Run r = tool({});
        QCOMPARE(r.status, 2);
        QVERIFY(r.log.contains(QString::fromLatin1(kUsage)));
        QVERIFY(entries().isEmpty());
    }

    void encodeAndDecodeFromTheCommandLine()
    {
        QVERIFY(writeAll(path("beauty.json.json"), kJson));
        // Capitals are accepted and further arguments ignored.
        Run r = tool({"--ENCODE", path("beauty.json.json"), "extra"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.log.contains("success"));
        const QByteArray sealed = readAll(path("beauty.zvc"));
        QCOMPARE(std::size_t(sealed.size()), zvc::vo_symmetry_encrypt2_len(std::size_t(kJson.size())));
        QVERIFY(!sealed.contains("beauty"));

        // Encoding again gives another file that decodes the same.
        QVERIFY(QFile::copy(path("beauty.zvc"), path("first.zvc")));
        QCOMPARE(tool({"--encode", path("beauty.json.json")}).status, 0);
        QVERIFY(readAll(path("beauty.zvc")) != sealed);

        r = tool({"--Decode", path("beauty.zvc")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.log.contains("success"));
        QCOMPARE(readAll(path("beauty.json")), kJson);
        QCOMPARE(tool({"--decode", path("first.zvc")}).status, 0);
        QCOMPARE(readAll(path("first.json")), kJson);

        // An input without a suffix.
        QVERIFY(writeAll(path("plain"), kJson));
        QCOMPARE(tool({"--encode", path("plain")}).status, 0);
        QVERIFY(QFileInfo::exists(path("plain.zvc")));

        QCOMPARE(entries(), QStringList({"beauty.json", "beauty.json.json", "beauty.zvc", "first.json", "first.zvc",
                                         "plain", "plain.zvc"}));
    }

    void zlibPayloadDecodesToPlainJson()
    {
        uLongf len = compressBound(uLong(kJson.size()));
        QByteArray packed(int(len), '\0');
        QCOMPARE(compress2(reinterpret_cast<Bytef*>(packed.data()), &len,
                           reinterpret_cast<const Bytef*>(kJson.constData()), uLong(kJson.size()),
                           Z_DEFAULT_COMPRESSION),
                 Z_OK);
        packed.resize(int(len));
        QVERIFY(writeAll(path("packed.json"), packed));
        QCOMPARE(tool({"--encode", path("packed.json")}).status, 0);
        QCOMPARE(tool({"--decode", path("packed.zvc")}).status, 0);
        QCOMPARE(readAll(path("packed.json")), kJson);
    }

    void emptyFile()
    {
        QVERIFY(writeAll(path("empty.json"), QByteArray()));
        QCOMPARE(tool({"--encode", path("empty.json")}).status, 0);
        QCOMPARE(QFileInfo(path("empty.zvc")).size(), qint64(16));
        QVERIFY(QFile::remove(path("empty.json")));

        // No bytes back counts as failure, and nothing is written.
        const Run r = tool({"--decode", path("empty.zvc")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.log.contains("decrypt file failed"));
        QVERIFY(!r.log.contains("success"));
        QCOMPARE(entries(), QStringList({"empty.zvc"}));
    }

    void failuresLeaveNoOutput()
    {
        Run r = tool({"--encode", path("missing.json")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.log.contains("load file failed"));
        r = tool({"--decode", path("missing.zvc")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.log.contains("load file failed"));
        QVERIFY(QDir().mkdir(path("folder.json")));
        QCOMPARE(tool({"--encode", path("folder.json")}).status, 1);

        // Bad lengths and a damaged file.
        QVERIFY(writeAll(path("short.zvc"), QByteArray(15, 'x')));
        QVERIFY(writeAll(path("odd.zvc"), QByteArray(20, 'x')));
        QVERIFY(writeAll(path("good.json"), kJson));
        QCOMPARE(tool({"--encode", path("good.json")}).status, 0);
        QByteArray damaged = readAll(path("good.zvc"));
        damaged[damaged.size() - 1] = char(damaged[damaged.size() - 1] ^ 0x01);
        QVERIFY(writeAll(path("damaged.zvc"), damaged));
        for (const char* name : {"short.zvc", "odd.zvc", "damaged.zvc"}) {
            r = tool({"--decode", path(name)});
            QCOMPARE(r.status, 1);
            QVERIFY(r.log.contains("decrypt file failed"));
        }
        QCOMPARE(entries(),
                 QStringList({"damaged.zvc", "folder.json", "good.json", "good.zvc", "odd.zvc", "short.zvc"}));
    }

    void failedWriteIsReportedAndLeavesTargetAlone()
    {
        QVERIFY(writeAll(path("blocked.json"), kJson));
        QVERIFY(QDir().mkdir(path("blocked.zvc"))); // the target cannot be replaced
        QVERIFY(writeAll(path("blocked.zvc/keep"), "x"));

        const Run r = tool({"--encode", path("blocked.json")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.log.contains("write file failed"));
        QVERIFY(!r.log.contains("success"));
        QVERIFY(QFileInfo(path("blocked.zvc")).isDir());
        QCOMPARE(readAll(path("blocked.zvc/keep")), QByteArray("x"));
        QCOMPARE(entries(), QStringList({"blocked.json", "blocked.zvc"})); // no temporary file left

        // A folder that does not exist.
        std::string error;
        QVERIFY(!zvc::writeFileAtomically(path("nowhere/a.zvc").toStdString(), {1, 2, 3}, &error));
        QVERIFY(!error.empty());
        QVERIFY(!QFileInfo::exists(path("nowhere")));
    }

    void writeReplacesAnExistingFile()
    {
        QVERIFY(writeAll(path("target.bin"), QByteArray(100000, 'o')));
        QVERIFY(zvc::writeFileAtomically(path("target.bin").toStdString(), {'n', 'e', 'w'}));
        QCOMPARE(readAll(path("target.bin")), QByteArray("new"));
        QVERIFY(zvc::writeFileAtomically(path("target.bin").toStdString(), {}));
        QCOMPARE(QFileInfo(path("target.bin")).size(), qint64(0));
        QCOMPARE(entries(), QStringList({"target.bin"}));
        QVERIFY(zvc::readWholeFile(path("target.bin").toStdString()));
        QVERIFY(!zvc::readWholeFile(m_dir.path().toStdString())); // a folder is not a file
    }

    // Inputs that used to end in std::bad_alloc (exit 134) under a 1 GiB
    // address-space limit, or block for ever: each now fails with exit 1,
    // its log line, and no output.
    void hostileInputs_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("line");
        QTest::newRow("endless device") << "--encode" << "/dev/zero" << "load file failed: /dev/zero is not a regular file";
        QTest::newRow("FIFO without writer") << "--encode" << "pipe.json" << "is not a regular file";
        QTest::newRow("700 MB input") << "--encode" << "huge.json" << "is larger than 256 MiB";
        QTest::newRow("700 MB .zvc") << "--decode" << "huge.zvc" << "is larger than 256 MiB";
        QTest::newRow("1 MB .zvc inflating to 1 GiB") << "--decode" << "bomb.zvc" << "decrypt file failed: the zlib payload is damaged or inflates past 256 MiB";
    }
    void hostileInputs()
    {
        QFETCH(QString, option);
        QFETCH(QString, input);
        QFETCH(QString, line);
        QString inputPath = input.startsWith('/') ? input : path(input);
        if (input == "pipe.json") {
            QCOMPARE(::mkfifo(QFile::encodeName(inputPath).constData(), 0600), 0);
        } else if (input.startsWith("huge")) {
            QFile sparse(inputPath);
            QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(700ll << 20));
        } else if (input == "bomb.zvc") {
            const QByteArray packed = zlibZeros(1ll << 30);
            QVERIFY(packed.size() < 1200 * 1024);
            zvc::Bytes sealed(zvc::vo_symmetry_encrypt2_len(std::size_t(packed.size())));
            const zvc::Bytes key = zvc::zvcKey();
            QVERIFY(zvc::TeaEncrypt(reinterpret_cast<const std::uint8_t*>(packed.constData()), std::size_t(packed.size()),
                                    key.data(), sealed.data(), sealed.size()) > 0);
            QVERIFY(writeAll(inputPath, QByteArray(reinterpret_cast<const char*>(sealed.data()), int(sealed.size()))));
        }
        const QStringList before = entries();
#ifdef ZVC_TEST_ASAN
        const rlim_t limit = 0;
#else
        const rlim_t limit = rlim_t(1) << 30;
#endif
        const Run r = tool({option, inputPath}, limit);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.log.contains(line), qPrintable(r.log));
        QVERIFY(!r.log.contains("success"));
        QCOMPARE(entries(), before); // no output, no temporary file
    }
};

QTEST_GUILESS_MAIN(TestZvcCli)
#include "test_zvc_cli.moc"
