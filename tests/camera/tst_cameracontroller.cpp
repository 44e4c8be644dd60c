// The camera controller over the scripted fake layer: native opening and
// its signals, index checks, resolution changes, vanishing cameras, shut-down,
// and the toolkit fallback's setting choices.

#include "CameraController.h"
#include "CameraFrameSurface.h"
#include "FakeCameraPlatform.h"
#include "FallbackSettings.h"
#include "LogCapture.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

QCameraViewfinderSettings setting(QVideoFrame::PixelFormat f, int w, int h, qreal fps = 30)
{
    QCameraViewfinderSettings s;
    s.setPixelFormat(f);
    s.setResolution(w, h);
    s.setMinimumFrameRate(fps);
    s.setMaximumFrameRate(fps);
    return s;
}

// Counts frames and remembers the last size, from the worker thread.
struct FrameCounter
{
    std::atomic<int> frames{0};
    std::atomic<int> lastWidth{0};
    std::atomic<int> lastHeight{0};
    void attach(CameraController &c)
    {
        QObject::connect(c.getWin32Camera(), &Win32Camera::signalCameraFrameAvailable, c.getWin32Camera(),
                         [this](QSharedPointer<uchar>, int w, int h, QVideoFrame::PixelFormat) {
                             lastWidth = w;
                             lastHeight = h;
                             ++frames;
                         },
                         Qt::DirectConnection);
    }
};

std::vector<CameraMediaType> hdTypes()
{
    return {fakeType(fourcc::NV12, 1920, 1080), fakeType(fourcc::NV12, 1280, 720), fakeType(fourcc::NV12, 640, 480)};
}

} // namespace

class TestCameraController : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeCameraPlatform> makePlatform(std::vector<FakeDeviceSpec> devices,
                                                     std::chrono::milliseconds interval = std::chrono::milliseconds(5))
    {
        auto p = std::make_shared<FakeCameraPlatform>();
        p->setDevices(std::move(devices));
        p->script->frameInterval = interval;
        return p;
    }

    static bool toolkitHasCameras() { return !QCameraInfo::availableCameras().isEmpty(); }

