#include "PrivateTempDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// The private folder is made owner-only, and a folder someone else could
// enter, or a link planted in its place, is refused rather than used.
class TestPrivateTempDir : public QObject
{
    Q_OBJECT

    QTemporaryDir base;
    QString expected() const { return base.path() + QStringLiteral("/effectdemo-") + QString::number(::geteuid()); }

private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base.path())); }
    void init()
    {
        QFile::remove(expected());
        QDir(expected()).removeRecursively();
    }

    void createdOwnerOnly()
    {
        QCOMPARE(privateTempDir(), expected());
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(expected()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
        QVERIFY(isInPrivateTempDir(expected() + QStringLiteral("/a_mirrored.png")));
        QVERIFY(!isInPrivateTempDir(base.path() + QStringLiteral("/a_mirrored.png")));
        QVERIFY(!isInPrivateTempDir(expected() + QStringLiteral("/sub/a_mirrored.png")));
        QVERIFY(!isInPrivateTempDir(expected() + QStringLiteral("/../a_mirrored.png")));
    }

    void refusesWhatOthersCouldReach_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("open folder") << false;
        QTest::newRow("planted link") << true;
    }
    void refusesWhatOthersCouldReach()
    {
        QFETCH(bool, link);
        if (link) {
            QVERIFY(QDir().mkpath(base.filePath("elsewhere")));
            QVERIFY(QFile::setPermissions(base.filePath("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::link(base.filePath("elsewhere"), expected()));
        } else {
            QVERIFY(QDir().mkpath(expected()));
            QVERIFY(QFile::setPermissions(expected(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                          | QFile::ReadOther | QFile::ExeOther));
        }
        QVERIFY(privateTempDir().isEmpty());
        QVERIFY(!isInPrivateTempDir(expected() + QStringLiteral("/a_mirrored.png")));
    }
};

QTEST_GUILESS_MAIN(TestPrivateTempDir)
#include "tst_privatetempdir.moc"
