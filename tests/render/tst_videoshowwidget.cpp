#include "VideoShowWidget.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QtTest>

#include "../support/GlTestMain.h"

#include <thread>

namespace {

// Counts paints so repaint coalescing can be observed.
class CountingView : public VideoShowWidget
{
public:
    int paints = 0;

protected:
    void paintGL() override
    {
        ++paints;
        VideoShowWidget::paintGL();
    }
};

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

// 2 × 2 texture: first row red, green; second row blue, white.
GLuint makeQuadrantTexture(QOpenGLFunctions *gl)
{
    const unsigned char pixels[] = {
        255, 0, 0, 255,   0, 255, 0, 255,
        0, 0, 255, 255,   255, 255, 255, 255,
    };
    GLuint tex = 0;
    gl->glGenTextures(1, &tex);
    gl->glBindTexture(GL_TEXTURE_2D, tex);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

// Colour at the centre of each quadrant of the shown picture:
// top-left, top-right, bottom-left, bottom-right.
QVector<QRgb> quadrants(const QImage &shot)
{
    const int w = shot.width(), h = shot.height();
    auto opaque = [&shot](int x, int y) { return shot.pixel(x, y) | 0xff000000u; };
    return {opaque(w / 4, h / 4), opaque(3 * w / 4, h / 4), opaque(w / 4, 3 * h / 4),
            opaque(3 * w / 4, 3 * h / 4)};
}

} // namespace

class TestVideoShowWidget : public QObject
{
    Q_OBJECT
private slots:
    void viewportRule_data()
    {
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("wide frame, square widget") << 1280.0 / 720.0 << QSize(1000, 1000) << qreal(1)
                                                   << QRect(0, 218, 1000, 562);
        QTest::newRow("tall frame, square widget") << 720.0 / 1280.0 << QSize(1000, 1000) << qreal(1)
                                                   << QRect(218, 0, 562, 1000);
        QTest::newRow("same aspect fills") << 16.0 / 9.0 << QSize(1280, 720) << qreal(1) << QRect(0, 0, 1280, 720);
        QTest::newRow("device pixels at ratio 2") << 1280.0 / 720.0 << QSize(500, 500) << qreal(2)
                                                  << QRect(0, 218, 1000, 562);
    }

    void viewportRule()
    {
        QFETCH(double, aspect);
        QFETCH(QSize, widget);
        QFETCH(qreal, ratio);
        QFETCH(QRect, expected);
        QCOMPARE(VideoShowWidget::fitViewport(aspect, widget.width(), widget.height(), ratio), expected);
    }

    void initialisationAnnouncesContext()
    {
        VideoShowWidget view;
        QSignalSpy spy(&view, &VideoShowWidget::signalSetOpenGLContext);
        view.resize(320, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(spy.count(), 1);
        auto *ctx = spy.at(0).at(0).value<QOpenGLContext *>();
        QVERIFY(ctx);
        QCOMPARE(ctx, view.context());
        QVERIFY(spy.at(0).at(1).value<QSurface *>());
        // No frame yet: the viewport is the whole widget.
        QCOMPARE(view.viewport(), QRect(0, 0, 320, 200));
    }

    void drawsTextureUprightAndMirrored()
    {
        VideoShowWidget view;
        view.resize(200, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.makeCurrent();
        const GLuint tex = makeQuadrantTexture(view.context()->functions());
        view.doneCurrent();

        view.slotRenderTexture(int(tex), 2, 2);
        QVERIFY(view.mirrored()); // mirrored by default

        // Mirrored: the first texture row is on top, left and right swapped.
        QCOMPARE(quadrants(view.grabFramebuffer()), (QVector<QRgb>{kGreen, kRed, kWhite, kBlue}));

        view.slotSetMirrored(false);
        QCOMPARE(quadrants(view.grabFramebuffer()), (QVector<QRgb>{kRed, kGreen, kBlue, kWhite}));

        // A still picture is never mirrored.
        view.slotSetMirrored(true);
        view.setPictureMode(true);
        QCOMPARE(quadrants(view.grabFramebuffer()), (QVector<QRgb>{kRed, kGreen, kBlue, kWhite}));

        // An invalid id leaves the last picture on screen.
        view.slotRenderTexture(0, 2, 2);
        view.slotRenderTexture(-3, 2, 2);
        QCOMPARE(view.textureId(), int(tex));

        view.makeCurrent();
        view.context()->functions()->glDeleteTextures(1, &tex);
        view.doneCurrent();
    }

    void keepsAspectWithBlackBars()
    {
        VideoShowWidget view;
        view.resize(200, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.makeCurrent();
        const GLuint tex = makeQuadrantTexture(view.context()->functions());
        view.doneCurrent();
        view.slotSetMirrored(false);
        view.slotRenderTexture(int(tex), 2, 2); // square frame in a 2:1 widget

        const qreal r = view.devicePixelRatioF();
        QCOMPARE(view.viewport(), QRect(int(50 * r), 0, int(100 * r), int(100 * r)));
        const QImage shot = view.grabFramebuffer();
        const int w = shot.width(), h = shot.height();
        QCOMPARE(shot.pixel(w / 8, h / 2) & 0xffffff, 0u);         // left bar
        QCOMPARE(shot.pixel(7 * w / 8, h / 2) & 0xffffff, 0u);     // right bar
        QCOMPARE(shot.pixel(w / 2 - w / 8, h / 4) | 0xff000000u, kRed);
        QCOMPARE(shot.pixel(w / 2 + w / 8, 3 * h / 4) | 0xff000000u, kWhite);

        view.makeCurrent();
        view.context()->functions()->glDeleteTextures(1, &tex);
        view.doneCurrent();
    }

    void pictureModeCoalescesRepaints()
    {
        CountingView view;
        view.resize(100, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(50);
        view.setPictureMode(true);
        const int before = view.paints;
        for (int i = 0; i < 5; ++i) {
            view.slotRenderTexture(7, 64, 64);
            QCoreApplication::processEvents();
        }
        QCOMPARE(view.paints, before); // nothing before the 6 ms timer fires
        QTRY_COMPARE(view.paints, before + 1);
        QTest::qWait(30);
        QCOMPARE(view.paints, before + 1);
    }

    void framesFromAnotherThreadRepaintOnGuiThread()
    {
        CountingView view;
        view.resize(100, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(50);
        const int before = view.paints;
        std::thread worker([&view] {
            for (int i = 1; i <= 200; ++i)
                view.slotRenderTexture(i, 1280, 720);
        });
        worker.join();
        QTRY_VERIFY(view.paints > before);
        QCOMPARE(view.textureId(), 200);
        const qreal r = view.devicePixelRatioF();
        QCOMPARE(view.viewport(), VideoShowWidget::fitViewport(1280.0 / 720.0, 100, 100, r));
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestVideoShowWidget)

#include "tst_videoshowwidget.moc"
