// The capture worker over the scripted fake layer: naming, negotiation,
// the read loop and the frame contract.

#include "FakeCameraPlatform.h"
#include "LogCapture.h"
#include "Win32Camera.h"

#include <QSignalSpy>
#include <QtTest>

#include <thread>

namespace {

struct Frame
{
    QSharedPointer<uchar> data;
    int width;
    int height;
    QVideoFrame::PixelFormat format;
};

uchar pattern(uchar first, size_t offset)
{
    return static_cast<uchar>((first + offset * 7) & 0xFF);
}

} // namespace

class TestWin32Camera : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeCameraPlatform> makePlatform(std::vector<FakeDeviceSpec> devices)
    {
        auto p = std::make_shared<FakeCameraPlatform>();
        p->setDevices(std::move(devices));
        return p;
    }

    // Opens the only device of `types` and returns the type it was set to.
    CameraMediaType negotiate(const std::vector<CameraMediaType> &types, QList<QSize> *sizes = nullptr,
                              int *index = nullptr)
    {
        auto platform = makePlatform({{L"Cam", L"fake:0#vid_1111&pid_2222", types}});
        Win32Camera cam(platform);
        QSignalSpy spy(&cam, &Win32Camera::signalUpdataResolutions);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        if (!cam.slotSetCamera(names.at(0)))
            return {};
        if (spy.count() == 1) {
            if (sizes)
                *sizes = spy.at(0).at(0).value<QList<QSize>>();
            if (index)
                *index = spy.at(0).at(1).toInt();
        }
        std::lock_guard<std::mutex> lock(platform->script->mutex);
        return platform->script->setTypes.empty() ? CameraMediaType() : platform->script->setTypes.back();
    }

    // Runs the loop on this thread until `count` frames arrived.
    std::vector<Frame> capture(Win32Camera &cam, int count, HRESULT *result = nullptr)
    {
        std::vector<Frame> frames;
        auto c = connect(&cam, &Win32Camera::signalCameraFrameAvailable,
                         [&](QSharedPointer<uchar> d, int w, int h, QVideoFrame::PixelFormat f) {
                             frames.push_back({d, w, h, f});
                             if (static_cast<int>(frames.size()) >= count)
                                 cam.slotStop();
                         });
        const HRESULT hr = cam.captureLoop();
        disconnect(c);
        if (result)
            *result = hr;
        return frames;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<QSize>>("QList<QSize>");
        qRegisterMetaType<QVideoFrame::PixelFormat>("QVideoFrame::PixelFormat");
    }

    void displayNamesCarryUsbIds()
    {
        auto platform = makePlatform({
            {L"HD Webcam", L"\\\\?\\usb#vid_046d&pid_082d&mi_00#7&1", {}},
            {L"HD Webcam", L"v4l2:/dev/video2", {}},
            {L"Odd", L"v4l2:/dev/video4#vid_12", {}}, // no "&pid_"
            {L"Short", L"x#vid_ab&pid_c", {}},
        });
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        QCOMPARE(cam.enumerateCameras(names), S_OK);
        QCOMPARE(names.size(), size_t(4));
        QCOMPARE(QString::fromStdWString(names[0]), QString("HD Webcam(046d:082d)"));
        QCOMPARE(QString::fromStdWString(names[1]), QString("HD Webcam(:)"));
        QCOMPARE(QString::fromStdWString(names[2]), QString("Odd(:)"));
        QCOMPARE(QString::fromStdWString(names[3]), QString("Short(ab&p:c)"));
    }

    void duplicateNamesOpenTheLaterDevice()
    {
        const std::vector<CameraMediaType> types{fakeType(fourcc::NV12, 640, 480)};
        auto platform = makePlatform({{L"Cam", L"v4l2:/dev/video0", types}, {L"Cam", L"v4l2:/dev/video1", types}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QCOMPARE(names.size(), size_t(2));
        QVERIFY(names[0] == names[1]);
        QVERIFY(cam.slotSetCamera(names[0]));
        QVERIFY(cam.slotSetCamera(names[1]));
        std::lock_guard<std::mutex> lock(platform->script->mutex);
        QCOMPARE(platform->script->openedLinks.size(), size_t(2));
        QVERIFY(platform->script->openedLinks[0] == L"v4l2:/dev/video1");
        QVERIFY(platform->script->openedLinks[1] == L"v4l2:/dev/video1");
        // Opening again closed the first one.
        QCOMPARE(platform->script->shutdowns, 1);
    }

    void unknownNamesAndCompatibility()
    {
        LogCapture log;
        auto platform = makePlatform({{L"Good", L"a", {fakeType(fourcc::NV12, 640, 480)}}, {L"Empty", L"b", {}}});
        Win32Camera cam(platform);
        QVERIFY(!cam.slotSetCamera(L"Good(:)")); // map not built yet
        QVERIFY(log.contains("not find cameraName: "));
        QVERIFY(!cam.testCameraCompatibility(L"Good(:)"));
        QVERIFY(log.contains("Device not found in camera name map"));

        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.testCameraCompatibility(L"Good(:)"));
        QVERIFY(log.contains("Camera compatibility test PASSED"));
        QVERIFY(!cam.testCameraCompatibility(L"Empty(:)"));
        QVERIFY(log.contains("Camera compatibility test FAILED - no media types available"));

        platform->script->openStatus = hresultFromErrno(EACCES);
        QVERIFY(!cam.testCameraCompatibility(L"Good(:)"));
        QVERIFY(log.contains("Failed to create device source for compatibility test"));
        QVERIFY(!cam.slotSetCamera(L"Good(:)"));
        platform->script->openStatus = S_OK;
        platform->script->readerStatus = E_FAIL;
        QVERIFY(!cam.testCameraCompatibility(L"Good(:)"));
        QVERIFY(log.contains("Failed to create source reader for compatibility test"));
        QVERIFY(!cam.slotSetCamera(L"Good(:)"));
    }

    void sizeChoice()
    {
        QList<QSize> sizes;
        int index = -1;
        // 1280x720 is taken when offered, and its index in the sorted list reported.
        CameraMediaType t = negotiate({fakeType(fourcc::NV12, 640, 480), fakeType(fourcc::NV12, 1280, 720),
                                       fakeType(fourcc::NV12, 1920, 1080), fakeType(fourcc::NV12, 320, 240)},
                                      &sizes, &index);
        QCOMPARE(int(t.width), 1280);
        QCOMPARE(int(t.height), 720);
        QCOMPARE(sizes, (QList<QSize>{{1920, 1080}, {1280, 720}, {640, 480}, {320, 240}}));
        QCOMPARE(index, 1);

        // Without it, the largest (index 0).
        t = negotiate({fakeType(fourcc::NV12, 640, 480), fakeType(fourcc::NV12, 800, 600)}, &sizes, &index);
        QCOMPARE(int(t.width), 800);
        QCOMPARE(index, 0);
        QCOMPARE(sizes, (QList<QSize>{{800, 600}, {640, 480}}));

        // Equal areas: the one listed first stays, the other never enters the list.
        t = negotiate({fakeType(fourcc::NV12, 720, 1280), fakeType(fourcc::NV12, 1280, 720),
                       fakeType(fourcc::NV12, 640, 480)},
                      &sizes, &index);
        QCOMPARE(sizes, (QList<QSize>{{720, 1280}, {640, 480}}));
        QCOMPARE(index, 0);
        QCOMPARE(int(t.width), 720);
        QCOMPARE(int(t.height), 1280);
    }

    void frameRateRule_data()
    {
        QTest::addColumn<QList<QPoint>>("rates"); // (numerator, denominator)
        QTest::addColumn<int>("expected");
        QTest::newRow("15 and 7.5") << QList<QPoint>{{15, 1}, {15, 2}} << 15;
        QTest::newRow("7.5 and 12") << QList<QPoint>{{15, 2}, {12, 1}} << 5;
        QTest::newRow("30") << QList<QPoint>{{30, 1}, {15, 1}} << 30;
        QTest::newRow("25 and 10") << QList<QPoint>{{10, 1}, {25, 1}} << 25;
        QTest::newRow("none known") << QList<QPoint>{{0, 0}} << 5;
    }

    void frameRateRule()
    {
        QFETCH(QList<QPoint>, rates);
        QFETCH(int, expected);
        std::vector<CameraMediaType> types;
        for (const QPoint &r : rates)
            types.push_back(fakeType(fourcc::NV12, 640, 480, uint32_t(r.x()), uint32_t(r.y())));
        const CameraMediaType t = negotiate(types);
        QCOMPARE(int(t.rateNumerator), expected);
        QCOMPARE(int(t.rateDenominator), 1);
    }

    void formatChoice()
    {
        LogCapture log;
        // MJPG is kept as an unknown format; NV12 is requested and kept.
        CameraMediaType t = negotiate({fakeType(fourcc::MJPG, 1280, 720), fakeType(fourcc::NV12, 1280, 720)});
        QCOMPARE(t.subtype, fourcc::NV12);
        QVERIFY(log.contains("Format: Unknown, Resolution: 1280x720, FrameRate: 30/1 fps"));
        QVERIFY(log.contains("Format: NV12, Resolution: 1280x720, FrameRate: 30/1 fps"));
        QVERIFY(!log.contains("requested format not supported"));
        QVERIFY(!log.contains("No preferred formats available"));

        // YUYV only: the fallback order finds it.
        log.clear();
        t = negotiate({fakeType(fourcc::YUYV, 640, 480)});
        QCOMPARE(t.subtype, fourcc::YUYV);
        QVERIFY(log.contains("MediaFoundation: requested format not supported, trying fallback formats"));
        QVERIFY(log.contains("MediaFoundation: using fallback format:"));

        // Nothing usable at all.
        log.clear();
        auto platform = makePlatform({{L"Cam", L"x", {}}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(!cam.slotSetCamera(names[0]));
        QVERIFY(log.contains("MediaFoundation: No preferred formats available, but will try to use any supported format"));
        QVERIFY(log.contains("MediaFoundation: No supported pixel formats found at all"));
        QCOMPARE(cam.configureCameraSetting(QVideoFrame::Format_NV12, 640, 480, false), E_FAIL);
        QVERIFY(log.contains("MediaFoundation: configureCameraSetting failed - invalid reader or no supported formats"));
    }

    void uyvyOnlyDeliversUyvyFrames()
    {
        LogCapture log;
        auto platform = makePlatform({{L"Cam", L"x", {fakeType(fourcc::UYVY, 640, 480)}}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.slotSetCamera(names[0]));
        QVERIFY(log.contains("MediaFoundation: No preferred formats available, but will try to use any supported format"));
        QVERIFY(log.contains("MediaFoundation: Found 1 supported formats, will use the first one"));
        QVERIFY(log.contains("MediaFoundation: using first available format:"));
        const auto frames = capture(cam, 3);
        QCOMPARE(frames.size(), size_t(3));
        for (const Frame &f : frames) {
            QCOMPARE(f.format, QVideoFrame::Format_UYVY);
            QCOMPARE(f.width, 640);
            QCOMPARE(f.height, 480);
            // The whole 640x480x2 buffer was copied.
            QCOMPARE(f.data.data()[640 * 480 * 2 - 1], pattern(f.data.data()[0], 640 * 480 * 2 - 1));
        }
        // Every frame is its own allocation.
        QVERIFY(frames[0].data.data() != frames[1].data.data());
    }

    void buffersAreCopiedUnderTheFrameContract()
    {
        LogCapture log;
        auto platform = makePlatform({{L"Cam", L"x", {fakeType(fourcc::NV12, 64, 48)}}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.slotSetCamera(names[0]));

        // Two buffers in one sample: two signals, in order.
        platform->script->buffersPerSample = 2;
        auto frames = capture(cam, 2);
        QCOMPARE(frames.size(), size_t(2));
        QCOMPARE(uchar(frames[1].data.data()[0] - frames[0].data.data()[0]), uchar(13));

        // Padded rows (bytesperline 80 for a 64-pixel row) come out packed.
        platform->script->buffersPerSample = 1;
        platform->script->bytesPerLine = 80;
        frames = capture(cam, 1);
        QCOMPARE(frames.size(), size_t(1));
        const uchar *d = frames[0].data.data();
        const uchar first = d[0];
        for (int row : {0, 1, 47}) // luma rows
            for (int x : {0, 63})
                QCOMPARE(d[row * 64 + x], pattern(first, size_t(row) * 80 + x));
        for (int row : {0, 23}) // interleaved chroma rows after 48 luma rows
            for (int x : {0, 63})
                QCOMPARE(d[64 * 48 + row * 64 + x], pattern(first, size_t(48 + row) * 80 + x));

        // A short buffer is zero-filled to the full frame and reported once.
        platform->script->bytesPerLine = 0;
        platform->script->lengthAdjust = -100;
        frames = capture(cam, 2);
        const size_t full = 64 * 48 * 3 / 2;
        const uchar *s = frames[0].data.data();
        QCOMPARE(s[full - 101], pattern(s[0], full - 101));
        for (size_t i = full - 100; i < full; ++i)
            QCOMPARE(s[i], uchar(0));
        QCOMPARE(log.count("Win32Camera: short frame buffer"), 1);
    }

    void readFailureEndsTheLoop()
    {
        // The camera vanishes mid-stream: the read fails with ENODEV.
        LogCapture log;
        auto platform = makePlatform({{L"Cam", L"x", {fakeType(fourcc::NV12, 64, 48)}}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.slotSetCamera(names[0]));
        platform->script->readsBeforeFailure = 3;
        HRESULT hr = S_OK;
        const auto frames = capture(cam, 100, &hr);
        QCOMPARE(frames.size(), size_t(3));
        QCOMPARE(hr, hresultFromErrno(ENODEV));
        QVERIFY(log.contains("MediaFoundation: ReadSample failed"));
        QVERIFY(!cam.isRunning());

        // The vanished device is gone from the next listing.
        platform->setDevices({});
        names.clear();
        cam.enumerateCameras(names);
        QVERIFY(names.empty());
        cam.slotRelease();
        QCOMPARE(platform->script->shutdowns, 1);
    }

    void stopWithoutReaderOnlyClearsTheFlag()
    {
        auto platform = makePlatform({});
        Win32Camera cam(platform);
        cam.slotStop();
        QVERIFY(!cam.isRunning());
        QCOMPARE(platform->script->flushes, 0);
        QCOMPARE(cam.captureLoop(), E_FAIL);
        cam.slotRelease();
    }

    void stopInterruptsABlockedRead()
    {
        auto platform = makePlatform({{L"Cam", L"x", {fakeType(fourcc::NV12, 64, 48)}}});
        platform->script->frameInterval = std::chrono::seconds(30);
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.slotSetCamera(names[0]));
        HRESULT hr = E_FAIL;
        std::thread loop([&] { hr = cam.captureLoop(); });
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            std::lock_guard<std::mutex> lock(platform->script->mutex);
            return platform->script->readBlocked;
        }(), 5000);
        QElapsedTimer timer;
        timer.start();
        cam.slotStop();
        loop.join();
        QVERIFY2(timer.elapsed() < 2000, "the flush did not wake the read");
        QCOMPARE(hr, S_OK);
    }

    void setResolutionsReconfiguresAndRestarts()
    {
        auto platform = makePlatform({{L"Cam", L"x", {fakeType(fourcc::NV12, 1280, 720), fakeType(fourcc::NV12, 640, 480)}}});
        Win32Camera cam(platform);
        std::vector<std::wstring> names;
        cam.enumerateCameras(names);
        QVERIFY(cam.slotSetCamera(names[0]));
        std::vector<Frame> frames;
        connect(&cam, &Win32Camera::signalCameraFrameAvailable,
                [&](QSharedPointer<uchar> d, int w, int h, QVideoFrame::PixelFormat f) {
                    frames.push_back({d, w, h, f});
                    cam.slotStop();
                });
        cam.slotSetResolutions(QSize(640, 480)); // runs the loop until the first frame
        QCOMPARE(frames.size(), size_t(1));
        QCOMPARE(frames[0].width, 640);
        QCOMPARE(frames[0].height, 480);
        QCOMPARE(frames[0].format, QVideoFrame::Format_NV12);
        std::lock_guard<std::mutex> lock(platform->script->mutex);
        QCOMPARE(int(platform->script->setTypes.back().width), 640);
    }
};

QTEST_GUILESS_MAIN(TestWin32Camera)
#include "tst_win32camera.moc"
