#include "VideoFilter.h"

#include "FrameFences.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <exception>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

// Makes a GUI-thread context current for a block and puts back what was
// current before (inside the display's initializeGL that is the display's own
// context, which must stay current). The display widget leaves its context
// current with its own framebuffer bound; engine calls run on the default
// framebuffer instead, so nothing the engine does to the bound framebuffer
// can reach the widget's.
class ContextScope
{
public:
    ContextScope(QOpenGLContext *context, QSurface *surface)
        : m_context(context)
    {
        if (!context)
            return;
        m_previous = QOpenGLContext::currentContext();
        if (m_previous == context) {
            m_ok = true;
        } else {
            m_previousSurface = m_previous ? m_previous->surface() : nullptr;
            m_ok = context->makeCurrent(surface);
            m_made = m_ok;
        }
        if (m_ok) {
            QOpenGLFunctions *gl = context->functions();
            gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_framebuffer);
            if (m_framebuffer != 0)
                gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        }
    }
    ~ContextScope() { release(); }
    ContextScope(const ContextScope &) = delete;
    ContextScope &operator=(const ContextScope &) = delete;

    bool ok() const { return m_ok; }
    void release()
    {
        if (m_ok && m_framebuffer != 0 && QOpenGLContext::currentContext() == m_context)
            m_context->functions()->glBindFramebuffer(GL_FRAMEBUFFER, GLuint(m_framebuffer));
        m_framebuffer = 0;
        if (!m_made)
            return;
        m_made = false;
        if (m_previous && m_previousSurface)
            m_previous->makeCurrent(m_previousSurface);
        else
            m_context->doneCurrent();
    }

private:
    QOpenGLContext *m_context = nullptr;
    QOpenGLContext *m_previous = nullptr;
    QSurface *m_previousSurface = nullptr;
    GLint m_framebuffer = 0;
    bool m_ok = false;
    bool m_made = false;
};

namespace {

qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

quint64 packSize(int width, int height)
{
    return (quint64(quint32(width)) << 32) | quint64(quint32(height));
}

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

enum class HeaderKind { Unknown, Jpeg, Png, Gif, Bmp, WebP };

HeaderKind headerKindOf(const QByteArray &h)
{
    const auto byte = [&](int i) { return uchar(h.at(i)); };
    if (h.size() >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
        return HeaderKind::Jpeg;
    if (h.size() >= 8 && h.startsWith(QByteArray::fromHex("89504e470d0a1a0a")))
        return HeaderKind::Png;
    if (h.startsWith("GIF8"))
        return HeaderKind::Gif;
    if (h.startsWith("BM"))
        return HeaderKind::Bmp;
    if (h.size() >= 15 && h.startsWith("RIFF") && h.mid(8, 4) == "WEBP")
        return HeaderKind::WebP;
    return HeaderKind::Unknown;
}

void setTextureParameters(QOpenGLFunctions *gl)
{
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// The queued resolution change crosses threads through Qt's event queue,
// whose lock ThreadSanitizer cannot see in an uninstrumented Qt; tell it.
#if defined(__SANITIZE_THREAD__)
void handOffRelease(const void *key)
{
    __tsan_release(const_cast<void *>(key));
}
void handOffAcquire(const void *key)
{
    __tsan_acquire(const_cast<void *>(key));
}
#else
void handOffRelease(const void *) {}
void handOffAcquire(const void *) {}
#endif

// Frames processed over the life of the program.
std::atomic<quint64> g_processedFrames{0};

} // namespace

VideoFilter::VideoFilter(QObject *parent)
    : QObject(parent)
    , m_processSize(packSize(1280, 720))
    , m_frameViewAnchor(std::make_shared<char>(0))
{
    m_imageUpdateTimer.setInterval(50);
    connect(&m_imageUpdateTimer, &QTimer::timeout, this, &VideoFilter::slotUpdateImageTimeout);
    m_frameProcessTimer.setInterval(16);

    m_framePool.setName(QStringLiteral("FrameDataPool"));
    m_framePool.setMinSize(5);
    m_framePool.setMaxSize(25);
    m_framePool.setTargetHitRate(0.9);
    m_framePool.setAdjustInterval(2000);
    m_framePool.setStatisticsLogging(true);

    m_performanceMonitor = new PerformanceMonitor(this);
    connect(m_performanceMonitor, &PerformanceMonitor::performanceChanged, this,
            &VideoFilter::onPerformanceLevelChanged);

    qDebug() << "VideoFilter initialized with optimizations: frame queue, adaptive object pool, performance monitoring";
    qDebug() << "=== Adaptive Pool Configuration ===";
    qDebug() << "FrameData Pool: Min" << int(m_framePool.minSize()) << "Max" << int(m_framePool.maxSize())
             << "TargetHitRate" << qRound(m_framePool.targetHitRate() * 100.0) << "%";
}

VideoFilter::~VideoFilter()
{
    m_imageUpdateTimer.stop();
    m_frameProcessTimer.stop();
    clearQueue();
    clearAllEffects();
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        if (m_context) {
            ContextScope scope(m_context, m_surface);
            if (scope.ok())
                destroyGLResources();
        }
        // Whatever is left cannot be deleted on the GPU any more.
        delete m_captureContext;
        m_captureContext = nullptr;
        delete m_captureSurface;
        m_captureSurface = nullptr;
    }
    qDebug() << "VideoFilter destroyed. Total dropped frames:" << m_droppedFrames.load();
    m_framePool.clear();
}

QSize VideoFilter::processSize() const
{
    const quint64 packed = m_processSize.load();
    return QSize(int(packed >> 32), int(packed & 0xFFFFFFFFu));
}

int VideoFilter::maxQueueDepth() const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_maxQueueDepth;
}