private slots:
    void nativeOpenReportsResolutionsAndDeliversFrames()
    {
        LogCapture log;
        auto platform = makePlatform({{L"HD Webcam", L"fake#vid_046d&pid_082d", hdTypes()}});
        CameraController controller(platform);
        FrameCounter counter;
        counter.attach(controller);
        QSignalSpy resolution(&controller, &CameraController::signalUpdateCameraResolution);
        QSignalSpy buttons(&controller, &CameraController::signalUpdateCameraResolutionButton);

        QCOMPARE(controller.getCameraList(), QStringList{"HD Webcam(046d:082d)"});
        QVERIFY(controller.startCamera(0));
        QVERIFY(controller.isWin32Mode());
        QVERIFY(log.contains("Successfully initialized camera using Win32 API (YUV mode)"));

        QTRY_COMPARE(buttons.count(), 1);
        QCOMPARE(resolution.count(), 1);
        QCOMPARE(resolution.at(0).at(0).toSize(), QSize(1280, 720));
        QCOMPARE(buttons.at(0).at(0).value<QList<QSize>>(),
                 (QList<QSize>{{1920, 1080}, {1280, 720}, {640, 480}}));
        QCOMPARE(buttons.at(0).at(1).toInt(), 1);
        QTRY_VERIFY(counter.frames >= 3);
        QCOMPARE(counter.lastWidth.load(), 1280);

        // Out-of-range indices leave the running capture alone.
        int flushes;
        size_t opens;
        {
            std::lock_guard<std::mutex> lock(platform->script->mutex);
            flushes = platform->script->flushes;
            opens = platform->script->openedLinks.size();
        }
        QVERIFY(!controller.startCamera(-1));
        QVERIFY(!controller.startCamera(1));
        QVERIFY(controller.getWin32Camera()->isRunning());
        const int before = counter.frames;
        QTRY_VERIFY(counter.frames > before + 2);
        std::lock_guard<std::mutex> lock(platform->script->mutex);
        QCOMPARE(platform->script->flushes, flushes);
        QCOMPARE(platform->script->openedLinks.size(), opens);
    }

    void nativeResolutionChange()
    {
        LogCapture log;
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}});
        CameraController controller(platform);
        FrameCounter counter;
        counter.attach(controller);
        controller.getCameraList();
        QVERIFY(controller.startCamera(0));
        QTRY_VERIFY(counter.frames > 0);

        QSignalSpy resolution(&controller, &CameraController::signalUpdateCameraResolution);
        QCoreApplication::processEvents(); // the opening's own report
        resolution.clear();
        controller.setResolution(QSize(640, 480));
        // Announced at once, before the worker has reconfigured.
        QCOMPARE(resolution.count(), 1);
        QCOMPARE(resolution.at(0).at(0).toSize(), QSize(640, 480));
        QVERIFY(log.contains("CameraController::setResolution - Win32 camera resolution change initiated"));
        QTRY_COMPARE(counter.lastWidth.load(), 640);
        QCOMPARE(counter.lastHeight.load(), 480);

        controller.setResolution(QSize());
        QVERIFY(log.contains("CameraController::setResolution - Invalid resolution or Win32Camera null for Win32 mode"));
        QCOMPARE(resolution.count(), 1);
    }

    void stopAndRestart()
    {
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}});
        CameraController controller(platform);
        FrameCounter counter;
        counter.attach(controller);
        controller.getCameraList();
        QVERIFY(controller.startCamera(0));
        QTRY_VERIFY(counter.frames > 0);
        controller.stopCamera();
        QTRY_VERIFY(!controller.getWin32Camera()->isRunning());
        QTest::qWait(50);
        const int stopped = counter.frames;
        QTest::qWait(100);
        QCOMPARE(counter.frames.load(), stopped);
        // Starting the same camera again reopens it and frames flow again.
        QVERIFY(controller.startCamera(0));
        QTRY_VERIFY(counter.frames > stopped);
    }

    void reopenWhileAStartIsStillQueued()
    {
        std::atomic<bool> delayOnce{true};
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}});
        CameraController controller(platform);
        FrameCounter counter;
        counter.attach(controller);
        Win32Camera *worker = controller.getWin32Camera();
        // Holds the worker up, so the start queued by the first open is still
        // waiting when the second open stops the capture.
        QObject::connect(worker, &Win32Camera::signalUpdataResolutions, worker, [worker, &delayOnce] {
            if (delayOnce.exchange(false))
                QMetaObject::invokeMethod(worker, [] { QThread::msleep(300); }, Qt::QueuedConnection);
        }, Qt::DirectConnection);
        controller.getCameraList();
        QVERIFY(controller.startCamera(0));

        // Ends a hang after a few seconds instead of at the test's time-out.
        std::atomic<bool> reopened{false};
        std::atomic<bool> rescued{false};
        std::thread rescue([&] {
            for (int i = 0; i < 100 && !reopened; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!reopened) {
                rescued = true;
                worker->slotStop();
            }
        });
        const bool ok = controller.startCamera(0);
        reopened = true;
        rescue.join();
        QVERIFY(ok);
        QVERIFY2(!rescued, "reopening waited behind a read loop that started after its stop");
        const int before = counter.frames;
        QTRY_VERIFY(counter.frames > before + 2);
    }

    void fallbackFramesStayOutOfNativeCapture()
    {
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}});
        CameraController controller(platform);
        FrameCounter counter;
        counter.attach(controller);
        auto *surface = controller.findChild<CameraFrameSurface *>();
        QVERIFY(surface);
        QVideoFrame frame(64 * 48 * 3 / 2, QSize(64, 48), 64, QVideoFrame::Format_NV12);

        // Not in native mode: the toolkit camera's frames are relayed.
        QVERIFY(surface->present(frame));
        QTRY_COMPARE(counter.frames.load(), 1);
        QCOMPARE(counter.lastWidth.load(), 64);

        controller.getCameraList();
        QVERIFY(controller.startCamera(0));
        QTRY_VERIFY(counter.frames > 1);
        controller.stopCamera();
        QTRY_VERIFY(!controller.getWin32Camera()->isRunning());
        QTest::qWait(50);
        const int stopped = counter.frames;
        // A toolkit camera still open from before must not feed the pipeline.
        QVERIFY(surface->present(frame));
        QTest::qWait(100);
        QCOMPARE(counter.frames.load(), stopped);
    }

    void failedNativeOpenFallsBack()
    {
        if (toolkitHasCameras())
            QSKIP("a real camera is attached; the toolkit would open it");
        LogCapture log;
        // Passes the compatibility test (first open) but the worker's own open fails.
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}, {L"NoTypes", L"fake:1", {}}});
        platform->script->opensBeforeFailure = 1;
        CameraController controller(platform);
        controller.getCameraList();
        QVERIFY(!controller.startCamera(0));
        QVERIFY(log.contains("Win32 camera initialization failed, falling back to Qt Camera API"));
        QVERIFY(log.contains("No cameras found with Qt API either"));
        QVERIFY(!controller.isWin32Mode());

        {
            std::lock_guard<std::mutex> lock(platform->script->mutex);
            platform->script->opensBeforeFailure = -1;
        }
        QVERIFY(!controller.startCamera(1));
        QVERIFY(log.contains("Camera compatibility test failed, falling back to Qt API"));

        controller.setResolution(QSize(640, 480));
        QVERIFY(log.contains("CameraController::setResolution - Invalid resolution or Qt camera null"));
    }

    void cameraVanishesMidStream()
    {
        LogCapture log;
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}});
        platform->script->readsBeforeFailure = 5;
        auto controller = std::make_unique<CameraController>(platform);
        FrameCounter counter;
        counter.attach(*controller);
        controller->getCameraList();
        QVERIFY(controller->startCamera(0));
        QTRY_VERIFY(log.contains("MediaFoundation: ReadSample failed"));
        QTRY_VERIFY(!controller->getWin32Camera()->isRunning());
        QCOMPARE(counter.frames.load(), 5);

        platform->setDevices({});
        QVERIFY(controller->getCameraList().isEmpty());
        QVERIFY(!controller->startCamera(0));
        controller->stopCamera();
        QElapsedTimer timer;
        timer.start();
        controller.reset();
        QVERIFY(timer.elapsed() < 3000);
    }

    void destructionWithARunningLoop()
    {
        auto platform = makePlatform({{L"Cam", L"fake:0", hdTypes()}}, std::chrono::milliseconds(1000));
        auto controller = std::make_unique<CameraController>(platform);
        controller->getCameraList();
        QVERIFY(controller->startCamera(0));
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            std::lock_guard<std::mutex> lock(platform->script->mutex);
            return platform->script->readBlocked;
        }(), 5000);
        QElapsedTimer timer;
        timer.start();
        controller.reset();
        // The flush ends the blocked read; nothing waits for a limit.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        std::lock_guard<std::mutex> lock(platform->script->mutex);
        QVERIFY(platform->script->shutdowns >= 1); // released on the worker
    }

    void fallbackScansEverySecondSetting()
    {
        // Only position 0 is scanned for sizes: the list is [640x480].
        FallbackSelection s = selectFallbackSetting(
            {setting(QVideoFrame::Format_NV12, 640, 480), setting(QVideoFrame::Format_YUYV, 1280, 720)});
        QCOMPARE(s.settingIndex, 0);
        QCOMPARE(s.resolutions, QList<QSize>{QSize(640, 480)});
        QCOMPARE(s.selectedIndex, 0);
        QVERIFY(s.logLine.startsWith("Using preferred camera format:"));

        // NV12 only at an odd position: found by the alternative search,
        // while its size is not in the scanned list.
        s = selectFallbackSetting({setting(QVideoFrame::Format_YUYV, 1280, 720),
                                   setting(QVideoFrame::Format_NV12, 640, 480),
                                   setting(QVideoFrame::Format_YUYV, 1920, 1080)});
        QCOMPARE(s.settingIndex, 1);
        QCOMPARE(s.resolutions, (QList<QSize>{{1920, 1080}, {1280, 720}}));
        QCOMPARE(s.selectedIndex, -1);
        QVERIFY(s.logLine.startsWith("Using alternative camera format:"));

        // The alternative order prefers YUYV over RGB32 wherever they sit.
        s = selectFallbackSetting({setting(QVideoFrame::Format_RGB32, 640, 480),
                                   setting(QVideoFrame::Format_YUYV, 320, 240)});
        QCOMPARE(s.settingIndex, 1);

        // Nothing known: the first setting.
        s = selectFallbackSetting({setting(QVideoFrame::Format_UYVY, 320, 240),
                                   setting(QVideoFrame::Format_Jpeg, 640, 480),
                                   setting(QVideoFrame::Format_UYVY, 640, 480)});
        QCOMPARE(s.settingIndex, 0);
        QVERIFY(s.logLine.startsWith("Using first available camera format:"));
        QCOMPARE(s.resolutions, (QList<QSize>{{640, 480}, {320, 240}}));
        QCOMPARE(s.selectedIndex, 1);

        s = selectFallbackSetting({});
        QCOMPARE(s.settingIndex, -1);
        QVERIFY(s.resolutions.isEmpty());
    }

    void fallbackResolutionChoice()
    {
        const QList<QCameraViewfinderSettings> settings{
            setting(QVideoFrame::Format_YUYV, 1280, 720, 30), setting(QVideoFrame::Format_NV12, 1280, 720, 15),
            setting(QVideoFrame::Format_NV12, 1280, 720, 30), setting(QVideoFrame::Format_YUYV, 640, 480, 60)};
        QCameraViewfinderSettings best = bestSettingForResolution(settings, QSize(1280, 720));
        QCOMPARE(best.pixelFormat(), QVideoFrame::Format_NV12); // equal rate, preferred format
        QCOMPARE(best.maximumFrameRate(), 30.0);
        best = bestSettingForResolution(settings, QSize(640, 480));
        QCOMPARE(best.maximumFrameRate(), 60.0);
        QVERIFY(bestSettingForResolution(settings, QSize(320, 240)).resolution() != QSize(320, 240));
    }
};

QTEST_GUILESS_MAIN(TestCameraController)
#include "tst_cameracontroller.moc"
