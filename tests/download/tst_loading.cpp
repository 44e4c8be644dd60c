#include "Loading.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QtTest>

namespace {

// The overlay as it composes over whatever lies beneath: transparent
// where it paints nothing.
QImage render(Loading &overlay)
{
    QImage image(overlay.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    overlay.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    if (!qEnvironmentVariableIsEmpty("EFFECTDEMO_GRAB_DIR"))
        image.save(qEnvironmentVariable("EFFECTDEMO_GRAB_DIR")
                   + QStringLiteral("/loading_%1x%2.png").arg(image.width()).arg(image.height()));
    return image;
}

bool isDot(QRgb pixel)
{
    // Green dots over the dark box (premultiplied, so compare channels).
    return qGreen(pixel) > 120 && qRed(pixel) < 60 && qBlue(pixel) < 60;
}

QRect boundsOf(const QImage &image, bool (*match)(QRgb))
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace

class TestLoading : public QObject
{
    Q_OBJECT

private slots:
    void progressIsClamped()
    {
        Loading overlay;
        QCOMPARE(overlay.captionLabel()->text(), QString("下载中0%"));
        overlay.setProgress(42);
        QCOMPARE(overlay.captionLabel()->text(), QString("下载中42%"));
        overlay.setProgress(-5);
        QCOMPARE(overlay.progress(), 0);
        QCOMPARE(overlay.captionLabel()->text(), QString("下载中0%"));
        overlay.setProgress(150);
        QCOMPARE(overlay.progress(), 100);
        QCOMPARE(overlay.captionLabel()->text(), QString("下载中100%"));
    }

    void captionLook()
    {
        Loading overlay;
        QVERIFY(overlay.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(overlay.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(overlay.captionLabel()->styleSheet(),
                 QString("QLabel { background: transparent; color: white; font-size: 12px; "
                         "font-family: \"Microsoft YaHei\"; }"));
    }

    // As the main window shows it: 100 x 100. The box does not fit and is
    // shrunk to 90 x 90 at (5, 5); the ring shrinks with it.
    void boxAtOverlaySize()
    {
        QWidget host;
        host.resize(300, 300);
        Loading overlay(&host);
        overlay.setFixedSize(100, 100);
        overlay.setProgress(0);
        QCOMPARE(overlay.size(), QSize(100, 100)); // the caption does not grow it
        const QImage image = render(overlay);

        const int row = 50;
        QCOMPARE(qAlpha(image.pixel(3, row)), 0);
        QVERIFY(qAbs(qAlpha(image.pixel(5, row)) - 200) <= 3);
        QVERIFY(qAbs(qAlpha(image.pixel(94, row)) - 200) <= 3);
        QCOMPARE(qAlpha(image.pixel(96, row)), 0);
        QCOMPARE(qAlpha(image.pixel(50, 3)), 0);
        QVERIFY(qAbs(qAlpha(image.pixel(50, 6)) - 200) <= 3);
        // Black under the dots.
        QVERIFY(qRed(image.pixel(10, row)) == 0 && qGreen(image.pixel(10, row)) == 0);

        const QRect dots = boundsOf(image, isDot);
        QVERIFY(!dots.isEmpty());
        QVERIFY2(QRect(5, 5, 90, 90).contains(dots), qPrintable(QString("%1,%2 %3x%4")
                 .arg(dots.x()).arg(dots.y()).arg(dots.width()).arg(dots.height())));
        QVERIFY(qAbs(dots.center().x() - 50) <= 2); // centred in the box
    }

    // With room to spare the box has its natural size: the ring (S = the
    // smaller side) plus margins, centred.
    void boxWithRoom()
    {
        Loading overlay;
        overlay.resize(400, 300);
        const QImage image = render(overlay);
        // S = 300: w = int(10 + 300) + 40 = 350 at x = 25.
        QCOMPARE(qAlpha(image.pixel(23, 150)), 0);
        QVERIFY(qAlpha(image.pixel(26, 150)) >= 190);
        QVERIFY(qAlpha(image.pixel(373, 150)) >= 190);
        QCOMPARE(qAlpha(image.pixel(376, 150)), 0);
        const QRect dots = boundsOf(image, isDot);
        QVERIFY(dots.width() > 100); // a ring, not a shrunken one
    }

    // The large dot moves one place per frame: consecutive frames differ,
    // and twelve frames later the picture repeats.
    void dotsRotate()
    {
        Loading overlay;
        overlay.resize(120, 120);
        const QImage first = render(overlay);
        const QImage second = render(overlay);
        QVERIFY(first != second);
        for (int i = 0; i < 10; ++i)
            render(overlay);
        QCOMPARE(render(overlay), first);
    }

    void animatesOnlyWhileRunning()
    {
        QWidget host;
        host.resize(300, 300);
        Loading overlay(&host);
        overlay.setFixedSize(100, 100);
        host.show();
        overlay.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QTest::qWait(100);

        const int idle = overlay.step();
        QTest::qWait(300);
        QCOMPARE(overlay.step(), idle); // shown but not started: still

        overlay.start();
        QVERIFY(overlay.isRunning());
        QTRY_VERIFY(overlay.step() >= idle + 3);

        overlay.stop();
        overlay.hide();
        const int stopped = overlay.step();
        QTest::qWait(300);
        QCOMPARE(overlay.step(), stopped);
        QVERIFY(!overlay.isRunning());
    }

    void captionBelowRing()
    {
        QWidget host;
        host.resize(300, 300);
        Loading overlay(&host);
        overlay.setFixedSize(100, 100);
        host.show();
        overlay.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        overlay.setProgress(100);
        const QLabel *label = overlay.captionLabel();
        QVERIFY(label->isVisible());
        // Centred horizontally within a pixel or two.
        QVERIFY(qAbs(label->geometry().center().x() - 50) <= 2);
        const QImage image = render(overlay);
        const QRect dots = boundsOf(image, isDot);
        QVERIFY(label->geometry().top() > dots.bottom());
    }
};

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
