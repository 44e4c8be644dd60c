#pragma once

#include "CameraController.h"
#include "VideoFilter.h"
#include "WidgetCreater.h"

#include <QMainWindow>
#include <QPoint>
#include <QStringList>

#include <functional>

class CameraComboBox;
class CameraPermissionPromptWidget;
class IconTextWidget;
class ImageUploadComboBox;
class Loading;
class QFrame;
class QPushButton;
class QStackedLayout;
class QTimer;
class QUrl;
class SideBarWidget;
class StackedWidget;
class VideoShowWidget;

namespace Ui {
class MainWindow;
}

// The single frameless top-level window: its own top bar over the body row
// (display column, side bar, panel stack). Owns the camera controller, the
// frame pipeline and the panel builder, wires them together, keeps the
// display mode (video, picture, camera prompt) in step with the cameras, and
// shuts everything down in an order that leaves no frame in flight.
class MainWindow : public QMainWindow
{
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void openSdkDocument();

    // Address of the engine integration guide opened by the top bar link.
    static QUrl sdkDocumentUrl();
    // The camera-access section of the camera guide shipped beside the program.
    static QUrl cameraGuideUrl();
    // Opens URLs with the desktop's opener; tests replace it. Returns success.
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);

    // Pixels from the window's top edge that can drag the frameless window.
    static constexpr int kDragStripHeight = 56;
    // Bounded wait for the capture worker to finish the frame it is on.
    static constexpr int kCaptureIdleWaitMs = 3000;

    // What the picture selector and the camera selector ask for; public so
    // that tests can drive the same paths the selectors do.
    void loadPicture(const QString &path);
    void activateCameraEntry(int selectorIndex);
    void openSettings();
    void confirmReset();

    bool isDragging() const { return m_isDragging; }
    bool isVideoDisplayMode() const { return m_isVideoDisplayMode; }
    int displayPage() const;
    QString currentPicture() const { return m_currentPicture; }
    QString runningCamera() const { return m_runningCamera; }
    VideoShowWidget *videoShowWidget() const { return m_videoShowWidget; }
    CameraPermissionPromptWidget *permissionPromptWidget() const { return m_permissionPromptWidget; }
    CameraComboBox *cameraComboBox() const { return m_cameraComboBox; }
    ImageUploadComboBox *imageUploadComboBox() const { return m_imageUploadComboBox; }
    CameraController &cameraController() { return m_cameraController; }
    VideoFilter &videoFilter() { return m_videoFilter; }
    WidgetCreater &widgetCreater() { return m_widgetCreater; }
    Loading *loading() const { return m_loading; }
    QTimer *permissionCheckTimer() const { return m_permissionCheckTimer; }

    void checkCameraStatus();
    void switchToVideoMode();
    void switchToPermissionPromptMode();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QFrame *createTopBar();
    QFrame *createMainArea();
    SideBarWidget *createSideBar();
    QFrame *createDisplayArea();
    void decideInitialDisplayMode();
    void initConnect();
    void toggleMaximized();

    // Starts the camera behind selector entry 1 + cameraIndex and tracks it;
    // on failure returns to picture mode with the current picture.
    bool startCameraOrFallBack(int cameraIndex);
    void enterPictureModeAfterFailedStart();
    void setVideoMode(bool camera);
    void showDefaultPictureIfNone();
    // Stops capture and waits until the worker has left the frame road, so
    // nothing it reaches through direct connections can be freed under it.
    bool stopCaptureAndWait();

    // The selectors' side of the display-mode logic.
    QWidget *createCameraSelector(QWidget *parent);
    QWidget *createPictureSelector(QWidget *parent);
    void connectSelectors();
    void fillCameraSelector(const QStringList &names);
    void selectFirstCameraEntry();
    bool selectorIndexIsCamera() const;
    int selectorCameraCount() const;
    void enablePictureUpload(const char *logLine);

    Ui::MainWindow *ui;
    CameraController m_cameraController;
    VideoFilter m_videoFilter;
    VideoShowWidget *m_videoShowWidget = nullptr;
    CameraComboBox *m_cameraComboBox = nullptr;
    ImageUploadComboBox *m_imageUploadComboBox = nullptr;
    WidgetCreater m_widgetCreater;
    QPoint m_dragPosition;
    bool m_isDragging = false;
    Loading *m_loading = nullptr;
    CameraPermissionPromptWidget *m_permissionPromptWidget = nullptr;
    QTimer *m_permissionCheckTimer = nullptr;
    QStringList m_cameraList;
    QStackedLayout *m_displayStack = nullptr;
    bool m_isVideoDisplayMode = false;
    SideBarWidget *m_sideBar = nullptr;
    StackedWidget *m_panelStack = nullptr;
    // Name of the camera capturing now (empty when none), to notice it going.
    QString m_runningCamera;
    // The picture shown in picture mode, to come back to after a failed start.
    QString m_currentPicture;
    QMetaObject::Connection m_frameConnection;
};
