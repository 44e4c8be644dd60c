// The whole window with the camera platform replaced by cameras the test plugs
// in and pulls out: display modes, frames reaching the view, pictures, the
// comparison button, the camera checks and the settings opener.
#include "WindowTestSupport.h"

#include "AppPaths.h"
#include "CameraComboBox.h"
#include "ImageUploadComboBox.h"
#include "CameraPermissionPromptWidget.h"
#include "DIYButton.h"
#include "Loading.h"
#include "SegmentationButton.h"
#include "IconTextWidget.h"
#include "ResetDialog.h"
#include "SideBarWidget.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>

#include "../support/GlTestMain.h"

namespace {

QString demoPicture(int n)
{
    return appPath(QStringLiteral("/res/demoImage/demo_image%1.jpg").arg(n));
}

void pressAndHold(QWidget *widget)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

void release(QWidget *widget)
{
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

// The part of the view the picture covers, scaled back to the picture's size.
QImage shownPicture(MainWindow &window, QSize pictureSize)
{
    const QImage view = viewPixels(window);
    // The viewport is centred, so it reads the same from the top or the bottom.
    const QRect inImage = window.videoShowWidget()->viewport();
    return view.copy(inImage).scaled(pictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

class TestMainWindowEndToEnd : public QObject
{
    Q_OBJECT
    std::shared_ptr<TestCameraPlatform> m_platform;
    QList<QUrl> m_opened;

private slots:
    void initTestCase()
    {
        LogCapture::instance().install();
        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
        m_platform = std::make_shared<TestCameraPlatform>();
        setActiveCameraPlatform(m_platform);
        MainWindow::setUrlOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void cleanupTestCase()
    {
        MainWindow::setUrlOpener(nullptr);
        setActiveCameraPlatform(nullptr);
    }

    void init()
    {
        LogCapture::instance().clear();
        m_platform->setCameras({});
    }

    void noCameraStartsWithPictureAndPrompt()
    {
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(LogCapture::instance().contains(QStringLiteral("initConnect: 未检测到摄像头设备，设置为图片模式")));
        QCOMPARE(window.displayPage(), 1);
        QVERIFY(!window.isVideoDisplayMode());
        QVERIFY(window.videoShowWidget()->pictureMode());
        QVERIFY(!window.videoFilter().isUseCameraRender());
        QVERIFY(window.permissionPromptWidget()->isVisible());
        // A picture chosen on the prompt shows once the view has come up.
        window.loadPicture(demoPicture(1));
        QCOMPARE(window.displayPage(), 0);
        QVERIFY(waitForFrames(window));
        QCOMPARE(window.currentPicture(), demoPicture(1));
        QTRY_VERIFY_WITH_TIMEOUT(meanLuma(viewPixels(window)) > 20, 5000);
        QVERIFY(LogCapture::instance().contains(QStringLiteral("已加载图片:")));
    }

    void cameraStreamsToTheView()
    {
        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.displayPage(), 0);
        QVERIFY(window.isVideoDisplayMode());
        QVERIFY(window.videoFilter().isUseCameraRender());
        QVERIFY(!window.videoShowWidget()->pictureMode());
        QVERIFY(window.runningCamera().startsWith(QStringLiteral("Virtual Camera A")));
        QVERIFY(waitForFrames(window));

        QImage first;
        QTRY_VERIFY_WITH_TIMEOUT(meanLuma(first = viewPixels(window)) > 20, 5000);
        // The scene moves: the view keeps receiving new frames.
        QTRY_VERIFY_WITH_TIMEOUT(meanDifference(first, viewPixels(window)) > 0.5, 5000);
    }

    void comparisonShowsTheUnprocessedPicture()
    {
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadPicture(demoPicture(2));
        QVERIFY(waitForFrames(window));
        window.videoFilter().updateEffect("beauty.whiten", 100, std::string(), {});
        window.videoFilter().updateEffect("quality.brightness", 100, std::string(), {});
        QTest::qWait(300);
        const double processed = meanLuma(viewPixels(window));

        auto *comparison = window.findChild<IconTextWidget *>(QStringLiteral("comparisonButton"));
        QVERIFY(comparison);
        pressAndHold(comparison);
        QVERIFY(window.videoFilter().isComparisonMode());
        QTRY_VERIFY_WITH_TIMEOUT(meanLuma(viewPixels(window)) < processed - 10, 3000);
        // Unprocessed and not mirrored: the view shows the file as it is.
        const QImage original = QImage(demoPicture(2)).convertToFormat(QImage::Format_RGB32);
        const QImage shown = shownPicture(window, original.size());
        QVERIFY2(meanDifference(shown, original) < 8.0, qPrintable(QString::number(meanDifference(shown, original))));
        QVERIFY(meanDifference(shown, original) < meanDifference(shown, original.mirrored(true, false)));
        release(comparison);
        QVERIFY(!window.videoFilter().isComparisonMode());
        QTRY_VERIFY_WITH_TIMEOUT(meanLuma(viewPixels(window)) > processed - 3, 3000);
    }

    void pictureThenCameraAgain()
    {
        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));

        QCOMPARE(window.cameraComboBox()->currentIndex(), 1);
        // Through the selectors, as the user does it.
        emit window.imageUploadComboBox()->signalLoadImage(demoPicture(1));
        QVERIFY(!window.cameraController().getWin32Camera()->isRunning());
        QVERIFY(window.videoShowWidget()->pictureMode());
        QVERIFY(!window.videoFilter().isUseCameraRender());
        QCOMPARE(window.currentPicture(), demoPicture(1));
        QVERIFY(LogCapture::instance().contains(QStringLiteral("已加载图片:")));

        emit window.cameraComboBox()->activated(1);
        QVERIFY(window.videoFilter().isUseCameraRender());
        QVERIFY(!window.videoShowWidget()->pictureMode());
        QTRY_VERIFY_WITH_TIMEOUT(window.cameraController().getWin32Camera()->isRunning(), 5000);
    }

    void unpluggingTheCameraShowsThePrompt()
    {
        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));

        QElapsedTimer clock;
        clock.start();
        m_platform->setCameras({});
        QTRY_COMPARE_WITH_TIMEOUT(window.displayPage(), 1, 3000);
        qInfo() << "prompt shown" << clock.elapsed() << "ms after the camera went";
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!window.cameraController().getWin32Camera()->isRunning());
        QVERIFY(window.videoShowWidget()->pictureMode());
        QVERIFY(!window.videoFilter().isUseCameraRender());
        QCOMPARE(window.cameraComboBox()->count(), CameraComboBox::FixedRows);
        QVERIFY(window.imageUploadComboBox()->isUploadEnabled());

