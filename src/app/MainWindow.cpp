#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppIcons.h"
#include "AppPaths.h"
#include "CameraPermission.h"
#include "CameraPermissionPromptWidget.h"
#include "IconTextWidget.h"
#include "Loading.h"
#include "ResetDialog.h"
#include "SideBarWidget.h"
#include "StackedWidget.h"
#include "VideoShowWidget.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSemaphore>
#include <QSharedPointer>
#include <QStackedLayout>
#include <QSvgWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

namespace {
// The engine integration guide ships beside the program, so the link works
// offline and always matches the engine that is installed.
const char *const kSdkDocumentPath = "/docs/engine-integration.md";
// Linux has no camera privacy page: the shipped camera guide explains group
// membership, device permissions and how to check a camera.
const char *const kCameraGuidePath = "/docs/camera.md";
const char *const kCameraGuideSection = "camera-access";
const char *const kDefaultPicture = "/res/demoImage/demo_image1.jpg";

MainWindow::UrlOpener &urlOpener()
{
    static MainWindow::UrlOpener opener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return opener;
}

QString listText(const QStringList &names)
{
    return QStringLiteral("(") + names.join(QStringLiteral(", ")) + QStringLiteral(")");
}
} // namespace

QUrl MainWindow::sdkDocumentUrl()
{
    return QUrl::fromLocalFile(appPath(QString::fromLatin1(kSdkDocumentPath)));
}

QUrl MainWindow::cameraGuideUrl()
{
    QUrl url = QUrl::fromLocalFile(appPath(QString::fromLatin1(kCameraGuidePath)));
    url.setFragment(QString::fromLatin1(kCameraGuideSection));
    return url;
}

void MainWindow::setUrlOpener(UrlOpener opener)
{
    urlOpener() = opener ? std::move(opener) : [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ensureAppIcons();
    ui->setupUi(this);
    setWindowFlag(Qt::FramelessWindowHint);

    m_cameraList = m_cameraController.getCameraList();
    m_isVideoDisplayMode = false;

    m_permissionCheckTimer = new QTimer(this);
    m_permissionCheckTimer->setInterval(1000);
    connect(m_permissionCheckTimer, &QTimer::timeout, this, [this] { checkCameraStatus(); });

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTopBar(), 1);
    layout->addWidget(createMainArea(), 9);
    setCentralWidget(central);

    initConnect();

    QTimer::singleShot(100, this, [this] { checkCameraStatus(); });
    m_permissionCheckTimer->start();
    qDebug() << "程序启动时已启动权限检查定时器，持续监控状态变化";
}

MainWindow::~MainWindow()
{
    try {
        qDebug() << "开始析构MainWindow...";
        if (m_permissionCheckTimer)
            m_permissionCheckTimer->stop();
        // Nothing below wants frames any more; cut the road first so the
        // wait below only covers a frame already on it.
        disconnect(m_frameConnection);
        try {
            stopCaptureAndWait();
        } catch (const std::exception &) {
            qWarning() << "析构时停止相机控制器出现异常";
        }
        try {
            m_videoFilter.stopProcessing();
        } catch (const std::exception &) {
            qWarning() << "析构时停止视频滤镜处理出现异常";
        }
        QCoreApplication::processEvents();
        delete m_permissionCheckTimer;
        m_permissionCheckTimer = nullptr;
        delete m_loading;
        m_loading = nullptr;
        delete m_permissionPromptWidget;
        m_permissionPromptWidget = nullptr;
        delete m_videoShowWidget;
        m_videoShowWidget = nullptr;
        delete ui;
        ui = nullptr;
        qDebug() << "MainWindow析构完成";
    } catch (...) {
        qCritical() << "MainWindow析构过程中发生异常";
    }
}