void VideoFilter::clearQueue()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_frameQueue.clear();
}

void VideoFilter::initializeFilter(QOpenGLContext *context, QSurface *surface)
{
    if (m_context && m_context != context) {
        // A new display context: what belonged to the old one goes first.
        std::lock_guard<std::mutex> lock(m_engineMutex);
        disconnect(m_context, &QOpenGLContext::aboutToBeDestroyed, this, nullptr);
        ContextScope scope(m_context, m_surface);
        if (scope.ok())
            destroyGLResources();
    }
    m_context = context;
    m_surface = surface;
    if (!context)
        return;

    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        ContextScope scope(context, surface);
        if (!scope.ok()) {
            qDebug() << "VideoFilter::initializeFilter - Failed to make OpenGL context current";
            return;
        }
        const QSize size = processSize();
        m_processController.initProcess(size.width(), size.height());
        initializeOpenGLFunctions();

        // A repeated initialisation on the same context replaces its textures.
        for (GLuint texture : {m_cameraTextureId.exchange(0), m_dstTextureId.exchange(0)}) {
            if (texture)
                glDeleteTextures(1, &texture);
        }
        GLuint textures[2] = {0, 0};
        glGenTextures(2, textures);
        for (GLuint texture : textures) {
            glBindTexture(GL_TEXTURE_2D, texture);
            setTextureParameters(this);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        m_cameraTextureId.store(textures[0]);
        m_dstTextureId.store(textures[1]);

        createCaptureContext();
        connect(context, &QOpenGLContext::aboutToBeDestroyed, this, &VideoFilter::onDisplayContextDestroyed,
                Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    }
    qDebug() << "VideoFilter initialized with OpenGL context";
}

void VideoFilter::createCaptureContext()
{
    delete m_captureContext;
    m_captureContext = nullptr;
    delete m_captureSurface;
    m_captureSurface = nullptr;
    m_captureContextFailureLogged.store(false);

    // The surface must be made on the GUI thread; the worker only makes the
    // context current on it.
    m_captureSurface = new QOffscreenSurface();
    m_captureSurface->setFormat(m_context->format());
    m_captureSurface->create();

    auto *context = new QOpenGLContext();
    context->setFormat(m_context->format());
    context->setShareContext(m_context);
    if (!m_captureSurface->isValid() || !context->create() || !QOpenGLContext::areSharing(context, m_context)) {
        qDebug() << "VideoFilter::initializeFilter - Failed to create the capture thread's shared OpenGL context";
        delete context;
        return;
    }
    // No thread affinity: the capture worker adopts it on its first frame.
    context->moveToThread(nullptr);
    m_captureContext = context;
}

void VideoFilter::destroyGLResources()
{
    const GLuint textures[2] = {m_cameraTextureId.exchange(0), m_dstTextureId.exchange(0)};
    for (GLuint texture : textures) {
        if (texture)
            glDeleteTextures(1, &texture);
    }
    // The engine's objects live in this share group: it goes with it.
    m_processController.releaseEngine();
    delete m_captureContext;
    m_captureContext = nullptr;
    delete m_captureSurface;
    m_captureSurface = nullptr;
}

void VideoFilter::onDisplayContextDestroyed()
{
    std::lock_guard<std::mutex> lock(m_engineMutex);
    {
        ContextScope scope(m_context, m_surface);
        if (scope.ok())
            destroyGLResources();
    }
    delete m_captureContext;
    m_captureContext = nullptr;
    delete m_captureSurface;
    m_captureSurface = nullptr;
    m_cameraTextureId.store(0);
    m_dstTextureId.store(0);
    m_context = nullptr;
    m_surface = nullptr;
    qDebug() << "VideoFilter - display OpenGL context destroyed, textures and engine released";
}

bool VideoFilter::beginFrameContext(bool onGuiThread)
{
    if (onGuiThread) {
        if (!m_context)
            return false;
        m_guiFrameScope = std::make_unique<ContextScope>(m_context, m_surface);
        if (!m_guiFrameScope->ok()) {
            m_guiFrameScope.reset();
            return false;
        }
        return true;
    }
    QOpenGLContext *context = m_captureContext;
    if (!context || !m_captureSurface)
        return false;
    QThread *current = QThread::currentThread();
    if (context->thread() != current) {
        if (!context->thread()) {
            context->moveToThread(current);
        } else {
            // Frames now come from another thread: give it a context of its
            // own in the same share group (the old one is current nowhere).
            auto *fresh = new QOpenGLContext();
            fresh->setFormat(context->format());
            fresh->setShareContext(context);
            if (!fresh->create()) {
                delete fresh;
                return false;
            }
            delete context;
            m_captureContext = context = fresh;
        }
    }
    return context->makeCurrent(m_captureSurface);
}

void VideoFilter::endFrameContext(bool onGuiThread, int shownTexture)
{
    if (onGuiThread) {
        m_guiFrameScope.reset();
        return;
    }
    QOpenGLContext *context = m_captureContext;
    if (!context)
        return;
    // The display draws the texture from its own context. Rather than block
    // this thread until the GPU is done, hand the frame's fence to the view,
    // which makes its own drawing wait for it (framefences). The flush
    // submits the commands and the fence, so the other context's wait can end.
    const QSurfaceFormat format = context->format();
    const bool hasSync = context->isOpenGLES() ? format.majorVersion() >= 3
                                               : format.version() >= qMakePair(3, 2);
    GLsync sync = nullptr;
    if (hasSync && shownTexture > 0) {
        QOpenGLExtraFunctions *gl = context->extraFunctions();
        sync = gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        gl->glFlush();
        framefences::post(context, GLuint(shownTexture), sync);
    }
    if (!sync)
        context->functions()->glFinish();
    context->doneCurrent();
}

void VideoFilter::slotProcessWin32CameraFrame(QSharedPointer<uchar> data, int width, int height,
                                              QVideoFrame::PixelFormat format)
{
    if (!m_useCameraRender.load())
        return;
    if (!data) {
        qDebug() << "VideoFilter::slotProcessWin32CameraFrame - Invalid frame data";
        return;
    }
    if (width < 1 || height < 1) {
        qDebug() << "VideoFilter::slotProcessWin32CameraFrame - Invalid resolution:" << width << "x" << height;
        return;
    }
    QSize size = processSize();
    if (size.width() != width || size.height() != height) {
        qDebug() << "VideoFilter::slotProcessWin32CameraFrame - Updating resolution from" << size.width() << "x"
                 << size.height() << "to" << width << "x" << height;
        setResolution(width, height);
        // On the main thread the change is already done; elsewhere the main
        // thread carries it out meanwhile.
        if (processSize() != QSize(width, height))
            QThread::msleep(100);
        size = processSize();
        if (size.width() != width || size.height() != height) {
            qDebug() << "VideoFilter::slotProcessWin32CameraFrame - Resolution change failed, dropping frame";
            return;
        }
    }
    if (m_cameraTextureId.load() == 0 || m_dstTextureId.load() == 0) {
        qDebug() << "VideoFilter::slotProcessWin32CameraFrame - OpenGL textures not ready, dropping frame";
        return;
    }

    const qint64 start = steadyNowNs();
    // A view of the capture buffer without a copy and without an ownership
    // of its own (it shares the anchor's control block, so it costs no
    // allocation); the record's sourceBuffer keeps the pixels alive.
    const std::shared_ptr<uchar> view(m_frameViewAnchor, data.data());
    const size_t viewSize = size_t(width) * size_t(height) * 4;

    std::shared_ptr<FrameData> frame = m_framePool.acquire();
    if (!frame) {
        qDebug() << "VideoFilter::slotProcessWin32CameraFrame - Failed to acquire FrameData from pool";
        return;
    }
    frame->data = view;
    frame->dataSize = viewSize;
    frame->sourceBuffer = data;
    frame->width = width;
    frame->height = height;
    frame->format = int(format);
    frame->timestamp = steadyNowNs();

    processSingleFrame(std::move(frame));

    const qint64 end = steadyNowNs();
    const qint64 memory = qint64(width) * qint64(height) * 4;
    m_performanceMonitor->recordFrame((end - start) / 1000000, memory);
    emit signalPerformanceStats(m_performanceMonitor->frameRate(), m_performanceMonitor->averageProcessingTime(),
                                memory, m_performanceMonitor->droppedFrames());

    const quint64 processed = ++g_processedFrames;
    if (processed % 100 == 0) {
        qDebug() << "Zero-copy optimization stats - Frame:" << processed << "RefCount:" << view.use_count()
                 << "BufferSize:" << viewSize << "bytes";
        const PoolStatistics stats = m_framePool.statistics();
        qDebug().noquote() << QStringLiteral("Pool Stats - FrameData: %1/%2 (hit: %3%)")
                                  .arg(stats.pooledCount)
                                  .arg(stats.currentSize)
                                  .arg(QString::number(stats.hitRate * 100.0, 'f', 1));
    }
}

void VideoFilter::processSingleFrame(std::shared_ptr<FrameData> frame)
{
    const auto releaseFrame = [this, &frame] {
        frame->clear();
        m_framePool.release(std::move(frame));
    };
    const int width = frame->width;
    const int height = frame->height;
    const auto format = QVideoFrame::PixelFormat(frame->format);

    int inputTexture = 0;
    int shownTexture = 0;
    {
        // Under the engine lock a resolution change is either wholly done or
        // not begun, so the size check below holds for the whole frame.
        std::lock_guard<std::mutex> lock(m_engineMutex);
        const QSize size = processSize();
        if (width != size.width() || height != size.height()) {
            qDebug() << "VideoFilter::processSingleFrame - Frame resolution mismatch!"
                     << "Frame:" << width << "x" << height << "Process:" << size.width() << "x" << size.height()
                     << "Dropping frame to prevent snow";
            releaseFrame();
            return;
        }
        const GLuint cameraTexture = m_cameraTextureId.load();
        const GLuint dstTexture = m_dstTextureId.load();
        if (cameraTexture == 0 || dstTexture == 0) {
            qDebug() << "VideoFilter::processSingleFrame - Invalid texture IDs!"
                     << "CameraTex:" << cameraTexture << "DstTex:" << dstTexture << "Dropping frame to prevent snow";
            releaseFrame();
            return;
        }
        const uchar *source = (frame->data && frame->dataSize != 0) ? frame->data.get() : frame->sourceBuffer.data();
        if (!source) {
            qDebug() << "VideoFilter::processSingleFrame - No valid data source!";
            releaseFrame();
            return;
        }

        const bool guiThread = onMainThread();
        if (!beginFrameContext(guiThread)) {
            if (!m_captureContextFailureLogged.exchange(true))
                qDebug() << "VideoFilter::processSingleFrame - No OpenGL context for this thread, dropping frames";
            releaseFrame();
            return;
        }
        inputTexture = m_processController.yuvToRgbTexture(source, width, height, format);
        m_lastInputTexture.store(inputTexture);
        if (inputTexture > 0) {
            if (m_comparisonMode.load()) {
                shownTexture = inputTexture;
            } else {
                const int outputTexture = m_processController.velvixProcess(inputTexture, width, height);
                m_lastOutputTexture.store(outputTexture);
                if (outputTexture <= 0) {
                    qDebug() << "VideoFilter::processSingleFrame - velvixProcess failed!"
                             << "InputTex:" << inputTexture << "OutputTex:" << outputTexture;
                    shownTexture = inputTexture;
                } else {
                    shownTexture = outputTexture;
                }
            }
        }
        endFrameContext(guiThread, inputTexture > 0 ? shownTexture : 0);
    }

    if (inputTexture > 0) {
        emit signalRenderTexture(shownTexture, width, height);
    } else {
        qDebug() << "VideoFilter::processSingleFrame - yuvToRgbTexture failed!"
                 << "Format:" << format << "Size:" << width << "x" << height << "TextureId:" << inputTexture;
    }
    releaseFrame();
}

void VideoFilter::slotUpdateResolution(QSize resolution)
{
    setResolution(resolution.width(), resolution.height());
}

void VideoFilter::setResolution(int width, int height)
{
    if (width <= 0 || height <= 0) {
        qDebug() << "VideoFilter::setResolution - Invalid resolution:" << width << "x" << height;
        return;
    }
    qDebug() << "VideoFilter::setResolution - Starting resolution change to" << width << "x" << height;
    if (processSize() == QSize(width, height)) {
        qDebug() << "VideoFilter::setResolution - Resolution unchanged, skipping";
        return;
    }
    if (onMainThread())
        performOpenGLResolutionChange(width, height);
    else {
        // By name, so the arguments travel inside Qt's own event.
        handOffRelease(this);
        QMetaObject::invokeMethod(this, "performOpenGLResolutionChange", Qt::QueuedConnection, Q_ARG(int, width),
                                  Q_ARG(int, height));
    }
}

void VideoFilter::performOpenGLResolutionChange(int width, int height)
{
    handOffAcquire(this);
    qDebug() << "VideoFilter::performOpenGLResolutionChange - Executing OpenGL operations in thread:"
             << QThread::currentThread();
    if (!m_context) {
        qDebug() << "VideoFilter::performOpenGLResolutionChange - OpenGL context is null";
        return;
    }
    const bool savedCameraMode = m_useCameraRender.exchange(false);
    try {
        clearQueue();
        qDebug() << "VideoFilter::performOpenGLResolutionChange - Cleared frame queue";
        QThread::msleep(50);

        std::lock_guard<std::mutex> lock(m_engineMutex);
        ContextScope scope(m_context, m_surface);
        if (!scope.ok()) {
            qDebug() << "VideoFilter::performOpenGLResolutionChange - Failed to make OpenGL context current";
            return;
        }
        // An error left by someone else must not fail this change.
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
        for (GLuint texture : {m_cameraTextureId.exchange(0), m_dstTextureId.exchange(0)}) {
            if (texture)
                glDeleteTextures(1, &texture);
        }
        GLuint textures[2] = {0, 0};
        glGenTextures(2, textures);
        const GLenum error = glGetError();
        if (error != GL_NO_ERROR || textures[0] == 0 || textures[1] == 0) {
            qDebug() << "VideoFilter::performOpenGLResolutionChange - Failed to generate textures, GL Error:" << error;
            return;
        }
        for (GLuint texture : textures) {
            glBindTexture(GL_TEXTURE_2D, texture);
            setTextureParameters(this);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        m_cameraTextureId.store(textures[0]);
        m_dstTextureId.store(textures[1]);

        m_processSize.store(packSize(width, height));
        // The engine resizes its output with the context still current.
        m_processController.setProcessResolution(width, height);
        scope.release();
        qDebug() << "VideoFilter::performOpenGLResolutionChange - Successfully updated to" << width << "x" << height
                 << "New texture IDs - Camera:" << textures[0] << "Dst:" << textures[1];
        m_useCameraRender.store(savedCameraMode);
    } catch (const std::exception &e) {
        qDebug() << "VideoFilter::performOpenGLResolutionChange - Exception occurred:" << e.what();
    }
}

bool VideoFilter::loadImage(const QString &path)
{
    m_useCameraRender.store(false);
    QImage image(path);

    if (image.isNull()) {
        const QFileInfo info(path);
        qDebug() << "Primary image loading failed:" << path;
        qDebug() << "File exists:" << info.exists();
        qDebug() << "File size:" << info.size() << "bytes";
        qDebug() << "File readable:" << info.isReadable();
        qDebug() << "Supported formats:" << QImageReader::supportedImageFormats();
        {
            QImageReader reader(path);
            qDebug() << "Image format:" << reader.format();
            qDebug() << "Image format detection error:" << reader.errorString();
            qDebug() << "Image size detection:" << reader.size();
            qDebug() << "Image is supported:" << reader.canRead();
        }

        HeaderKind kind = HeaderKind::Unknown;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray header = file.read(16);
            file.close();
            qDebug() << "File header (hex):" << header.toHex();
            kind = headerKindOf(header);
            switch (kind) {
            case HeaderKind::Jpeg: qDebug() << "Detected format: JPEG"; break;
            case HeaderKind::Png: qDebug() << "Detected format: PNG"; break;
            case HeaderKind::Gif: qDebug() << "Detected format: GIF"; break;
            case HeaderKind::Bmp: qDebug() << "Detected format: BMP"; break;
            case HeaderKind::WebP: qDebug() << "Detected format: WebP"; break;
            case HeaderKind::Unknown: qDebug() << "Unknown or unsupported image format"; break;
            }
        }

        qDebug() << "Trying alternative loading method with QImageReader...";
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        image = reader.read();
        if (!image.isNull()) {
            qDebug() << "Alternative loading method succeeded!";
        } else {
            qDebug() << "Alternative loading method also failed:" << reader.errorString();
            const char *forced = nullptr;
            switch (kind) {
            case HeaderKind::Jpeg:
                qDebug() << "Trying to load as JPEG format...";
                forced = "JPEG";
                break;
            case HeaderKind::Png:
                qDebug() << "Trying to load as PNG format...";
                forced = "PNG";
                break;
            case HeaderKind::WebP:
                qDebug() << "Trying to load as WebP format...";
                forced = "WEBP";
                break;
            default: break;
            }
            if (forced)
                image.load(path, forced);
            if (image.isNull()) {
                qDebug() << "All loading methods failed";
                return false;
            }
            qDebug() << "Format-specific loading succeeded!";
        }
    }

    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    m_image = image;
    const int width = m_image.width();
    const int height = m_image.height();
    m_processSize.store(packSize(width, height));
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        ContextScope scope(m_context, m_surface);
        m_processController.setProcessResolution(width, height);
    }

    const GLuint cameraTexture = m_cameraTextureId.load();
    if (cameraTexture == 0) {
        qDebug() << "camera TextureId error";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        ContextScope scope(m_context, m_surface);
        if (!scope.ok()) {
            qDebug() << "VideoFilter::loadImage - Failed to make OpenGL context current";
            return false;
        }
        glBindTexture(GL_TEXTURE_2D, cameraTexture);
        setTextureParameters(this);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, m_imagePixelFormat, GL_UNSIGNED_BYTE,
                     m_image.constBits());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    refreshImageFrame();
    if (!m_imageUpdateTimer.isActive())
        m_imageUpdateTimer.start();
    return true;
}

