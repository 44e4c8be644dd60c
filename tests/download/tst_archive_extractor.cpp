#include "ArchiveExtractor.h"
#include "LogCapture.h"
#include "ZipTestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every path below root, relative, sorted: the whole visible effect of a run.
QStringList treeOf(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

struct Run
{
    bool result = false;
    int started = 0, finished = 0, errors = 0;
    QStringList threats;
    QString errorText;
};

Run extract(ArchiveExtractor &extractor, const QString &zip, const QString &dir)
{
    QSignalSpy started(&extractor, &ArchiveExtractor::extractionStarted);
    QSignalSpy finished(&extractor, &ArchiveExtractor::extractionFinished);
    QSignalSpy errors(&extractor, &ArchiveExtractor::extractionError);
    QSignalSpy threats(&extractor, &ArchiveExtractor::zipslipThreatDetected);
    Run run;
    run.result = extractor.extractZip(zip, dir);
    run.started = started.count();
    run.finished = finished.count();
    run.errors = errors.count();
    for (const QList<QVariant> &args : threats)
        run.threats << args.at(0).toString();
    if (!errors.isEmpty())
        run.errorText = errors.first().at(1).toString();
    return run;
}

} // namespace

class TestArchiveExtractor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_base; // fresh per test: holds archive.zip, dest/ and outside/
    QString m_zip;
    QString m_dest;

    void writeArchive(const QList<ZipEntry> &entries)
    {
        const QByteArray bytes = buildZip(entries);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(writeFile(m_zip, bytes));
    }