bool MainWindow::stopCaptureAndWait()
{
    m_cameraController.stopCamera();
    m_runningCamera.clear();
    Win32Camera *worker = m_cameraController.getWin32Camera();
    if (!worker || !worker->thread() || !worker->thread()->isRunning())
        return true;
    // The capture loop runs inside one slot on the worker thread; a task
    // queued behind it starts only once the loop has returned and the frame
    // it was delivering has left the pipeline and the view. A start queued
    // just before may open a new loop ahead of it, so the stop is repeated
    // while waiting.
    auto idle = QSharedPointer<QSemaphore>::create(0);
    QMetaObject::invokeMethod(worker, [idle] { idle->release(); }, Qt::QueuedConnection);
    QDeadlineTimer deadline(kCaptureIdleWaitMs);
    bool idleNow = false;
    while (!(idleNow = idle->tryAcquire(1, 20)) && !deadline.hasExpired())
        m_cameraController.stopCamera();
    if (idleNow)
        return true;
    // A read that ignores the stop: cut the frame road so whatever it still
    // delivers cannot reach objects that are about to go.
    qCritical() << "MainWindow: capture worker still busy after" << kCaptureIdleWaitMs
                << "ms; disconnecting the frame road";
    disconnect(m_frameConnection);
    return false;
}

QFrame *MainWindow::createTopBar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("widget"));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setFixedHeight(kDragStripHeight);
    bar->setStyleSheet(QStringLiteral(
        "QFrame#widget { background-color: #333; border-radius: 0px; border-bottom: 1px solid #1A1A1A;}"));
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(16, 16, 16, 16);

    auto *logo = new QSvgWidget(iconPath(QStringLiteral("corvane_logo.svg")), this);
    logo->setObjectName(QStringLiteral("corvane_engine_image"));
    logo->setFixedSize(103, 24);
    layout->addWidget(logo);

    auto *version = new QLabel(tr("V4.0"), bar);
    version->setObjectName(QStringLiteral("version_label"));
    version->setFixedSize(26, 24);
    version->setAlignment(Qt::AlignCenter);
    version->setStyleSheet(QStringLiteral(
        "QLabel {    color: rgba(255, 255, 255, 0.42);    font-family: \"Microsoft YaHei\";    font-size: 12px;"
        "    font-weight: normal;    line-height: 14px;    padding-top: 1px;    padding-bottom: 1px;}"));
    layout->addWidget(version);
    layout->addStretch();

    auto *document = new IconTextWidget(QSize(16, 16), QStringLiteral("SDK集成文档"),
                                        iconPath(QStringLiteral("sdk_document.svg")), this);
    document->setObjectName(QStringLiteral("sdkDocumentLink"));
    connect(document, &IconTextWidget::clicked, [this] { openSdkDocument(); });
    layout->addWidget(document);

    auto *minimize = new QPushButton(bar);
    minimize->setObjectName(QStringLiteral("minimizeBtn"));
    minimize->setFixedSize(16, 16);
    minimize->setIcon(QIcon(iconPath(QStringLiteral("min_icon.png"))));
    minimize->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; icon-size: 16px;}"
        "QPushButton:hover { background: #444; }QPushButton:pressed { background: #555; }"));
    connect(minimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    layout->addWidget(minimize);

    auto *maximize = new QPushButton(bar);
    maximize->setObjectName(QStringLiteral("fullscreenBtn"));
    maximize->setFixedSize(16, 16);
    maximize->setIcon(QIcon(iconPath(QStringLiteral("strech_icon.png"))));
    maximize->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; icon-size: 16px; }"
        "QPushButton:hover { background: #444; }QPushButton:pressed { background: #555; }"));
    connect(maximize, &QPushButton::clicked, this, [this, maximize] {
        toggleMaximized();
        // One icon serves both states.
        maximize->setIcon(QIcon(iconPath(QStringLiteral("strech_icon.png"))));
    });
    layout->addWidget(maximize);

    auto *closeButton = new QPushButton(bar);
    closeButton->setObjectName(QStringLiteral("closeBtn"));
    closeButton->setFixedSize(16, 16);
    closeButton->setIcon(QIcon(QStringLiteral(":/icons/close_icon.svg")));
    closeButton->setIconSize(QSize(9, 9));
    closeButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; }"
        "QPushButton:hover { background: #E81123; }QPushButton:pressed { background: #F1707A; }"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(closeButton);

    return bar;
}

