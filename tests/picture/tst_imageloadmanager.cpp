#include "DIYButton.h"
#include "ImageLoadManager.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
// A receiver that is not a thumbnail; counts what reaches it.
class Receiver : public QObject
{
    Q_OBJECT
public:
    static int alive;
    static int calls;
    QString lastPath;
    QSize lastSize;
    Receiver() { ++alive; }
    ~Receiver() override { --alive; }

public slots:
    void handlePixmapLoaded(QString picture_path, QPixmap pixmap)
    {
        Q_ASSERT(alive > 0);
        ++calls;
        lastPath = picture_path;
        lastSize = pixmap.size();
    }
};
int Receiver::alive = 0;
int Receiver::calls = 0;

QColor pixelOf(const QLabel *label, int x, int y)
{
    return QColor(label->pixmap(Qt::ReturnByValue).toImage().pixel(x, y));
}
} // namespace

class TestImageLoadManager : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString freshPicture(const QColor &c = QColor(200, 30, 30), QSize size = QSize(120, 90))
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(c);
        const QString path = m_dir.filePath(QStringLiteral("pic%1.png").arg(++m_serial));
        img.save(path);
        return path;
    }

    ImageLoadManager &loader() { return ImageLoadManager::instance(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(loader().maxThreadCount() >= 2);
        QCOMPARE(loader().maxThreadCount(), 2 * QThread::idealThreadCount());
    }

    void prepareScalesAndRounds()
    {
        const QString path = freshPicture(QColor(10, 200, 90));
        const QImage img = ImageLoadTask::prepare(path, 45, 45);
        QCOMPARE(img.size(), QSize(45, 45));
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(44, 44)), 0);
        QCOMPARE(QColor(img.pixel(22, 22)), QColor(10, 200, 90));
        // Unsized requests keep the picture as it is.
        QCOMPARE(ImageLoadTask::prepare(path, 0, 0).size(), QSize(120, 90));
        QVERIFY(ImageLoadTask::prepare(m_dir.filePath(QStringLiteral("missing.png")), 45, 45).isNull());

        QImage clear(40, 40, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        const QString none = m_dir.filePath(QStringLiteral("none.png"));
        QVERIFY(clear.save(none));
        QCOMPARE(QColor(ImageLoadTask::prepare(none, 34, 34).pixel(17, 17)), QColor(QStringLiteral("#3F3F3F")));
        // Only the exact file name gets the tile.
        const QString notNone = m_dir.filePath(QStringLiteral("xnone.png"));
        QVERIFY(clear.save(notNone));
        QCOMPARE(qAlpha(ImageLoadTask::prepare(notNone, 34, 34).pixel(17, 17)), 0);
    }

    void cacheKeyFormat()
    {
        QCOMPARE(ImageLoadManager::cacheKey(QStringLiteral("/a/b.png"), 45, 34), QStringLiteral("/a/b.png_45_34"));
    }

    void twoEqualRequestsStartOneTaskAndBothShow()
    {
        const QString path = freshPicture();
        const int before = loader().startedTaskCount();
        DIYButton a(QStringLiteral("A"), path, 45, 45, nullptr);
        DIYButton b(QStringLiteral("B"), path, 45, 45, nullptr);
        QCOMPARE(loader().startedTaskCount(), before + 1);
        QVERIFY(loader().isPending(path));
        QCOMPARE(pixelOf(a.imageLabel(), 20, 20), DIYButton::placeholderColor());
        QTRY_VERIFY(a.hasPicture() && b.hasPicture());
        QVERIFY(!loader().isPending(path));
        QVERIFY(loader().isCached(path, 45, 45));
        QCOMPARE(pixelOf(b.imageLabel(), 22, 22), QColor(200, 30, 30));
    }

    void pendingIsKeyedByPathAlone()
    {
        const QString path = freshPicture();
        const int before = loader().startedTaskCount();
        DIYButton a(QStringLiteral("A"), path, 45, 45, nullptr);
        DIYButton b(QStringLiteral("B"), path, 34, 34, nullptr);
        QCOMPARE(loader().startedTaskCount(), before + 1);
        QTRY_VERIFY(a.hasPicture() && b.hasPicture());
    }

    void cachedAnswerArrivesAfterTheConstructor()
    {
        const QString path = freshPicture();
        {
            DIYButton warm(QStringLiteral("W"), path, 34, 34, nullptr);
            QTRY_VERIFY(warm.hasPicture());
        }
        const int before = loader().startedTaskCount();
        DIYButton again(QStringLiteral("again"), path, 34, 34, nullptr);
        QVERIFY(!again.hasPicture()); // queued, not delivered inside the constructor
        QCOMPARE(pixelOf(again.imageLabel(), 10, 10), DIYButton::placeholderColor());
        QTRY_VERIFY(again.hasPicture());
        QCOMPARE(loader().startedTaskCount(), before);
    }

    void missingFileKeepsPlaceholder()
    {
        const QString path = m_dir.filePath(QStringLiteral("never-there.png"));
        QSignalSpy spy(&loader(), &ImageLoadManager::pixmapLoaded);
        DIYButton b(QStringLiteral("坏"), path, 45, 45, nullptr);
        QTRY_VERIFY(!loader().isPending(path));
        QTRY_VERIFY(!spy.isEmpty());
        bool sawNull = false;
        for (const auto &args : spy)
            if (args.at(0).toString() == path)
                sawNull = args.at(1).value<QPixmap>().isNull();
        QVERIFY(sawNull);
        QVERIFY(!b.hasPicture());
        QCOMPARE(pixelOf(b.imageLabel(), 20, 20), DIYButton::placeholderColor());
        QVERIFY(!loader().isCached(path, 45, 45));
    }

    void destroyedReceiversGetNothing()
    {
        // In flight: the thumbnail dies before its picture arrives.
        const QString path = freshPicture();
        auto *doomed = new DIYButton(QStringLiteral("D"), path, 45, 45, nullptr);
        delete doomed;
        QTRY_VERIFY(!loader().isPending(path));

        // Cached: the queued answer is dropped with the receiver.
        Receiver::calls = 0;
        auto *r = new Receiver;
        loader().loadPixmap(path, r, 45, 45);
        delete r;
        QTest::qWait(50);
        QCOMPARE(Receiver::calls, 0);

        // A live plain receiver is answered on both roads.
        Receiver live;
        loader().loadPixmap(path, &live, 45, 45);
        QTRY_COMPARE(Receiver::calls, 1);
        QCOMPARE(live.lastSize, QSize(45, 45));
        const QString other = freshPicture();
        loader().loadPixmap(other, &live, 20, 20);
        QTRY_COMPARE(live.lastPath, other);
        QCOMPARE(live.lastSize, QSize(20, 20));

        loader().loadPixmap(path, nullptr, 45, 45); // logged, ignored
    }

    void manyThumbnailsAcrossThePool()
    {
        QList<DIYButton *> buttons;
        QWidget page;
        for (int i = 0; i < 24; ++i)
            buttons << new DIYButton(QString::number(i), freshPicture(QColor(i * 10, 80, 200 - i * 5)),
                                     34, 34, &page);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(buttons.begin(), buttons.end(),
                                             [](DIYButton *b) { return b->hasPicture(); }),
                                 20000);
        QCOMPARE(pixelOf(buttons[3]->imageLabel(), 17, 17), QColor(30, 80, 185));
    }

    void captionAlignmentAndMarquee()
    {
        const QString path = freshPicture();
        DIYButton shortOne(QStringLiteral("四个字符"), path, 45, 45, nullptr);
        QCOMPARE(shortOne.textLabel()->alignment(), Qt::AlignCenter);
        QCOMPARE(shortOne.scrollTimer(), nullptr);
        shortOne.setSelected(true);
        shortOne.scrollText();
        QCOMPARE(shortOne.textLabel()->text(), QStringLiteral("四个字符"));

        DIYButton b(QStringLiteral("ABCDE"), path, 45, 45, nullptr);
        QCOMPARE(b.textLabel()->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QVERIFY(b.scrollTimer());
        QVERIFY(!b.scrollTimer()->isActive());
        b.setSelected(true);
        QVERIFY(b.scrollTimer()->isActive());
        QCOMPARE(b.scrollTimer()->interval(), 300);

        b.scrollText(); // rest on the full caption
        QCOMPARE(b.textLabel()->text(), QStringLiteral("ABCDE"));
        QCOMPARE(b.scrollTimer()->interval(), 800);
        const QStringList steps = {"BCDE  A", "CDE  AB", "DE  ABC", "E  ABCD"};
        for (const QString &step : steps) {
            b.scrollText();
            QCOMPARE(b.textLabel()->text(), step);
            QCOMPARE(b.scrollTimer()->interval(), 200);
        }
        b.scrollText(); // wrapped: nothing changes on this tick
        QCOMPARE(b.textLabel()->text(), QStringLiteral("E  ABCD"));
        b.scrollText();
        QCOMPARE(b.textLabel()->text(), QStringLiteral("ABCDE"));
        QCOMPARE(b.scrollTimer()->interval(), 800);
        b.scrollText();
        QCOMPARE(b.textLabel()->text(), QStringLiteral("BCDE  A"));

        b.setSelected(false);
        QCOMPARE(b.textLabel()->text(), QStringLiteral("ABCDE"));
        QVERIFY(!b.scrollTimer()->isActive());
        QCOMPARE(b.textLabel()->styleSheet(),
                 QStringLiteral("color: rgba(255, 255, 255, 0.75); font-size: 11px; border: none"));
    }

    void looksByStateAndCategory()
    {
        const QString path = freshPicture();
        DIYButton b(QStringLiteral("星空"), path, 65, 65, nullptr);
        QCOMPARE(b.imageLabel()->size(), QSize(65, 65));
        QVERIFY(b.imageLabel()->styleSheet().contains(QLatin1String("border-radius: 8px;")));
        b.setCategory(QStringLiteral("预设背景"));
        QVERIFY(b.imageLabel()->styleSheet().contains(QLatin1String("border-radius: 10px;")));
        b.setSelected(true);
        QCOMPARE(b.imageLabel()->styleSheet(),
                 QStringLiteral("QLabel { border: 1px solid #58EB6F; border-radius: 10px; padding: 1px; }"));
        QCOMPARE(b.textLabel()->styleSheet(), QStringLiteral("color: white; font-size: 11px; border: none"));
    }

    void groupKeepsOneSelected()
    {
        const QString path = freshPicture();
        QWidget page;
        auto *a = new DIYButton(QStringLiteral("A"), path, 45, 45, &page);
        auto *b = new DIYButton(QStringLiteral("B"), path, 45, 45, &page);
        DIYButtonGroupManager m(&page);
        m.addButton(a);
        m.addButton(a);
        m.addButton(b);
        QCOMPARE(m.buttons().size(), 2);

        QSignalSpy clicks(a, &DIYButton::clicked);
        QTest::mousePress(a, Qt::LeftButton);
        QCOMPARE(clicks.at(0).at(0).toBool(), false);
        QVERIFY(a->isSelected());
        QTest::mousePress(a, Qt::LeftButton);
        QCOMPARE(clicks.at(1).at(0).toBool(), true);
        QVERIFY(a->isSelected());
        QTest::mousePress(a, Qt::RightButton);
        QCOMPARE(clicks.count(), 2);

        QTest::mousePress(b, Qt::LeftButton);
        QVERIFY(!a->isSelected());
        QVERIFY(b->isSelected());
        m.setCurrentButton(nullptr);
        QVERIFY(!b->isSelected());
        delete a;
        QCOMPARE(m.buttons().size(), 1);
    }
};

QTEST_MAIN(TestImageLoadManager)
#include "tst_imageloadmanager.moc"
