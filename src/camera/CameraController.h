#pragma once

#include "CameraStatus.h"
#include "Win32Camera.h"

#include <QCamera>
#include <QCameraInfo>
#include <QCameraViewfinderSettings>
#include <QList>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;
class CameraFrameSurface;

// Front end through which the window lists cameras, opens one, changes its
// resolution and stops it. Opens cameras through the native worker (on its
// own thread) and falls back to the toolkit camera when that fails.
class CameraController : public QObject
{
    Q_OBJECT
public:
    explicit CameraController(std::shared_ptr<CameraPlatform> platform = nullptr);
    ~CameraController() override;

    QStringList getCameraList();
    bool startCamera(int index);
    void setResolution(QSize resolution);
    void stopCamera();

    // The worker whose signalCameraFrameAvailable carries every frame (the
    // fallback camera's frames are re-emitted through it as well).
    Win32Camera *getWin32Camera() const { return m_win32Camera; }
    bool isWin32Mode() const { return m_isWin32Mode; }

signals:
    void signalUpdateCameraResolution(QSize resolution);
    void signalUpdateCameraResolutionButton(QList<QSize> resolutions, int useIndex);
    void signalStartWin32Camera();
    void signalSetWin32CameraResolution(QSize resolution);

private:
    void relayFallbackFrame(QSharedPointer<uchar> data, int width, int height, QVideoFrame::PixelFormat format);

    QCamera *m_camera = nullptr;
    QList<QCameraInfo> m_cameraInfos;
    QStringList m_cameraNames;
    QSize m_resolution;
    QCameraViewfinderSettings m_viewfinderSettings;
    Win32Camera *m_win32Camera = nullptr;
    QThread *m_workerThread = nullptr;
    bool m_isWin32Mode = false;
    CameraFrameSurface *m_frameSurface = nullptr;
    // Fallback frames queued to the worker thread and not yet delivered.
    std::shared_ptr<std::atomic<int>> m_pendingFallbackFrames;
};