QFrame *MainWindow::createMainArea()
{
    auto *body = new QFrame(this);
    body->setObjectName(QStringLiteral("widget_2"));
    body->setFrameShape(QFrame::StyledPanel);
    body->setStyleSheet(QStringLiteral("QFrame#widget_2 { background-color: #333; border:none;}"));
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    row->addWidget(createDisplayArea(), 1);
    m_sideBar = createSideBar();
    row->addWidget(m_sideBar, 0);

    m_panelStack = new StackedWidget(body);
    m_panelStack->setObjectName(QStringLiteral("stack_widget"));
    m_panelStack->setFrameShape(QFrame::StyledPanel);
    m_panelStack->setFixedWidth(260);
    m_panelStack->setStyleSheet(QStringLiteral(
        "QStackedWidget { border: none; border-radius: 0px; background-color: #292929; }"));
    row->addWidget(m_panelStack, 0);

    m_widgetCreater.buildPanels(m_sideBar, m_panelStack, &m_videoFilter, m_videoShowWidget, true);
    return body;
}

SideBarWidget *MainWindow::createSideBar()
{
    auto *sideBar = new SideBarWidget(this);
    sideBar->setFixedWidth(140);
    // The list fits a normal window; a short one scrolls with the wheel
    // rather than showing a bare scroll bar beside the panel.
    sideBar->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sideBar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    static const struct {
        const char *group;
        std::initializer_list<const char *> modules;
    } kModules[] = {
        {"模板", {"美颜模板"}},
        {"美颜美型", {"美颜", "高级美型", "美体"}},
        {"美妆", {"风格整妆", "单点美妆", "轻美妆"}},
        {"贴纸特效", {"2D贴纸", "3D贴纸", "手势贴纸", "虚拟背景"}},
        {"滤镜调色", {"滤镜", "画质调整"}},
    };
    for (const auto &entry : kModules) {
        const QString group = QString::fromUtf8(entry.group);
        sideBar->addGroup(group);
        for (const char *module : entry.modules)
            sideBar->addItem(group, QString::fromUtf8(module));
        sideBar->addSpacing(20);
    }
    return sideBar;
}