private slots:
    void init()
    {
        static int n = 0;
        m_base = m_root.filePath(QString::number(++n));
        QVERIFY(QDir().mkpath(m_base + "/outside"));
        m_zip = m_base + "/archive.zip";
        m_dest = m_base + "/dest";
    }

    // Directories, files, and a second run over the result.
    void extractsAndOverwrites()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"a/", {}, true}, {"a/b.txt", "first b"}, {"c.txt", "first c"}});
        Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(run.started, 1);
        QCOMPARE(run.finished, 1);
        QCOMPARE(run.errors, 0);
        QCOMPARE(readFile(m_dest + "/a/b.txt"), QByteArray("first b"));
        QCOMPARE(readFile(m_dest + "/c.txt"), QByteArray("first c"));
        QVERIFY(log.contains(QtInfoMsg, "解压成功完成:"));
        QVERIFY(!log.contains("目录已存在:"));

        writeArchive({{"a/", {}, true}, {"a/b.txt", "second b"}, {"c.txt", "second c"}});
        run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QVERIFY(log.contains(QtDebugMsg, "目录已存在:"));
        QCOMPARE(readFile(m_dest + "/a/b.txt"), QByteArray("second b"));
        QCOMPARE(readFile(m_dest + "/c.txt"), QByteArray("second c"));
        // The staging folder beside the destination is gone again.
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "dest", "dest/a", "dest/a/b.txt",
                                              "dest/c.txt", "outside"}));
    }

    void fileListedBeforeItsDirectory()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"x/y/z.txt", "deep"}, {"x/", {}, true}, {"x/y/", {}, true}});
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(readFile(m_dest + "/x/y/z.txt"), QByteArray("deep"));
        QVERIFY(QFileInfo(m_dest + "/x/y").isDir());
    }

    void destinationIsCreated()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"f.txt", "f"}});
        QVERIFY(extract(extractor, m_zip, m_dest + "/more/levels").result);
        QCOMPARE(readFile(m_dest + "/more/levels/f.txt"), QByteArray("f"));
    }

    // Entries that would land outside the destination are refused one by
    // one; the rest of the archive is still installed.
    void refusesEscapingEntries()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        const QByteArray absolute = (m_base + "/outside/abs.txt").toUtf8();
        writeArchive({{"../outside/up.txt", "evil"},
                      {"a/../../outside/up2.txt", "evil"},
                      {"../outside/new/deep/x.txt", "evil"},
                      {"../outside/newdir/", {}, true},
                      {absolute, "evil"},
                      {"ok/inside.txt", "fine"},
                      {"ok/../also.txt", "fine too"}});
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(run.finished, 1);
        QCOMPARE(run.threats, QStringList({"../outside/up.txt", "a/../../outside/up2.txt",
                                           "../outside/new/deep/x.txt", "../outside/newdir/",
                                           QString::fromUtf8(absolute)}));
        QCOMPARE(log.count("检测到ZIP Slip攻击威胁! 跳过条目:"), 5);
        // Nothing at all outside, not even the folders a refused entry names.
        QCOMPARE(treeOf(m_base + "/outside"), QStringList());
        QCOMPARE(readFile(m_dest + "/ok/inside.txt"), QByteArray("fine"));
        QCOMPARE(readFile(m_dest + "/also.txt"), QByteArray("fine too"));
    }

    // "/x/dest2" starts with "/x/dest" but is not inside it.
    void refusesSiblingWithCommonPrefix()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"../dest2/x.txt", "evil"}, {"../destination/y.txt", "evil"}});
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(run.threats.size(), 2);
        QVERIFY(!QFileInfo::exists(m_base + "/dest2"));
        QVERIFY(!QFileInfo::exists(m_base + "/destination"));
    }

    // A link already inside the destination must not carry an entry out.
    void refusesPathThroughSymlink()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        QVERIFY(QDir().mkpath(m_dest));
        QVERIFY(QFile::link(m_base + "/outside", m_dest + "/link"));
        writeArchive({{"link/x.txt", "evil"}, {"link/sub/", {}, true}, {"plain.txt", "ok"}});
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(run.threats, QStringList({"link/x.txt", "link/sub/"}));
        QCOMPARE(treeOf(m_base + "/outside"), QStringList());
        QCOMPARE(readFile(m_dest + "/plain.txt"), QByteArray("ok"));
    }

    void corruptArchiveFails_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a zip") << QByteArray("this is not an archive at all, just text")
                                   << QString("无法打开ZIP文件 (错误码: 19)");
        const QByteArray good = buildZip({{"a.txt", QByteArray(5000, 'a')}});
        QTest::newRow("truncated") << good.left(good.size() - 30) << QString("无法打开ZIP文件 (错误码: ");
        QTest::newRow("empty file") << QByteArray() << QString("无法打开ZIP文件 (错误码: ");
    }
    void corruptArchiveFails()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        LogCapture log;
        ArchiveExtractor extractor;
        QVERIFY(writeFile(m_zip, bytes));
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(!run.result);
        QCOMPARE(run.started, 1);
        QCOMPARE(run.errors, 1);
        QCOMPARE(run.finished, 0);
        QVERIFY2(run.errorText.startsWith(message), qPrintable(run.errorText));
        QVERIFY(log.contains(QtCriticalMsg, message));
        QVERIFY(!QFileInfo::exists(m_dest));
    }

    void missingArchiveFails()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        const Run run = extract(extractor, m_base + "/nothing.zip", m_dest);
        QVERIFY(!run.result);
        QCOMPARE(run.errorText, QString("无法打开ZIP文件 (错误码: 9)"));
    }

    // A damaged entry is dropped instead of being installed half-written;
    // the other entries still arrive.
    void damagedEntryIsDropped()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        const QByteArray payload = QByteArray("0123456789abcdef").repeated(100);
        QByteArray bytes = buildZip({{"bad.bin", payload, false, true}, {"good.txt", "good"}});
        const int at = bytes.indexOf(payload);
        QVERIFY(at > 0);
        bytes[at + 700] = 'X'; // checksum no longer matches
        QVERIFY(writeFile(m_zip, bytes));
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QVERIFY(log.contains(QtWarningMsg, "读取ZIP条目数据失败:"));
        QVERIFY(!QFileInfo::exists(m_dest + "/bad.bin"));
        QCOMPARE(readFile(m_dest + "/good.txt"), QByteArray("good"));
    }

    void refusesTooManyEntries()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        extractor.setLimits({10, 1 << 20});
        QList<ZipEntry> entries;
        for (int i = 0; i < 10; ++i)
            entries.append(ZipEntry{"f" + QByteArray::number(i), "x"});
        writeArchive(entries);
        QVERIFY(extract(extractor, m_zip, m_dest).result); // exactly at the limit

        entries.append(ZipEntry{"one-more", "x"});
        writeArchive(entries);
        QDir(m_dest).removeRecursively();
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(!run.result);
        QCOMPARE(run.errors, 1);
        QCOMPARE(run.finished, 0);
        QCOMPARE(run.errorText, QString("ZIP文件条目过多: 11 (上限: 10)"));
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "outside"}));
    }

    void defaultLimits()
    {
        const ArchiveLimits limits = ArchiveExtractor().limits();
        QCOMPARE(limits.maxEntries, qint64(10000));
        QCOMPARE(limits.maxTotalBytes, qint64(1024) * 1024 * 1024);
        QCOMPARE(limits.maxPathComponents, 64);
        QCOMPARE(limits.maxNameBytes, 4096);
        QCOMPARE(limits.maxCompressionRatio, qint64(1000));
    }

    // A tiny archive that would inflate past the total limit is refused
    // before anything is written, and the failed run leaves nothing.
    void refusesBomb()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        extractor.setLimits({100, 512 * 1024});
        const QByteArray zeros(300 * 1024, '\0');
        writeArchive({{"keep/", {}, true}, {"keep/z1", zeros}, {"z2", zeros}, {"z3", zeros}});
        QVERIFY(QFileInfo(m_zip).size() < 10 * 1024);
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(!run.result);
        QCOMPARE(run.errors, 1);
        QCOMPARE(run.finished, 0);
        QVERIFY(run.errorText.startsWith("ZIP文件解压后数据过大"));
        QVERIFY(log.contains(QtCriticalMsg, "ZIP文件解压后数据过大"));
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "outside"}));
    }

    // An entry whose header claims less than its data is cut off at the
    // claim and dropped; lying cannot be used to pass the total limit.
    void stopsEntryGrowingPastHeader()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        extractor.setLimits({100, 64 * 1024});
        const QByteArray zeros(1024 * 1024, '\0');
        QByteArray bytes = buildZip({{"liar.bin", zeros}, {"after.txt", "after"}});
        bytes = withDeclaredSize(bytes, "liar.bin", 100);
        QVERIFY(writeFile(m_zip, bytes));
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QVERIFY(log.contains(QtWarningMsg, "ZIP条目数据超出声明大小，停止写入:"));
        QVERIFY(!QFileInfo::exists(m_dest + "/liar.bin"));
        QCOMPARE(readFile(m_dest + "/after.txt"), QByteArray("after"));
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "dest", "dest/after.txt", "outside"}));
    }

    // A file entry where the destination already holds a folder of that
    // name is skipped; the folder and its contents stay.
    void fileOverExistingFolderIsSkipped()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        QVERIFY(QDir().mkpath(m_dest + "/thing"));
        QVERIFY(writeFile(m_dest + "/thing/keep.txt", "keep"));
        writeArchive({{"thing", "file"}, {"other.txt", "o"}});
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QVERIFY(log.contains(QtWarningMsg, "无法创建输出文件:"));
        QCOMPARE(readFile(m_dest + "/thing/keep.txt"), QByteArray("keep"));
        QCOMPARE(readFile(m_dest + "/other.txt"), QByteArray("o"));
    }

    // Names that are refused before anything is resolved or created; the
    // sound entry beside each is still installed.
    void refusesUnsafeNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("accepted");
        QByteArray deep;
        for (int i = 0; i < 2000; ++i)
            deep += "d/";
        QByteArray at64;
        for (int i = 0; i < 63; ++i)
            at64 += "d/";
        QByteArray longName;
        for (int i = 0; i < 50; ++i)
            longName += QByteArray(99, 'n') + '/';
        QTest::newRow("2000 levels") << deep + "f.txt" << false;
        QTest::newRow("65 levels") << at64 + "d/f.txt" << false;
        QTest::newRow("64 levels") << at64 + "f.txt" << true;
        QTest::newRow("doubled slashes count once") << QByteArray("a//b///f.txt") << true;
        QTest::newRow("5000-byte name") << longName + "f.txt" << false;
        QTest::newRow("backslash escape") << QByteArray("..\\..\\evil.txt") << false;
        QTest::newRow("backslash folder") << QByteArray("dir\\f.txt") << false;
    }
    void refusesUnsafeNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, accepted);
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{name, "payload"}, {"ok.txt", "ok"}});
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(run.result);
        QCOMPARE(readFile(m_dest + "/ok.txt"), QByteArray("ok"));
        QCOMPARE(readFile(m_dest + "/" + QString::fromLatin1(name)) == "payload", accepted);
        if (!accepted) {
            QVERIFY(log.contains(QtWarningMsg, "拒绝ZIP条目:"));
            QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "dest", "dest/ok.txt", "outside"}));
        }
    }

    // The archive from the report: 300 entries 2000 levels deep used to
    // block the caller for about 20 s and install nothing.
    void manyDeepEntries()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        QByteArray deep;
        for (int i = 0; i < 2000; ++i)
            deep += "x/";
        QList<ZipEntry> entries;
        for (int i = 0; i < 300; ++i)
            entries.append(ZipEntry{deep + QByteArray::number(i), "x"});
        writeArchive(entries);
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "dest", "outside"}));
    }

    void compressionRatio_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("accepted");
        // Deflate packs zeros about 1030 : 1, its best.
        QTest::newRow("4 MB of zeros") << QByteArray(4 * 1024 * 1024, '\0') << false;
        QByteArray noisy(1024 * 1024, '\0');
        quint32 seed = 1;
        for (char &c : noisy) {
            seed = seed * 1103515245u + 12345u;
            c = char((seed >> 16) & 3);
        }
        QTest::newRow("1 MB of low-entropy noise") << noisy << true;
        QTest::newRow("empty file") << QByteArray() << true;
    }
    void compressionRatio()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, accepted);
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"entry.bin", data}, {"ok.txt", "ok"}});
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QCOMPARE(readFile(m_dest + "/ok.txt"), QByteArray("ok"));
        QCOMPARE(QFileInfo::exists(m_dest + "/entry.bin"), accepted);
        if (accepted)
            QCOMPARE(readFile(m_dest + "/entry.bin"), data);
        else
            QVERIFY(log.contains(QtWarningMsg, "压缩比超过 1000:1"));
    }

    // Forty central directory records sharing one entry's data: each alone
    // compresses modestly, together they would write forty times the data.
    void refusesOverlappingEntries()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        QByteArray noisy(256 * 1024, '\0');
        quint32 seed = 7;
        for (char &c : noisy) {
            seed = seed * 1103515245u + 12345u;
            c = char((seed >> 16) & 3);
        }
        const QByteArray shared = withSharedEntries(buildZip({{"part00", noisy}}), 40);
        QVERIFY(!shared.isEmpty());
        QVERIFY(writeFile(m_zip, shared));
        const Run run = extract(extractor, m_zip, m_dest);
        QVERIFY(!run.result);
        QCOMPARE(run.errors, 1);
        QCOMPARE(run.errorText, QString("ZIP条目数据相互重叠，拒绝解压"));
        QCOMPARE(treeOf(m_base), QStringList({"archive.zip", "outside"}));

        // The same archive with its one honest record is fine.
        QVERIFY(writeFile(m_zip, withSharedEntries(buildZip({{"part00", noisy}}), 1)));
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QCOMPARE(readFile(m_dest + "/part00"), noisy);
    }

    // A run killed mid-way leaves its staging folder; the next run into the
    // same place removes it, and nothing that merely looks similar.
    void removesStaleStaging()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        for (const char *name : {"/.dest.extract-Ab12Cd/half", "/.dest.extract-keep/x",
                                 "/.other.extract-Ab12Cd/x"})
            QVERIFY(QDir().mkpath(m_base + name));
        QVERIFY(writeFile(m_base + "/.dest.extract-Ab12Cd/half/file", "partial"));
        writeArchive({{"a.txt", "a"}});
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QCOMPARE(treeOf(m_base),
                 QStringList({".dest.extract-keep", ".dest.extract-keep/x", ".other.extract-Ab12Cd",
                              ".other.extract-Ab12Cd/x", "archive.zip", "dest", "dest/a.txt", "outside"}));
    }

    void utf8Names()
    {
        LogCapture log;
        ArchiveExtractor extractor;
        writeArchive({{"贴纸/模板.json", "{}"}});
        QVERIFY(extract(extractor, m_zip, m_dest).result);
        QCOMPARE(readFile(m_dest + QString::fromUtf8("/贴纸/模板.json")), QByteArray("{}"));
    }
};

QTEST_GUILESS_MAIN(TestArchiveExtractor)
#include "tst_archive_extractor.moc"