void VideoFilter::refreshImageFrame()
{
    if (m_useCameraRender.load())
        return;
    const GLuint cameraTexture = m_cameraTextureId.load();
    if (cameraTexture == 0)
        return;
    const QSize size = processSize();
    int output = 0;
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        ContextScope scope(m_context, m_surface);
        output = m_processController.velvixProcess(int(cameraTexture), size.width(), size.height());
        m_lastOutputTexture.store(output);
    }
    emit signalRenderTexture(output, size.width(), size.height());
}

void VideoFilter::slotUpdateImageTimeout()
{
    refreshImageFrame();
}

void VideoFilter::setComparisonMode(bool on)
{
    m_comparisonMode.store(on);
    if (m_useCameraRender.load())
        return;
    const QSize size = processSize();
    if (on) {
        if (m_imageUpdateTimer.isActive()) {
            m_imageUpdateTimer.stop();
            qDebug() << "Image update timer stopped for comparison mode";
        }
        emit signalRenderTexture(int(m_cameraTextureId.load()), size.width(), size.height());
    } else {
        if (!m_imageUpdateTimer.isActive()) {
            m_imageUpdateTimer.start();
            qDebug() << "Image update timer started";
        }
        emit signalRenderTexture(m_lastOutputTexture.load(), size.width(), size.height());
    }
}