QFrame *MainWindow::createDisplayArea()
{
    auto *display = new QFrame(this);
    display->setObjectName(QStringLiteral("left_widget"));
    display->setFrameShape(QFrame::StyledPanel);
    display->setStyleSheet(
        QStringLiteral("QFrame { border: none; border-radius: 0px; background-color: #000000; }"));
    auto *column = new QVBoxLayout(display);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *controls = new QFrame(display);
    controls->setFixedHeight(58);
    auto *controlRow = new QHBoxLayout(controls);
    controlRow->setContentsMargins(16, 16, 16, 16);
    controlRow->setSpacing(12);
    if (QWidget *cameraSelector = createCameraSelector(controls))
        controlRow->addWidget(cameraSelector);
    if (QWidget *pictureSelector = createPictureSelector(controls))
        controlRow->addWidget(pictureSelector);
    controlRow->addStretch();

    auto *comparison = new IconTextWidget(QSize(16, 16), QStringLiteral("对比"),
                                          iconPath(QStringLiteral("comparison.svg")), controls);
    comparison->setObjectName(QStringLiteral("comparisonButton"));
    comparison->setStyleSheet(QStringLiteral("background-color: #000000"));
    comparison->setIconTopOffset(2);
    comparison->applyIconOffset();
    connect(comparison, &IconTextWidget::clicked, this, [this] { m_videoFilter.setComparisonMode(true); });
    connect(comparison, &IconTextWidget::released, this, [this] { m_videoFilter.setComparisonMode(false); });
    controlRow->addWidget(comparison);

    auto *reset = new IconTextWidget(QSize(16, 16), QStringLiteral("重置"),
                                     iconPath(QStringLiteral("reset.svg")), controls);
    reset->setObjectName(QStringLiteral("resetButton"));
    reset->setStyleSheet(QStringLiteral("background-color: #000000"));
    reset->setIconTopOffset(1);
    reset->applyIconOffset();
    connect(reset, &IconTextWidget::clicked, this, [this] { confirmReset(); });
    controlRow->addWidget(reset);
    column->addWidget(controls, 0);

    auto *displayFrame = new QFrame(display);
    displayFrame->setObjectName(QStringLiteral("displayFrame"));
    displayFrame->setFrameShape(QFrame::NoFrame);
    displayFrame->setStyleSheet(QStringLiteral("QFrame#displayFrame { border: none; background-color: #000000; }"));
    m_displayStack = new QStackedLayout(displayFrame);
    m_displayStack->setContentsMargins(0, 0, 0, 0);
    m_displayStack->setStackingMode(QStackedLayout::StackOne);
    m_videoShowWidget = new VideoShowWidget(displayFrame);
    m_videoShowWidget->setContentsMargins(0, 0, 0, 0);
    m_permissionPromptWidget = new CameraPermissionPromptWidget(displayFrame);
    m_permissionPromptWidget->setContentsMargins(0, 0, 0, 0);
    m_displayStack->addWidget(m_videoShowWidget);
    m_displayStack->addWidget(m_permissionPromptWidget);

    m_loading = new Loading(m_videoShowWidget);
    m_loading->setFixedSize(50, 60);
    m_loading->hide();

    connect(m_videoShowWidget, &VideoShowWidget::resized, this, [this] {
        if (m_loading && m_videoShowWidget)
            m_loading->move((m_videoShowWidget->width() - m_loading->width()) / 2,
                            (m_videoShowWidget->height() - m_loading->height()) / 2);
    });
    connect(m_permissionPromptWidget, &CameraPermissionPromptWidget::requestOpenSettings, this,
            [this] { openSettings(); });

    decideInitialDisplayMode();

    column->addWidget(displayFrame, 1);
    return display;
}

void MainWindow::decideInitialDisplayMode()
{
    const bool permitted = checkCameraPermission();
    qDebug() << "初始化时摄像头权限状态:" << (permitted ? "已授权" : "未授权");
    if (!permitted || m_cameraController.getCameraList().isEmpty()) {
        qDebug() << (permitted ? "摄像头权限已开启但未检测到摄像头设备，显示权限提示组件"
                               : "摄像头权限未开启，显示权限提示组件");
        m_displayStack->setCurrentIndex(1);
        m_isVideoDisplayMode = false;
        enablePictureUpload(permitted ? "初始化时已启用图片上传组件（无摄像头，支持图片美颜）"
                                      : "初始化时已启用图片上传组件（无权限，支持图片美颜）");
        setVideoMode(false);
        qDebug() << "已设置为图片模式，等待用户上传图片";
        return;
    }
    qDebug() << "摄像头权限已开启且检测到设备，显示视频页面";
    m_displayStack->setCurrentIndex(0);
    m_isVideoDisplayMode = true;
    enablePictureUpload("初始化时已启用图片上传组件");
    fillCameraSelector(m_cameraController.getCameraList());
    selectFirstCameraEntry();
    startCameraOrFallBack(0);
}

