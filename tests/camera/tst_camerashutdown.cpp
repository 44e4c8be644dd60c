// Shut-down limits with a read that never returns (a driver that ignores
// the flush): destroying the controller must still end within the release
// wait (3000 ms) and the wait after terminating the thread (1000 ms).

#include "CameraController.h"
#include "FakeCameraPlatform.h"
#include "LogCapture.h"

#include <QtTest>

class TestCameraShutdown : public QObject
{
    Q_OBJECT
private slots:
    void stuckReadIsBoundedByTheWaitLimits()
    {
        LogCapture log;
        auto platform = std::make_shared<FakeCameraPlatform>();
        platform->setDevices({{L"Stuck", L"fake:0", {fakeType(fourcc::NV12, 640, 480)}}});
        platform->script->ignoreFlush = true;
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
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 2900, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < 3000 + 1000 + 1500, qPrintable(QString::number(elapsed)));
        QVERIFY(log.contains("CameraController: capture worker did not release the camera in time"));
        QVERIFY(log.contains("CameraController: worker thread did not finish, terminating it"));
        // Whatever is left of the thread may now finish on its own.
        platform->script->releaseStuckRead();
    }
};

QTEST_GUILESS_MAIN(TestCameraShutdown)
#include "tst_camerashutdown.moc"
