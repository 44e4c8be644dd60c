// The virtual camera end to end (listing, opening through the controller,
// paced frames, resolution change) and its frame content against an
// independent colour reference.

#include "CameraController.h"
#include "FrameLayout.h"
#include "PixelFourcc.h"
#include "platform/virtual/VirtualCamera.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Received
{
    std::mutex mutex;
    std::vector<int> ticks;
    std::vector<Clock::time_point> arrivals;
    int width = 0, height = 0;
    QVideoFrame::PixelFormat format = QVideoFrame::Format_Invalid;
    int badTail = 0;
};

// BT.601 limited-range reference, in floating point.
void referenceYuv(double r, double g, double b, double *y, double *u, double *v)
{
    const double ey = (0.299 * r + 0.587 * g + 0.114 * b) / 255.0;
    *y = 16 + 219 * ey;
    *u = 128 + 224 * ((b / 255.0 - ey) / 1.772);
    *v = 128 + 224 * ((r / 255.0 - ey) / 1.402);
}

std::shared_ptr<CameraReader> openVirtual(uint32_t subtype, uint32_t w, uint32_t h, uint32_t rate)
{
    VirtualCameraPlatform platform;
    std::shared_ptr<CameraSource> source;
    if (hrFailed(platform.createSource(VirtualCameraPlatform::symbolicLink(), &source)))
        return {};
    std::shared_ptr<CameraReader> reader;
    source->createReader(&reader);
    CameraMediaType t;
    t.subtype = subtype;
    t.width = w;
    t.height = h;
    t.rateNumerator = rate;
    t.rateDenominator = 1;
    if (hrFailed(reader->setCurrentMediaType(t)))
        return {};
    return reader;
}

} // namespace

