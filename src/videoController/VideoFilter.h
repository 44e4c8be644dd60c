#pragma once

#include "AdaptiveObjectPool.h"
#include "FrameData.h"
#include "PerformanceMonitor.h"
#include "ProcessController.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QSharedPointer>
#include <QSize>
#include <QTimer>
#include <QVideoFrame>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class ContextScope;
class QOffscreenSurface;
class QOpenGLContext;
class QSurface;

// Sits between the camera and the display. Camera frames arrive on the
// capture worker thread (direct connection), are converted to a texture and
// passed through the effect engine there, and the resulting texture is handed
// to the display. Without a camera it runs picture mode: a still picture is
// uploaded once and re-processed every 50 ms so that effect changes show.
//
// Threads: the capture worker gets its own OpenGL context, shared with the
// display's and made current on first use; every engine call, from either
// thread, runs under one engine lock. Fields read on the worker and written
// on the GUI thread are atomic.
class VideoFilter : public QObject, protected QOpenGLFunctions
{
    Q_OBJECT
public:
    explicit VideoFilter(QObject *parent = nullptr);
    ~VideoFilter() override;

    void setResolution(int width, int height);
    Q_INVOKABLE void performOpenGLResolutionChange(int width, int height);

    bool loadImage(const QString &path);
    void refreshImageFrame();
    void setComparisonMode(bool on);
    void setUseCameraRender(bool camera);
    bool isUseCameraRender() const { return m_useCameraRender.load(); }

    void updateEffect(const char *effectName, int value, const std::string &resourcePath,
                      const std::map<std::string, std::string> &extraInfo);
    void clearAllEffects();
    void stopProcessing();

    void setMaxQueueDepth(int depth);
    void printPoolStatistics();

    // Read access for the window, the panel and tests.
    ProcessController &processController() { return m_processController; }
    AdaptiveObjectPool<FrameData> &framePool() { return m_framePool; }
    PerformanceMonitor *performanceMonitor() const { return m_performanceMonitor; }
    QSize processSize() const;
    GLuint cameraTexture() const { return m_cameraTextureId.load(); }
    GLuint destinationTexture() const { return m_dstTextureId.load(); }
    int lastInputTexture() const { return m_lastInputTexture.load(); }
    int lastOutputTexture() const { return m_lastOutputTexture.load(); }
    bool isComparisonMode() const { return m_comparisonMode.load(); }
    bool isImageTimerActive() const { return m_imageUpdateTimer.isActive(); }
    int qualityLevel() const { return m_qualityLevel; }
    PerformanceMonitor::PerformanceLevel performanceLevel() const { return m_performanceLevel; }
    int maxQueueDepth() const;
    int droppedFrames() const { return m_droppedFrames.load(); }
    QOpenGLContext *captureContext() const { return m_captureContext; }

signals:
    void signalRenderTexture(int textureId, int width, int height);
    void signalPerformanceStats(double fps, double processingTime, qlonglong memoryUsage, int droppedFrames);

public slots:
    void slotProcessWin32CameraFrame(QSharedPointer<uchar> data, int width, int height,
                                     QVideoFrame::PixelFormat format);
    void slotUpdateResolution(QSize resolution);
    void initializeFilter(QOpenGLContext *context, QSurface *surface);
    void slotUpdateImageTimeout();
    void onPerformanceLevelChanged(PerformanceMonitor::PerformanceLevel level);

private:
    void processSingleFrame(std::shared_ptr<FrameData> frame);
    // Makes a context current for the frame on this thread; false when none.
    bool beginFrameContext(bool onGuiThread);
    // Hands the frame's fence to the view (no CPU wait) and releases the
    // capture context; `shownTexture` is the texture the view will draw.
    void endFrameContext(bool onGuiThread, int shownTexture);
    void createCaptureContext();
    void destroyGLResources();
    void onDisplayContextDestroyed();
    void clearQueue();

    // Destroyed last, so the engine outlives everything that may call it.
    ProcessController m_processController;

    QImage m_image;
    std::atomic<GLuint> m_cameraTextureId{0};
    std::atomic<GLuint> m_dstTextureId{0};
    std::atomic<int> m_lastInputTexture{0};
    std::atomic<int> m_lastOutputTexture{0};

    // The display's context (gone when the display widget goes) and surface.
    QPointer<QOpenGLContext> m_context;
    QSurface *m_surface = nullptr;
    // The capture worker's context, shared with the display's, and the
    // offscreen surface it is made current on (created on the GUI thread).
    QOpenGLContext *m_captureContext = nullptr;
    QOffscreenSurface *m_captureSurface = nullptr;
    std::atomic<bool> m_captureContextFailureLogged{false};
    // Frames delivered on the GUI thread (a fallback camera) use the display
    // context; this holds it for the frame.
    std::unique_ptr<ContextScope> m_guiFrameScope;

    // Processing size, width in the high half: one atomic, so a reader never
    // sees the width of one size with the height of another.
    std::atomic<quint64> m_processSize;
    GLenum m_imagePixelFormat = 0x80E1; // GL_BGRA

    std::atomic<bool> m_comparisonMode{false};
    std::atomic<bool> m_useCameraRender{true};

    QTimer m_imageUpdateTimer;
    QTimer m_frameProcessTimer;

    // std::mutex rather than QMutex: ThreadSanitizer can follow it.
    mutable std::mutex m_queueMutex;
    QList<std::shared_ptr<FrameData>> m_frameQueue;
    int m_maxQueueDepth = 3;
    std::atomic<int> m_droppedFrames{0};

    AdaptiveObjectPool<FrameData> m_framePool;
    PerformanceMonitor *m_performanceMonitor = nullptr;
    PerformanceMonitor::PerformanceLevel m_performanceLevel = PerformanceMonitor::High;
    int m_qualityLevel = 100;

    // Serialises every engine call and every use of the textures between
    // the capture worker thread and the GUI thread.
    std::mutex m_engineMutex;
    // Keeps the non-owning pixel views of the frames from needing a control
    // block of their own (which would be an allocation per frame).
    std::shared_ptr<void> m_frameViewAnchor;
};
