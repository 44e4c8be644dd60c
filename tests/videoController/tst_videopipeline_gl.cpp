// The whole road with the real engine: camera frames delivered on a worker
// thread go through VideoFilter and the engine into a VideoShowWidget, whose
// picture is read back and compared with colours computed here.

#include "GlTestSupport.h"
#include "FrameFences.h"
#include "VideoFilter.h"
#include "VideoShowWidget.h"

#include <QImage>
#include <QTemporaryDir>

#include <cmath>

namespace {

struct Yuv
{
    int y, u, v;
};

// Quadrants of the test frame: red, blue / green, white (BT.601 studio swing).
const Yuv kQuadrants[4] = {{81, 90, 240}, {41, 240, 110}, {145, 54, 34}, {235, 128, 128}};

const Yuv &quadrantOf(int x, int y, int w, int h)
{
    return kQuadrants[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
}

QColor rgbOf(const Yuv &c)
{
    const double y = 1.164 * (c.y - 16), u = c.u - 128, v = c.v - 128;
    const auto clamp = [](double x) { return int(std::lround(std::min(255.0, std::max(0.0, x)))); };
    return QColor(clamp(y + 1.596 * v), clamp(y - 0.392 * u - 0.813 * v), clamp(y + 2.017 * u));
}

QSharedPointer<uchar> nv12Frame(int w, int h)
{
    QSharedPointer<uchar> frame = makeFrame(size_t(w) * h * 3 / 2);
    uchar *yPlane = frame.data();
    uchar *uv = yPlane + size_t(w) * h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            yPlane[size_t(y) * w + x] = uchar(quadrantOf(x, y, w, h).y);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            const Yuv &c = quadrantOf(x * 2, y * 2, w, h);
            uv[size_t(y) * w + x * 2] = uchar(c.u);
            uv[size_t(y) * w + x * 2 + 1] = uchar(c.v);
        }
    return frame;
}

QSharedPointer<uchar> yuyvFrame(int w, int h)
{
    QSharedPointer<uchar> frame = makeFrame(size_t(w) * h * 2);
    uchar *p = frame.data();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 2) {
            const Yuv &c = quadrantOf(x, y, w, h);
            uchar *g = p + (size_t(y) * w + x) * 2;
            g[0] = uchar(c.y);
            g[1] = uchar(c.u);
            g[2] = uchar(quadrantOf(x + 1, y, w, h).y);
            g[3] = uchar(c.v);
        }
    return frame;
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestVideoPipelineGl : public QObject
{
    Q_OBJECT

    std::unique_ptr<VideoShowWidget> m_widget;
    std::unique_ptr<VideoFilter> m_filter;
    std::unique_ptr<LogCapture> m_log;

    // Compares the centre of each screen quadrant with the frame's colour;
    // mirrored swaps left and right.
    void checkScreen(const char *what, bool mirrored)
    {
        const QImage shot = m_widget->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        QVERIFY(!shot.isNull());
        shot.save(QStringLiteral("%1/pipeline_%2.png")
                      .arg(QCoreApplication::applicationDirPath(), QString::fromLatin1(what).replace(QLatin1Char(' '), QLatin1Char('_'))));
        const int w = shot.width(), h = shot.height();
        for (int q = 0; q < 4; ++q) {
            const int sx = (q % 2 == 0 ? w / 4 : 3 * w / 4);
            const int sy = (q < 2 ? h / 4 : 3 * h / 4);
            const int frameQuadrant = mirrored ? (q ^ 1) : q;
            const QColor expected = rgbOf(kQuadrants[frameQuadrant]);
            const QColor got = shot.pixelColor(sx, sy);
            QVERIFY2(near(got, expected, 12), qPrintable(QStringLiteral("%1 quadrant %2: got %3,%4,%5 expected %6,%7,%8")
                                                             .arg(what)
                                                             .arg(q)
                                                             .arg(got.red())
                                                             .arg(got.green())
                                                             .arg(got.blue())
                                                             .arg(expected.red())
                                                             .arg(expected.green())
                                                             .arg(expected.blue())));
        }
    }

private slots:
    void initTestCase()
    {
        m_log = std::make_unique<LogCapture>();
        m_widget = std::make_unique<VideoShowWidget>();
        m_filter = std::make_unique<VideoFilter>();
        connect(m_widget.get(), &VideoShowWidget::signalSetOpenGLContext, m_filter.get(),
                &VideoFilter::initializeFilter, Qt::DirectConnection);
        connect(m_filter.get(), &VideoFilter::signalRenderTexture, m_widget.get(), &VideoShowWidget::slotRenderTexture,
                Qt::DirectConnection);
        m_widget->resize(320, 180);
        m_widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_widget.get()));
        QTRY_VERIFY(m_filter->cameraTexture() != 0);
        QVERIFY2(m_filter->processController().hasEngine(), "the engine could not be created");
    }

    void cameraFramesOnWorkerThread_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("NV12") << int(QVideoFrame::Format_NV12) << false;
        QTest::newRow("YUYV") << int(QVideoFrame::Format_YUYV) << false;
        QTest::newRow("NV12 mirrored") << int(QVideoFrame::Format_NV12) << true;
    }
    void cameraFramesOnWorkerThread()
    {
        QFETCH(int, format);
        QFETCH(bool, mirrored);
        m_widget->slotSetMirrored(mirrored);
        const int w = 320, h = 180;
        const auto pixelFormat = QVideoFrame::PixelFormat(format);
        const unsigned long long fencesBefore = framefences::postedCount();
        runOnWorker([&] {
            for (int i = 0; i < 4; ++i) {
                QSharedPointer<uchar> frame =
                    pixelFormat == QVideoFrame::Format_NV12 ? nv12Frame(w, h) : yuyvFrame(w, h);
                m_filter->slotProcessWin32CameraFrame(frame, w, h, pixelFormat);
            }
        });
        QCOMPARE(m_filter->processSize(), QSize(w, h));
        QTRY_VERIFY(m_widget->textureId() > 0);
        QCOMPARE(m_widget->textureId(), m_filter->lastOutputTexture());
        QVERIFY(!m_log->has("no current OpenGL context"));
        QVERIFY(!m_log->has("yuvToRgbTexture failed"));
        checkScreen(QTest::currentDataTag(), mirrored);
        // The capture thread handed each frame's fence to the view instead
        // of waiting for it; drawing the frame used up its fence.
        QCOMPARE(framefences::postedCount() - fencesBefore, 4ull);
        QVERIFY(!framefences::isPending(m_widget->context(), GLuint(m_widget->textureId())));
    }

    void stillPictureIsShownUnmirrored()
    {
        QTemporaryDir dir;
        QImage picture(320, 180, QImage::Format_RGB32);
        for (int q = 0; q < 4; ++q) {
            const QRect r((q % 2) * 160, (q / 2) * 90, 160, 90);
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    picture.setPixelColor(x, y, rgbOf(kQuadrants[q]));
        }
        const QString path = dir.filePath("still.png");
        QVERIFY(picture.save(path));
        m_widget->slotSetMirrored(true);
        m_widget->setPictureMode(true);
        QVERIFY(m_filter->loadImage(path));
        QTRY_COMPARE(m_widget->textureId(), m_filter->lastOutputTexture());
        checkScreen("picture", false);
        m_filter->setUseCameraRender(true);
        m_widget->setPictureMode(false);
    }

    void cleanupTestCase()
    {
        m_filter->stopProcessing();
        // Window order: the view (and its context) goes before the pipeline.
        m_widget.reset();
        QVERIFY(!m_filter->processController().hasEngine());
        m_filter.reset();
        m_log.reset();
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestVideoPipelineGl)
#include "tst_videopipeline_gl.moc"