void MainWindow::initConnect()
{
    m_frameConnection = connect(m_cameraController.getWin32Camera(), &Win32Camera::signalCameraFrameAvailable,
                                &m_videoFilter, &VideoFilter::slotProcessWin32CameraFrame, Qt::DirectConnection);
    connect(&m_cameraController, &CameraController::signalUpdateCameraResolution, &m_videoFilter,
            &VideoFilter::slotUpdateResolution);
    connect(&m_videoFilter, &VideoFilter::signalRenderTexture, m_videoShowWidget,
            &VideoShowWidget::slotRenderTexture, Qt::DirectConnection);
    connect(m_videoShowWidget, &VideoShowWidget::signalSetOpenGLContext, this,
            [this](QOpenGLContext *context, QSurface *surface) {
                m_videoFilter.initializeFilter(context, surface);
                m_widgetCreater.applySelectedTemplate();
                // A picture chosen while the prompt hid the view waited for this.
                if (!m_videoFilter.isUseCameraRender()) {
                    if (m_currentPicture.isEmpty())
                        showDefaultPictureIfNone();
                    else if (m_videoFilter.loadImage(m_currentPicture))
                        qDebug() << "已加载图片:" << m_currentPicture;
                }
            });

    const QStringList cameras = m_cameraController.getCameraList();
    fillCameraSelector(cameras);
    if (cameras.isEmpty()) {
        qDebug() << "initConnect: 未检测到摄像头设备，设置为图片模式";
        setVideoMode(false);
    } else {
        selectFirstCameraEntry();
        // The initial decision may have just started this camera; starting
        // it again would only reopen the device and delay the first frame.
        if (m_runningCamera != cameras.first() || !m_cameraController.getWin32Camera()->isRunning())
            startCameraOrFallBack(0);
    }

    connectSelectors();

    connect(m_widgetCreater.networkManager(), &NetworkManager::downloadProgress, m_loading, &Loading::setProgress);
    connect(m_widgetCreater.networkManager(), &NetworkManager::downloadFinished, this,
            [this](bool success, const QString &) {
                if (m_loading) {
                    m_loading->stop();
                    m_loading->hide();
                }
                if (!success)
                    qDebug() << "特效下载失败";
            });
    connect(&m_widgetCreater, &WidgetCreater::requestShowLoading, this, [this] {
        if (!m_loading || !m_videoShowWidget)
            return;
        m_loading->setFixedSize(100, 100);
        m_loading->move((m_videoShowWidget->width() - 100) / 2, (m_videoShowWidget->height() - 100) / 2);
        m_loading->setProgress(0);
        m_loading->show();
        m_loading->raise();
        m_loading->start();
    });
}

void MainWindow::setVideoMode(bool camera)
{
    if (m_videoShowWidget)
        m_videoShowWidget->setPictureMode(!camera);
    m_videoFilter.setUseCameraRender(camera);
    if (!camera)
        showDefaultPictureIfNone();
}

void MainWindow::showDefaultPictureIfNone()
{
    // Picture mode with nothing chosen yet shows a demo portrait rather than
    // a black view; it waits until the pipeline has its OpenGL context.
    if (!m_currentPicture.isEmpty() || m_videoFilter.isUseCameraRender() || !m_videoShowWidget ||
        !m_videoShowWidget->context())
        return;
    const QString path = appPath(QString::fromLatin1(kDefaultPicture));
    if (m_videoFilter.loadImage(path)) {
        m_currentPicture = path;
        qDebug() << "已加载默认演示图片:" << path;
    }
}

bool MainWindow::startCameraOrFallBack(int cameraIndex)
{
    const QStringList cameras = m_cameraController.getCameraList();
    const QString name = cameras.value(cameraIndex);
    if (m_cameraController.startCamera(cameraIndex)) {
        m_runningCamera = name;
        setVideoMode(true);
        return true;
    }
    qDebug() << "摄像头启动失败，保持图片模式:" << name;
    enterPictureModeAfterFailedStart();
    return false;
}

void MainWindow::enterPictureModeAfterFailedStart()
{
    m_cameraController.stopCamera();
    m_runningCamera.clear();
    if (m_videoShowWidget)
        m_videoShowWidget->setPictureMode(true);
    m_videoFilter.setUseCameraRender(false);
    if (!m_currentPicture.isEmpty() && m_videoShowWidget && m_videoShowWidget->context())
        m_videoFilter.loadImage(m_currentPicture);
    else
        showDefaultPictureIfNone();
}

