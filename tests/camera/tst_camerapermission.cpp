// The camera access probe (over the fake layer and the system one) and the
// transparent cover over the selector combos.

#include "CameraComboBox.h"
#include "CameraPermission.h"
#include "FakeCameraPlatform.h"
#include "LogCapture.h"
#include "TransparentCoverWidget.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QtTest>

#include <filesystem>

// Lets the test call the release handler where Qt would not deliver the
// event (a disabled combo disables its children too).
class ExposedCover : public TransparentCoverWidget
{
public:
    using TransparentCoverWidget::TransparentCoverWidget;
    using TransparentCoverWidget::mouseReleaseEvent;
};

namespace {

bool sendMouse(QWidget *w, QEvent::Type type, Qt::MouseButton button)
{
    QMouseEvent ev(type, QPointF(5, 5), QPointF(5, 5), QPointF(5, 5), button, button, Qt::NoModifier);
    ev.setAccepted(false);
    QApplication::sendEvent(w, &ev);
    return ev.isAccepted();
}

// Counts the mouse events that reach a widget.
class MouseCounter : public QObject
{
public:
    int rightReleases = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(e)->button() == Qt::RightButton)
            ++rightReleases;
        return false;
    }
};

bool systemHasVideoNodes()
{
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator("/dev", ec))
        if (e.path().filename().string().rfind("video", 0) == 0)
            return true;
    return false;
}

} // namespace

class TestCameraPermission : public QObject
{
    Q_OBJECT
private slots:
    void probeOverTheLayer()
    {
        LogCapture log;
        FakeCameraPlatform platform;
        QVERIFY(!checkCameraPermission(platform));
        QVERIFY(log.contains("No camera devices found or enumeration failed, error:"));

        platform.setDevices({{L"Cam", L"fake:0", {}}, {L"Other", L"fake:1", {}}});
        platform.script->openStatus = hresultFromErrno(EACCES);
        log.clear();
        QVERIFY(!checkCameraPermission(platform));
        QVERIFY(log.contains("Camera permission denied - failed to open video device, error: \"0x8007000d\""));
        QVERIFY(log.contains("Error description:"));
        QVERIFY(log.contains(QString::fromLocal8Bit(std::strerror(EACCES))));

        platform.script->openStatus = S_OK;
        QVERIFY(checkCameraPermission(platform));
        std::lock_guard<std::mutex> lock(platform.script->mutex);
        // Only the first device is tried, and it is closed again.
        QVERIFY(platform.script->openedLinks.back() == L"fake:0");
        QCOMPARE(platform.script->shutdowns, 1);
    }

    void probeOverTheSystem()
    {
        if (systemHasVideoNodes())
            QSKIP("video nodes present; the answer depends on them");
        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
        QVERIFY(!checkCameraPermission());
        qputenv("EFFECTDEMO_VIRTUAL_CAMERA", "1");
        QVERIFY(checkCameraPermission());
        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
    }

    void coverOpensThePopup()
    {
        QWidget window;
        auto *combo = new QComboBox(&window);
        combo->addItems({"a", "b"});
        combo->resize(120, 28);
        auto *cover = new ExposedCover(combo);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(cover->size(), combo->size());
        combo->resize(200, 28);
        QCOMPARE(cover->size(), QSize(200, 28));

        QVERIFY(sendMouse(cover, QEvent::MouseButtonPress, Qt::LeftButton));
        QVERIFY(!combo->view()->isVisible());
        QVERIFY(sendMouse(cover, QEvent::MouseButtonRelease, Qt::LeftButton));
        QTRY_VERIFY(combo->view()->isVisible());
        combo->hidePopup();
        QTRY_VERIFY(!combo->view()->isVisible());

        // Other buttons get the default handling: the cover does not take
        // them, so they travel on to the combo underneath.
        MouseCounter counter;
        combo->installEventFilter(&counter);
        sendMouse(cover, QEvent::MouseButtonPress, Qt::RightButton);
        sendMouse(cover, QEvent::MouseButtonRelease, Qt::RightButton);
        QCOMPARE(counter.rightReleases, 1);
        QVERIFY(!combo->view()->isVisible());
        combo->removeEventFilter(&counter);

        // A disabled combo opens nothing; the release is still taken.
        combo->setEnabled(false);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        release.setAccepted(false);
        cover->mouseReleaseEvent(&release);
        QVERIFY(release.isAccepted());
        QTest::qWait(50);
        QVERIFY(!combo->view()->isVisible());
    }

    void cameraSelectorNeedsAccess()
    {
        if (systemHasVideoNodes())
            QSKIP("video nodes present; the probe's answer depends on them");
        QWidget window;
        auto *combo = new CameraComboBox(&window);
        combo->updateDeviceList({"cam"});
        auto *cover = combo->coverWidget();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
        QVERIFY(sendMouse(cover, QEvent::MouseButtonRelease, Qt::LeftButton));
        QTest::qWait(50);
        QVERIFY(!combo->view()->isVisible());

        qputenv("EFFECTDEMO_VIRTUAL_CAMERA", "1");
        QVERIFY(sendMouse(cover, QEvent::MouseButtonRelease, Qt::LeftButton));
        QTRY_VERIFY(combo->view()->isVisible());
        combo->hidePopup();
        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
    }
};

QTEST_MAIN(TestCameraPermission)
#include "tst_camerapermission.moc"