class TestVirtualCamera : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("EFFECTDEMO_VIRTUAL_CAMERA", "1"); }

    void listedOpenedAndPaced()
    {
        CameraController controller;
        const QStringList names = controller.getCameraList();
        const int index = names.indexOf("Virtual Camera(0000:0000)");
        QVERIFY2(index >= 0, qPrintable(names.join(", ")));

        Received got;
        connect(controller.getWin32Camera(), &Win32Camera::signalCameraFrameAvailable, controller.getWin32Camera(),
                [&got](QSharedPointer<uchar> data, int w, int h, QVideoFrame::PixelFormat f) {
                    const size_t size = packedFrameSize(f, w, h);
                    // Reading the last byte also proves the buffer is whole
                    // (the sanitizer build checks the bounds); the bottom
                    // right corner of the scene is neutral grey.
                    const bool tailOk = size > 0 && std::abs(int(data.data()[size - 1]) - 128) <= 2;
                    const int tick = readVirtualFrameCounter(data.data(), w, h, f);
                    std::lock_guard<std::mutex> lock(got.mutex);
                    got.ticks.push_back(tick);
                    got.arrivals.push_back(Clock::now());
                    got.width = w;
                    got.height = h;
                    got.format = f;
                    got.badTail += tailOk ? 0 : 1;
                },
                Qt::DirectConnection);

        QVERIFY(controller.startCamera(index));
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            std::lock_guard<std::mutex> lock(got.mutex);
            return !got.ticks.empty();
        }(), 5000);
        // Frames over two seconds from the first one.
        Clock::time_point first;
        {
            std::lock_guard<std::mutex> lock(got.mutex);
            first = got.arrivals.front();
        }
        while (Clock::now() - first < std::chrono::milliseconds(2050))
            QTest::qWait(20);

        std::vector<int> ticks;
        std::vector<Clock::time_point> arrivals;
        {
            std::lock_guard<std::mutex> lock(got.mutex);
            QCOMPARE(got.width, 1280);
            QCOMPARE(got.height, 720);
            QCOMPARE(got.format, QVideoFrame::Format_NV12);
            QCOMPARE(got.badTail, 0);
            for (size_t i = 0; i < got.ticks.size(); ++i) {
                if (got.arrivals[i] - first <= std::chrono::seconds(2)) {
                    ticks.push_back(got.ticks[i]);
                    arrivals.push_back(got.arrivals[i]);
                }
            }
        }
        QVERIFY(ticks.size() >= 2);
        for (int t : ticks)
            QVERIFY2(t >= 0, "frame counter unreadable");
        for (size_t i = 1; i < ticks.size(); ++i)
            QVERIFY2(ticks[i] > ticks[i - 1], "ticks must increase");
        // The rate on the camera's own clock: ticks spanned over the time
        // between the first and the last frame. A stall of the loaded
        // machine delays both ends alike, so it barely moves the figure.
        const int spanned = ticks.back() - ticks.front();
        const double seconds = std::chrono::duration<double>(arrivals.back() - arrivals.front()).count();
        const double rate = spanned / seconds;
        qDebug() << "virtual camera: frames received" << ticks.size() << "ticks spanned" << spanned << "over"
                 << seconds << "s," << rate << "fps";
        QVERIFY2(seconds > 1.5, qPrintable(QString::number(seconds)));
        QVERIFY2(rate >= 27.0 && rate <= 33.0, qPrintable(QString::number(rate)));
        // Delivered frames: a loaded machine may skip ticks, but not most.
        QVERIFY2(int(ticks.size()) > spanned / 2, qPrintable(QString::number(ticks.size())));

        // A new size through the controller.
        controller.setResolution(QSize(640, 480));
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            std::lock_guard<std::mutex> lock(got.mutex);
            return got.width == 640 && got.height == 480;
        }(), 5000);
        {
            std::lock_guard<std::mutex> lock(got.mutex);
            got.badTail = 0;
        }
        QTest::qWait(200);
        std::lock_guard<std::mutex> lock(got.mutex);
        QCOMPARE(got.width, 640);
        QCOMPARE(got.badTail, 0);
    }

    void sceneColoursAndLayouts_data()
    {
        QTest::addColumn<uint32_t>("subtype");
        QTest::newRow("NV12") << fourcc::NV12;
        QTest::newRow("YUYV") << fourcc::YUYV;
        QTest::newRow("I420") << fourcc::YU12;
    }

    void sceneColoursAndLayouts()
    {
        QFETCH(uint32_t, subtype);
        const int w = 640, h = 480;
        auto reader = openVirtual(subtype, w, h, 30);
        QVERIFY(reader);
        std::unique_ptr<CameraSample> sample;
        QCOMPARE(reader->readSample(&sample), S_OK);
        QVERIFY(sample);
        CameraBufferView view;
        QCOMPARE(sample->lockBuffer(0, &view), S_OK);
        const QVideoFrame::PixelFormat format = pixelFormatFromFourcc(subtype);
        QCOMPARE(view.length, packedFrameSize(format, w, h));
        QCOMPARE(readVirtualFrameCounter(view.data, w, h, format), 0);

        // Samples Y, U, V at a pixel (even coordinates).
        auto at = [&](int x, int y, int *Y, int *U, int *V) {
            const unsigned char *d = view.data;
            if (format == QVideoFrame::Format_YUYV) {
                const unsigned char *p = d + y * w * 2 + (x / 2) * 4;
                *Y = p[(x % 2) * 2];
                *U = p[1];
                *V = p[3];
            } else if (format == QVideoFrame::Format_NV12) {
                *Y = d[y * w + x];
                *U = d[w * h + (y / 2) * w + (x / 2) * 2];
                *V = d[w * h + (y / 2) * w + (x / 2) * 2 + 1];
            } else {
                *Y = d[y * w + x];
                *U = d[w * h + (y / 2) * (w / 2) + x / 2];
                *V = d[w * h + (w / 2) * (h / 2) + (y / 2) * (w / 2) + x / 2];
            }
        };
        // Bars at 75%: white, yellow, cyan, green, magenta, red, blue.
        const int bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
        for (int b = 0; b < 7; ++b) {
            const int x = (w * b / 7 + w * (b + 1) / 7) / 2 & ~1;
            const int y = (h / 2 + 40) & ~1; // below the moving box's row
            int Y, U, V;
            at(x, y, &Y, &U, &V);
            double ry, ru, rv;
            referenceYuv(bars[b][0], bars[b][1], bars[b][2], &ry, &ru, &rv);
            QVERIFY2(std::abs(Y - ry) <= 3 && std::abs(U - ru) <= 3 && std::abs(V - rv) <= 3,
                     qPrintable(QString("bar %1: %2 %3 %4 vs %5 %6 %7").arg(b).arg(Y).arg(U).arg(V).arg(ry).arg(ru).arg(rv)));
        }
        sample.reset();
        // The next frame carries the next tick.
        QCOMPARE(reader->readSample(&sample), S_OK);
        QVERIFY(sample);
        sample->lockBuffer(0, &view);
        QCOMPARE(readVirtualFrameCounter(view.data, w, h, format), 1);
    }

    void pictureFromTheVariable()
    {
        QTemporaryDir tmp;
        const QString path = tmp.path() + "/face.png";
        QImage img(320, 240, QImage::Format_RGB32);
        img.fill(QColor(200, 60, 30));
        QVERIFY(img.save(path));
        qputenv("EFFECTDEMO_VIRTUAL_CAMERA", path.toUtf8());
        auto reader = openVirtual(fourcc::NV12, 640, 480, 30);
        qputenv("EFFECTDEMO_VIRTUAL_CAMERA", "1");
        QVERIFY(reader);
        std::unique_ptr<CameraSample> sample;
        QCOMPARE(reader->readSample(&sample), S_OK);
        CameraBufferView view;
        QCOMPARE(sample->lockBuffer(0, &view), S_OK);
        double ry, ru, rv;
        referenceYuv(200, 60, 30, &ry, &ru, &rv);
        for (int i : {0, 640 * 240 + 320, 640 * 480 - 1})
            QVERIFY(std::abs(view.data[i] - ry) <= 2);
        QVERIFY(std::abs(view.data[640 * 480] - ru) <= 2);
        QVERIFY(std::abs(view.data[640 * 480 + 1] - rv) <= 2);
        QCOMPARE(readVirtualFrameCounter(view.data, 640, 480, QVideoFrame::Format_NV12), -1); // no strip
    }

    void flushShutdownAndTypes()
    {
        auto reader = openVirtual(fourcc::NV12, 640, 480, 1);
        QVERIFY(reader);
        std::unique_ptr<CameraSample> sample;
        QCOMPARE(reader->readSample(&sample), S_OK); // the first frame comes at once
        QVERIFY(sample);
        std::thread flusher([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            reader->flush();
        });
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(reader->readSample(&sample), S_OK); // would wait a second
        flusher.join();
        QVERIFY(!sample);
        QVERIFY(timer.elapsed() < 800);

        // 27 native types; sizes and formats outside them are refused.
        std::vector<CameraMediaType> types;
        CameraMediaType t;
        for (uint32_t i = 0; hrSucceeded(reader->nativeMediaType(i, &t)); ++i)
            types.push_back(t);
        QCOMPARE(types.size(), size_t(27));
        t = types.front();
        t.width = 800;
        QVERIFY(hrFailed(reader->setCurrentMediaType(t)));
        t = types.front();
        t.subtype = fourcc::MJPG;
        QVERIFY(hrFailed(reader->setCurrentMediaType(t)));

        VirtualCameraPlatform platform;
        std::shared_ptr<CameraSource> source;
        QVERIFY(hrSucceeded(platform.createSource(VirtualCameraPlatform::symbolicLink(), &source)));
        std::shared_ptr<CameraReader> r2;
        source->createReader(&r2);
        source->shutdown();
        QCOMPARE(r2->readSample(&sample), hresultFromErrno(ENODEV));
    }
};

QTEST_GUILESS_MAIN(TestVirtualCamera)
#include "tst_virtualcamera.moc"