        // Plugging it back in returns to video with camera 0.
        m_platform->setCameras({{L"Virtual Camera A"}});
        QTRY_COMPARE_WITH_TIMEOUT(window.displayPage(), 0, 3000);
        QVERIFY(window.videoFilter().isUseCameraRender());
        QVERIFY(window.runningCamera().startsWith(QStringLiteral("Virtual Camera A")));
    }

    void unpluggingWhileAPictureIsShownKeepsThePicture()
    {
        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));
        window.loadPicture(demoPicture(2));
        m_platform->setCameras({});
        QTRY_VERIFY_WITH_TIMEOUT(LogCapture::instance().contains(
                                     QStringLiteral("当前是图片模式，保持视频显示组件，不切换到权限提示模式")),
                                 3000);
        QCOMPARE(window.displayPage(), 0);
        QCOMPARE(window.currentPicture(), demoPicture(2));
    }

    // A camera that refuses to open leaves the picture on screen.
    void failedCameraStartKeepsThePicture()
    {
        m_platform->setCameras({{L"Broken Camera", true}});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadPicture(demoPicture(2));
        QVERIFY(waitForFrames(window));

        LogCapture::instance().clear();
        window.activateCameraEntry(1);
        QVERIFY(LogCapture::instance().contains(QStringLiteral("摄像头启动失败，保持图片模式")));
        QVERIFY(window.videoShowWidget()->pictureMode());
        QVERIFY(!window.videoFilter().isUseCameraRender());
        QVERIFY(window.runningCamera().isEmpty());
        QCOMPARE(window.currentPicture(), demoPicture(2));
        QTRY_VERIFY_WITH_TIMEOUT(meanLuma(viewPixels(window)) > 20, 3000);
    }

    // The running camera goes while another stays: the other one takes over.
    void vanishedCameraIsReplacedByTheFirstRemaining()
    {
        m_platform->setCameras({{L"Virtual Camera A"}, {L"Virtual Camera B"}});
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));
        window.activateCameraEntry(2);
        QVERIFY(window.runningCamera().startsWith(QStringLiteral("Virtual Camera B")));
        QTest::qWait(1200); // let a check see both cameras

        m_platform->setCameras({{L"Virtual Camera A"}});
        QTRY_VERIFY_WITH_TIMEOUT(window.runningCamera().startsWith(QStringLiteral("Virtual Camera A")), 3000);
        QVERIFY(window.videoFilter().isUseCameraRender());
        QCOMPARE(window.displayPage(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(window.cameraController().getWin32Camera()->isRunning(), 5000);
        QVERIFY(LogCapture::instance().contains(QStringLiteral("已切换到第一个可用摄像头设备")));
    }

    void settingsButtonOpensTheCameraGuide()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        m_opened.clear();
        window.permissionCheckTimer()->stop();
        window.permissionPromptWidget()->settingsButton()->click();
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_opened.first().isLocalFile());
        QVERIFY(m_opened.first().toLocalFile().endsWith(QStringLiteral("/docs/camera.md")));
        QCOMPARE(m_opened.first().fragment(), QStringLiteral("camera-access"));
        QVERIFY(QFile::exists(m_opened.first().toLocalFile()));
        QVERIFY(window.permissionCheckTimer()->isActive());
        QVERIFY(LogCapture::instance().contains(QStringLiteral("已打开摄像头访问说明:")));
    }

    // A slider of "美颜" changes the picture; "重置" asks first and, when
    // confirmed, brings back the default look.
    void beautySliderAndReset_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("reset confirmed") << true;
        QTest::newRow("reset cancelled") << false;
    }

    void beautySliderAndReset()
    {
        QFETCH(bool, accept);
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadPicture(demoPicture(2));
        QVERIFY(waitForFrames(window));
        QTest::qWait(400);
        const QImage defaults = viewPixels(window);

        BeautyModuleButton *beauty = nullptr;
        for (BeautyModuleButton *button : window.findChildren<BeautyModuleButton *>())
            if (button->text() == QStringLiteral("美颜"))
                beauty = button;
        QVERIFY(beauty);
        beauty->click();
        QTest::qWait(100);
        const auto sliders = window.widgetCreater().pages()->currentWidget()->findChildren<QSlider *>();
        QVERIFY(!sliders.isEmpty());
        for (QSlider *slider : sliders)
            if (slider->isVisible())
                slider->setValue(slider->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(meanDifference(defaults, viewPixels(window)) > 3.0, 3000);

        bool seenDialog = false;
        QTimer::singleShot(200, &window, [&] {
            auto *dialog = qobject_cast<ResetDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seenDialog = dialog->titleLabel()->text() == QStringLiteral("重置当前美颜效果？");
            (accept ? dialog->confirmButton() : dialog->cancelButton())->click();
        });
        auto *reset = window.findChild<IconTextWidget *>(QStringLiteral("resetButton"));
        QVERIFY(reset);
        pressAndHold(reset);
        QVERIFY(seenDialog);
        QTest::qWait(400);
        const double afterReset = meanDifference(defaults, viewPixels(window));
        if (accept)
            QVERIFY2(afterReset < 1.0, qPrintable(QString::number(afterReset)));
        else
            QVERIFY2(afterReset > 3.0, qPrintable(QString::number(afterReset)));
    }

    // The custom picture is one more option of the preset group: choosing
    // it deselects every preset, and a preset deselects it again.
    void presetAndCustomBackgroundExcludeEachOther()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        BeautyModuleButton *module = nullptr;
        for (BeautyModuleButton *button : window.findChildren<BeautyModuleButton *>())
            if (button->text() == QStringLiteral("虚拟背景"))
                module = button;
        QVERIFY(module);
        module->click();
        QWidget *page = window.widgetCreater().pages()->currentWidget();
        QVERIFY(page->findChild<SegmentationButton *>());
        for (DIYButton *tile : page->findChildren<DIYButton *>())
            QVERIFY(tile->caption() != QStringLiteral("自定义背景"));

        PanelItem *group = nullptr;
        for (PanelItem &m : window.widgetCreater().root()->children)
            if (m.displayName == QStringLiteral("虚拟背景"))
                for (PanelItem &g : m.children)
                    if (g.displayName == QStringLiteral("预设背景"))
                        group = &g;
        QVERIFY(group);
        PanelItem *upload = &group->children.back();
        QCOMPARE(upload->uiType, int(UiUploadImageButton));
        auto selected = [group] {
            QStringList names;
            for (const PanelItem &option : group->children)
                if (option.uiState != 0)
                    names << option.displayName;
            return names;
        };

        auto indexOf = [group](const QString &name) {
            for (int i = 0; i < int(group->children.size()); ++i)
                if (group->children[size_t(i)].displayName == name)
                    return i;
            return -1;
        };

        window.widgetCreater().onScrollOptionClicked(group, indexOf(QStringLiteral("演播室")), QStringLiteral("虚拟背景"),
                                                     QStringLiteral("贴纸特效"));
        QCOMPARE(selected(), QStringList{QStringLiteral("演播室")});
        window.widgetCreater().onCustomBackgroundChosen(upload, {}, demoPicture(2));
        QCOMPARE(selected(), QStringList{QStringLiteral("自定义背景")});
        window.widgetCreater().onScrollOptionClicked(group, indexOf(QStringLiteral("暮色")), QStringLiteral("虚拟背景"),
                                                     QStringLiteral("贴纸特效"));
        QCOMPARE(selected(), QStringList{QStringLiteral("暮色")});
        window.widgetCreater().resetAllEffects();
    }

    // A preset background whose package is not installed is fetched from
    // the address its item names (served here by the project's own script),
    // extracted and applied: the camera's green bar shows the new background.
    void missingBackgroundIsDownloadedAndApplied()
    {
        const QString package = QStringLiteral("segmentation/ocean_blue");
        const QString installed = appPath(QStringLiteral("/res/") + package);
        QVERIFY(QFileInfo(installed + QStringLiteral("/template.json")).exists());
        QTemporaryDir aside(appPath(QStringLiteral("/res-aside-XXXXXX")));
        QVERIFY(aside.isValid());
        QVERIFY(QDir().mkpath(aside.path() + QStringLiteral("/segmentation")));
        QVERIFY(QDir().rename(installed, aside.path() + QLatin1Char('/') + package));
        auto restore = qScopeGuard([&] {
            if (!QFileInfo::exists(installed))
                QDir().rename(aside.path() + QLatin1Char('/') + package, installed);
        });

        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("python3"), {QStringLiteral(EFFECTDEMO_SOURCE_DIR "/scripts/serve_resources.py"),
                                                 QStringLiteral("--res"), aside.path(), QStringLiteral("--port"),
                                                 QStringLiteral("0"), package});
        QVERIFY(server.waitForStarted(5000));
        QVERIFY(server.waitForReadyRead(10000));
        const QString first = QString::fromUtf8(server.readLine()).trimmed();
        QVERIFY2(first.startsWith(QStringLiteral("serving http://127.0.0.1:")), qPrintable(first));
        const QString base = first.mid(QStringLiteral("serving ").size());
        auto stopServer = qScopeGuard([&] {
            server.kill();
            server.waitForFinished(3000);
        });

        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));
        auto greenShare = [&] {
            const QImage view = viewPixels(window);
            int green = 0, all = 0;
            for (int y = 0; y < view.height(); y += 4)
                for (int x = 0; x < view.width(); x += 4, ++all) {
                    const QRgb c = view.pixel(x, y);
                    green += qGreen(c) > 150 && qRed(c) < 70 && qBlue(c) < 70;
                }
            return double(green) / all;
        };
        QTRY_VERIFY_WITH_TIMEOUT(greenShare() > 0.05, 5000);

        // The item's address points at the server of this test.
        PanelItem *option = nullptr;
        for (PanelItem &module : window.widgetCreater().root()->children)
            if (module.displayName == QStringLiteral("虚拟背景"))
                for (PanelItem &group : module.children)
                    for (PanelItem &child : group.children)
                        if (child.displayName == QStringLiteral("海蓝"))
                            option = &child;
        QVERIFY(option);
        QVERIFY(option->sdkParam.resourcePath.empty());
        option->resourceUri = base + package + QStringLiteral(".zip");

        BeautyModuleButton *module = nullptr;
        for (BeautyModuleButton *button : window.findChildren<BeautyModuleButton *>())
            if (button->text() == QStringLiteral("虚拟背景"))
                module = button;
        QVERIFY(module);
        module->click();
        QTest::qWait(100);
        DIYButton *tile = nullptr;
        for (DIYButton *button : window.widgetCreater().pages()->currentWidget()->findChildren<DIYButton *>())
            if (button->caption() == QStringLiteral("海蓝"))
                tile = button;
        QVERIFY(tile);
        emit tile->clicked(true);

        QVERIFY(QFileInfo(installed + QStringLiteral("/template.json")).exists());
        QVERIFY(QFileInfo(installed + QStringLiteral("/background.png")).exists());
        QVERIFY(!QFileInfo::exists(installed + QStringLiteral(".zip")));
        QCOMPARE(QString::fromStdString(option->sdkParam.resourcePath),
                 package + QStringLiteral("/template.json"));
        QVERIFY(!window.loading()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(greenShare() < 0.01, 5000);
    }

    // With WINDOW_SCREENSHOTS=<folder>: the window in each display mode and
    // every module page, for looking at.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("WINDOW_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("set WINDOW_SCREENSHOTS=<folder> to write the screenshots");
        QDir().mkpath(folder);
        m_platform->setCameras({{L"Virtual Camera A"}});
        MainWindow window;
        window.resize(1385, 850);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(waitForFrames(window));
        QTest::qWait(800);
        QVERIFY(window.grab().save(folder + QStringLiteral("/mode_video.png")));

        const auto buttons = window.findChildren<BeautyModuleButton *>();
        int page = 0;
        for (BeautyModuleButton *button : buttons) {
            button->click();
            QTest::qWait(250);
            QVERIFY(window.grab().save(folder + QStringLiteral("/module_%1_%2.png").arg(page++, 2, 10, QLatin1Char('0')).arg(button->text())));
        }

        window.loadPicture(demoPicture(1));
        if (!buttons.isEmpty())
            buttons.first()->click();
        QTest::qWait(500);
        QVERIFY(window.grab().save(folder + QStringLiteral("/mode_picture.png")));

        m_platform->setCameras({});
        MainWindow prompt;
        prompt.resize(1385, 850);
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        QCOMPARE(prompt.displayPage(), 1);
        QTest::qWait(300);
        QVERIFY(prompt.grab().save(folder + QStringLiteral("/mode_prompt.png")));
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestMainWindowEndToEnd)

#include "tst_mainwindow_e2e.moc"