void VideoFilter::setUseCameraRender(bool camera)
{
    m_useCameraRender.store(camera);
    if (camera) {
        if (m_imageUpdateTimer.isActive()) {
            m_imageUpdateTimer.stop();
            qDebug() << "VideoFilter::setUseCameraRender: 切换到相机模式，停止图片更新定时器";
        }
    } else {
        clearQueue();
    }
}

void VideoFilter::updateEffect(const char *effectName, int value, const std::string &resourcePath,
                               const std::map<std::string, std::string> &extraInfo)
{
    // Integer arithmetic truncates toward zero: 75 % of -50 is -37.
    if (m_qualityLevel < 100)
        value = value * m_qualityLevel / 100;
    std::lock_guard<std::mutex> lock(m_engineMutex);
    ContextScope scope(m_context, m_surface);
    m_processController.updateEffect(effectName, value, resourcePath, extraInfo);
}

void VideoFilter::clearAllEffects()
{
    std::lock_guard<std::mutex> lock(m_engineMutex);
    ContextScope scope(m_context, m_surface);
    m_processController.clearAllEffects();
}

void VideoFilter::stopProcessing()
{
    qDebug() << "开始停止视频滤镜处理...";
    m_imageUpdateTimer.stop();
    qDebug() << "已停止图片更新定时器";
    m_frameProcessTimer.stop();
    qDebug() << "已停止帧处理定时器";
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_frameQueue.clear();
        qDebug() << "已清空帧队列，剩余帧数:" << m_frameQueue.size();
    }
    clearAllEffects();
    qDebug() << "已清除所有美颜特效";
    qDebug() << "\n=== Final Adaptive Pool Statistics ===";
    m_framePool.printStatistics();
    m_framePool.clear();
    qDebug() << "自适应对象池已清理";
    qDebug() << "视频滤镜处理已停止";
}