void MainWindow::loadPicture(const QString &path)
{
    m_cameraController.stopCamera();
    m_runningCamera.clear();
    if (!m_isVideoDisplayMode && m_displayStack) {
        qDebug() << "从权限提示模式切换到视频显示组件以显示图片";
        m_displayStack->setCurrentIndex(0);
        m_isVideoDisplayMode = true;
    }
    m_videoShowWidget->setPictureMode(true);
    if (!m_videoShowWidget->context()) {
        // The view was hidden behind the prompt since start-up and has no
        // OpenGL context yet; it loads the picture once it has one.
        m_videoFilter.setUseCameraRender(false);
        m_currentPicture = path;
        return;
    }
    if (m_videoFilter.loadImage(path)) {
        m_currentPicture = path;
        qDebug() << "已加载图片:" << path;
    } else {
        qDebug() << "图片加载失败:" << path;
    }
}

void MainWindow::activateCameraEntry(int selectorIndex)
{
    startCameraOrFallBack(selectorIndex - 1);
}

int MainWindow::displayPage() const
{
    return m_displayStack ? m_displayStack->currentIndex() : -1;
}

void MainWindow::checkCameraStatus()
{
    const bool permitted = checkCameraPermission();
    const QStringList cameras = m_cameraController.getCameraList();

    if (!m_isVideoDisplayMode && permitted && !cameras.isEmpty()) {
        qDebug() << "检测到权限已开启且有可用摄像头，从权限提示模式切换到视频显示模式";
        switchToVideoMode();
        m_cameraList = cameras;
        return;
    }

    if (m_isVideoDisplayMode && (!permitted || cameras.isEmpty())) {
        if (m_videoFilter.isUseCameraRender()) {
            qDebug() << "检测到权限被关闭或无可用摄像头，切换到权限提示模式";
            m_cameraController.stopCamera();
            m_runningCamera.clear();
            fillCameraSelector(m_cameraController.getCameraList());
            switchToPermissionPromptMode();
            enablePictureUpload("保持图片上传组件启用（支持无相机图片美颜）");
            setVideoMode(false);
            qDebug() << "已设置为图片模式，等待用户上传图片";
        } else {
            qDebug() << "当前是图片模式，保持视频显示组件，不切换到权限提示模式";
            m_cameraController.stopCamera();
            m_runningCamera.clear();
            fillCameraSelector(m_cameraController.getCameraList());
            enablePictureUpload(nullptr);
        }
        m_cameraList = cameras;
        return;
    }

    if (cameras == m_cameraList)
        return;
    qDebug() << "检测到摄像头设备列表变化，从" << m_cameraList.size() << "个设备变为" << cameras.size() << "个设备";
    qDebug() << "旧设备列表:" << listText(m_cameraList);
    qDebug() << "新设备列表:" << listText(cameras);
    fillCameraSelector(cameras);
    if (m_cameraComboBox)
        qDebug() << "已更新摄像头设备列表显示，设备数量:" << cameras.size();
    // After a refill the selector always points at a camera, so the camera
    // that was capturing is looked up by name: if it went, the first
    // remaining one takes over.
    const bool runningCameraGone =
        m_videoFilter.isUseCameraRender() && !m_runningCamera.isEmpty() && !cameras.contains(m_runningCamera);
    if (m_isVideoDisplayMode && permitted && !cameras.isEmpty() &&
        (!selectorIndexIsCamera() || runningCameraGone)) {
        selectFirstCameraEntry();
        if (startCameraOrFallBack(0))
            qDebug() << "已切换到第一个可用摄像头设备";
    }
    m_cameraList = cameras;
}

void MainWindow::switchToVideoMode()
{
    if (!m_displayStack) {
        qWarning() << "显示布局未初始化，无法切换到视频模式";
        return;
    }
    qDebug() << "切换到视频显示模式";
    if (m_permissionCheckTimer && !m_permissionCheckTimer->isActive()) {
        m_permissionCheckTimer->start();
        qDebug() << "已启动权限检查定时器，持续监控状态变化";
    }
    enablePictureUpload("已启用图片上传组件");
    m_displayStack->setCurrentIndex(0);
    m_isVideoDisplayMode = true;
    const QStringList cameras = m_cameraController.getCameraList();
    if (!cameras.isEmpty()) {
        fillCameraSelector(cameras);
        selectFirstCameraEntry();
        if (startCameraOrFallBack(0))
            qDebug() << "已启动默认摄像头设备";
    }
}