void VideoFilter::onPerformanceLevelChanged(PerformanceMonitor::PerformanceLevel level)
{
    m_performanceLevel = level;
    int depth = 3;
    switch (level) {
    case PerformanceMonitor::High:
        m_qualityLevel = 100;
        depth = 3;
        break;
    case PerformanceMonitor::Medium:
        m_qualityLevel = 75;
        depth = 2;
        break;
    case PerformanceMonitor::Low:
        m_qualityLevel = 50;
        depth = 1;
        break;
    }
    setMaxQueueDepth(depth);
    qDebug() << "Performance level changed to:" << level << "Queue depth:" << depth << "Quality level:"
             << m_qualityLevel;
}

void VideoFilter::setMaxQueueDepth(int depth)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_maxQueueDepth = std::max(depth, 1);
    while (m_frameQueue.size() > m_maxQueueDepth) {
        m_frameQueue.removeFirst();
        ++m_droppedFrames;
    }
}

void VideoFilter::printPoolStatistics()
{
    qDebug() << "\n=== Adaptive Object Pool Statistics ===";
    qDebug() << "\n--- FrameData Pool ---";
    m_framePool.printStatistics();
    qDebug() << "\n--- Memory Usage Estimate ---";
    const PoolStatistics stats = m_framePool.statistics();
    const qint64 kb = qint64(stats.pooledCount) * 64 / 1024;
    qDebug() << "FrameData Pool Memory:" << kb << "KB";
    qDebug() << "Total Estimated Memory:" << kb << "KB";
    qDebug() << "==========================================\n";
}