void MainWindow::switchToPermissionPromptMode()
{
    if (!m_displayStack) {
        qWarning() << "显示布局未初始化，无法切换到权限提示模式";
        return;
    }
    qDebug() << "切换到权限提示模式";
    m_cameraController.stopCamera();
    m_runningCamera.clear();
    if (m_cameraComboBox) {
        fillCameraSelector(m_cameraController.getCameraList());
        qDebug() << "已更新摄像头设备列表显示";
    }
    enablePictureUpload("保持图片上传组件启用（支持无相机图片美颜）");
    setVideoMode(false);
    m_displayStack->setCurrentIndex(1);
    m_isVideoDisplayMode = false;
    if (m_permissionCheckTimer && !m_permissionCheckTimer->isActive()) {
        m_permissionCheckTimer->start();
        qDebug() << "已启动权限检查定时器，每1秒检测一次摄像头权限和设备状态";
    }
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::ActivationChange) {
        qDebug() << "窗口状态改变，触发权限检查";
        QTimer::singleShot(500, this, [this] { checkCameraStatus(); });
    }
}

void MainWindow::openSettings()
{
    qDebug() << "用户点击前往设置按钮，准备打开系统设置页面";
    if (m_permissionCheckTimer)
        m_permissionCheckTimer->start();
    const QUrl guide = cameraGuideUrl();
    if (urlOpener()(guide)) {
        qDebug() << "已打开摄像头访问说明:" << guide.toString();
    } else {
        // Some openers refuse a fragment on a local file; the guide itself
        // is still the right page.
        QUrl file = guide;
        file.setFragment(QString());
        const bool opened = urlOpener()(file);
        qDebug() << "直接打开摄像头访问说明失败，尝试打开文件:" << file.toString()
                 << (opened ? "成功" : "失败");
    }
}

void MainWindow::confirmReset()
{
    ResetDialog dialog(QStringLiteral("重置当前美颜效果？"),
                       QStringLiteral("重置后所有效果将会恢复至默认状态，且重置操作不可撤回。"),
                       QStringLiteral("重置"), QStringLiteral("取消"), this);
    dialog.setAnchorWidget(m_videoShowWidget);
    if (dialog.exec() == QDialog::Accepted)
        m_widgetCreater.resetAllEffects();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    try {
        qDebug() << "开始关闭窗口，准备清理资源...";
        if (m_permissionCheckTimer) {
            m_permissionCheckTimer->stop();
            qDebug() << "已停止权限检查定时器";
        }
        try {
            stopCaptureAndWait();
            qDebug() << "已停止相机控制器";
        } catch (const std::exception &) {
            qWarning() << "停止相机控制器时出现异常";
        }
        try {
            m_videoFilter.stopProcessing();
            qDebug() << "已停止视频滤镜处理";
        } catch (const std::exception &) {
            qWarning() << "停止视频滤镜处理时出现异常";
        }
        try {
            if (m_loading) {
                m_loading->stop();
                m_loading->hide();
            }
        } catch (const std::exception &) {
            qWarning() << "隐藏加载组件时出现异常";
        }
        QCoreApplication::processEvents();
        QThread::msleep(50);
        event->accept();
        qDebug() << "资源清理完成，窗口即将关闭";
    } catch (...) {
        qCritical() << "窗口关闭过程中发生异常，强制关闭";
        event->accept();
    }
}

void MainWindow::toggleMaximized()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWindow::openSdkDocument()
{
    const QUrl url = sdkDocumentUrl();
    if (!QDesktopServices::openUrl(url))
        qWarning() << "Failed to open URL:" << url.toString();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (event->pos().y() > kDragStripHeight) {
        m_isDragging = false;
    } else {
        m_dragPosition = event->globalPos() - frameGeometry().topLeft();
        m_isDragging = true;
    }
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_isDragging)
        move(event->globalPos() - m_dragPosition);
    event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_isDragging = false;
        event->accept();
    }
}
