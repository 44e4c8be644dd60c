#include "CameraController.h"

#include "CameraFrameSurface.h"
#include "FallbackSettings.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QSemaphore>
#include <QThread>

namespace {

constexpr int kMaxPendingFallbackFrames = 2;
// How often startCamera repeats the stop while it waits for the worker.
constexpr int kSetCameraStopRetryMs = 20;

} // namespace

CameraController::CameraController(std::shared_ptr<CameraPlatform> platform)
    : QObject(nullptr), m_pendingFallbackFrames(std::make_shared<std::atomic<int>>(0))
{
    qRegisterMetaType<QSharedPointer<uchar>>("QSharedPointer<uchar>");
    qRegisterMetaType<std::wstring>("std::wstring");
    qRegisterMetaType<HRESULT>("HRESULT");
    qRegisterMetaType<QList<QSize>>("QList<QSize>");
    qRegisterMetaType<std::vector<std::wstring>>("std::vector<std::wstring>");
    qRegisterMetaType<QVideoFrame::PixelFormat>("QVideoFrame::PixelFormat");

    m_workerThread = new QThread(this);
    m_win32Camera = new Win32Camera(std::move(platform));
    m_win32Camera->moveToThread(m_workerThread);

    connect(this, &CameraController::signalStartWin32Camera, m_win32Camera, &Win32Camera::slotStartWin32Camera,
            Qt::QueuedConnection);
    connect(this, &CameraController::signalSetWin32CameraResolution, m_win32Camera, &Win32Camera::slotSetResolutions,
            Qt::QueuedConnection);
    connect(m_win32Camera, &Win32Camera::signalUpdataResolutions, this,
            [this](QList<QSize> resolutions, int selectResolutionIndex) {
                if (selectResolutionIndex >= 0 && selectResolutionIndex < resolutions.size())
                    emit signalUpdateCameraResolution(resolutions[selectResolutionIndex]);
                emit signalUpdateCameraResolutionButton(resolutions, selectResolutionIndex);
            });
    connect(m_workerThread, &QThread::started, m_win32Camera, &Win32Camera::slotInit, Qt::QueuedConnection);

    m_frameSurface = new CameraFrameSurface(this);
    connect(m_frameSurface, &CameraFrameSurface::signalCameraFrameAvailable, this,
            &CameraController::relayFallbackFrame, Qt::DirectConnection);

    m_workerThread->start(QThread::InheritPriority);
}

CameraController::~CameraController()
{
    if (m_camera) {
        m_camera->stop();
        delete m_camera;
        m_camera = nullptr;
    }

    // One 3000 ms budget covers releasing the device and ending the thread.
    QDeadlineTimer deadline(3000);
    if (m_win32Camera && m_workerThread) {
        m_win32Camera->slotStop();
        if (m_workerThread->isRunning()) {
            // Queued with a bounded wait instead of a blocking invocation: a
            // read that ignores the flush must not hang the shut-down.
            auto released = QSharedPointer<QSemaphore>::create(0);
            Win32Camera *worker = m_win32Camera;
            QMetaObject::invokeMethod(
                worker,
                [worker, released] {
                    worker->slotRelease();
                    released->release();
                },
                Qt::QueuedConnection);
            if (!released->tryAcquire(1, static_cast<int>(deadline.remainingTime())))
                qWarning() << "CameraController: capture worker did not release the camera in time";
        }
        // Deleted on its own thread as that thread's event loop winds down.
        m_win32Camera->deleteLater();
    }

    if (m_workerThread) {
        bool stopped = true;
        m_workerThread->quit();
        if (!m_workerThread->wait(deadline)) {
            qWarning() << "CameraController: worker thread did not finish, terminating it";
            m_workerThread->terminate();
            stopped = m_workerThread->wait(1000);
        }
        if (stopped) {
            delete m_workerThread;
        } else {
            // Deleting a running thread object aborts the process; leave it.
            qCritical() << "CameraController: worker thread still running after terminate";
            m_workerThread->setParent(nullptr);
        }
        m_workerThread = nullptr;
    }
    m_win32Camera = nullptr;
}

QStringList CameraController::getCameraList()
{
    m_cameraNames.clear();
    std::vector<std::wstring> names;
    m_win32Camera->enumerateCameras(names);
    for (const std::wstring &name : names)
        m_cameraNames.append(QString::fromStdWString(name));
    return m_cameraNames;
}

bool CameraController::startCamera(int index)
{
    if (index < 0 || index >= m_cameraNames.size() || !m_win32Camera)
        return false;

    m_win32Camera->slotStop();

    const std::wstring name = m_cameraNames.at(index).toStdWString();
    if (m_win32Camera->testCameraCompatibility(name)) {
        // A start or a resolution change queued just before this call may
        // begin its read loop after the stop above, and a plain blocking
        // invocation would then wait behind it for ever. Wait instead while
        // stopping whatever loop gets in the way.
        auto done = QSharedPointer<QSemaphore>::create(0);
        auto result = QSharedPointer<std::atomic<bool>>::create(false);
        Win32Camera *worker = m_win32Camera;
        QMetaObject::invokeMethod(
            worker,
            [worker, name, done, result] {
                result->store(worker->slotSetCamera(name));
                done->release();
            },
            Qt::QueuedConnection);
        while (!done->tryAcquire(1, kSetCameraStopRetryMs))
            m_win32Camera->slotStop();
        if (result->load()) {
            m_isWin32Mode = true;
            emit signalStartWin32Camera();
            qDebug() << "Successfully initialized camera using Win32 API (YUV mode)";
            return true;
        }
        qDebug() << "Win32 camera initialization failed, falling back to Qt Camera API";
        m_isWin32Mode = false;
        m_cameraInfos = QCameraInfo::availableCameras();
        if (m_cameraInfos.isEmpty()) {
            qDebug() << "No cameras found with Qt API either";
            return false;
        }
        qDebug() << "Found" << m_cameraInfos.size() << "cameras with Qt API, will try to use Qt camera";
    } else {
        qDebug() << "Camera compatibility test failed, falling back to Qt API";
        m_isWin32Mode = false;
        m_cameraInfos = QCameraInfo::availableCameras();
    }

    if (index >= m_cameraInfos.size())
        return false;

    if (m_camera) {
        m_camera->stop();
        delete m_camera;
        m_camera = nullptr;
    }
    m_camera = new QCamera(m_cameraInfos.at(index));
    // Frames of the fallback camera travel the same road as native ones.
    m_camera->setViewfinder(m_frameSurface);
    m_camera->start();

    const QList<QCameraViewfinderSettings> settings = m_camera->supportedViewfinderSettings();
    const FallbackSelection selection = selectFallbackSetting(settings);
    if (selection.settingIndex < 0) {
        // Nothing to choose from: keep the camera's own settings rather than
        // announcing a size no frame will have.
        qDebug() << "No preferred format found, trying to find best alternative";
        qDebug() << "CameraController: the Qt camera reports no viewfinder settings";
        return true;
    }
    const QCameraViewfinderSettings &chosen = settings.at(selection.settingIndex);
    if (!selection.logLine.startsWith(QLatin1String("Using preferred")))
        qDebug() << "No preferred format found, trying to find best alternative";
    qDebug().noquote() << selection.logLine;
    m_resolution = chosen.resolution();
    m_viewfinderSettings = chosen;

    qDebug() << "=== Camera Configuration ===";
    qDebug() << "Selected pixel format:" << m_viewfinderSettings.pixelFormat();
    qDebug() << "Selected resolution:" << m_resolution;
    qDebug() << "Frame rate:" << m_viewfinderSettings.maximumFrameRate();
    qDebug() << "Total available resolutions:" << selection.resolutions.size();
    qDebug() << "Total available settings:" << settings.size();

    m_camera->setViewfinderSettings(m_viewfinderSettings);
    emit signalUpdateCameraResolution(m_resolution);
    emit signalUpdateCameraResolutionButton(selection.resolutions, selection.selectedIndex);

    for (QVideoFrame::PixelFormat format : m_camera->supportedViewfinderPixelFormats())
        qDebug() << format;
    return true;
}

void CameraController::setResolution(QSize resolution)
{
    if (m_isWin32Mode) {
        if (resolution.isEmpty() || !m_win32Camera) {
            qDebug() << "CameraController::setResolution - Invalid resolution or Win32Camera null for Win32 mode";
            return;
        }
        qDebug() << "CameraController::setResolution - Setting Win32 camera resolution to" << resolution;
        m_win32Camera->slotStop();
        QThread::msleep(100);
        emit signalSetWin32CameraResolution(resolution);
        emit signalUpdateCameraResolution(resolution);
        qDebug() << "CameraController::setResolution - Win32 camera resolution change initiated";
        return;
    }

    if (resolution.isEmpty() || !m_camera) {
        qDebug() << "CameraController::setResolution - Invalid resolution or Qt camera null";
        return;
    }
    qDebug() << "CameraController::setResolution - Setting Qt camera resolution to" << resolution;
    if (resolution == m_resolution) {
        qDebug() << "CameraController::setResolution - Resolution unchanged, skipping";
        return;
    }
    m_camera->stop();
    QThread::msleep(100);
    m_resolution = resolution;
    const QList<QCameraViewfinderSettings> settings = m_camera->supportedViewfinderSettings();
    const QCameraViewfinderSettings best = bestSettingForResolution(settings, m_resolution);
    if (best.resolution() == resolution) {
        qDebug() << "CameraController: new camera settings=====================";
        qDebug() << "CameraController: frame rate range: " << best.minimumFrameRate() << best.maximumFrameRate();
        qDebug() << "CameraController: frame pixel format: " << best.pixelFormat();
        qDebug() << "CameraController: frame resolution: " << best.resolution();
        qDebug() << "CameraController: frame aspectradio: " << best.pixelAspectRatio();
        m_viewfinderSettings = best;
        m_camera->setViewfinderSettings(m_viewfinderSettings);
        QThread::msleep(50);
        m_camera->start();
        emit signalUpdateCameraResolution(m_resolution);
        qDebug() << "CameraController::setResolution - Qt camera resolution change completed";
        return;
    }
    qWarning() << "CameraController::setResolution - No matching settings found for resolution" << resolution;
    if (!settings.isEmpty()) {
        m_camera->setViewfinderSettings(settings.first());
        m_camera->start();
        qDebug() << "CameraController::setResolution - Used fallback settings";
    }
}

void CameraController::stopCamera()
{
    if (m_isWin32Mode) {
        if (m_win32Camera)
            m_win32Camera->slotStop();
    } else if (m_camera) {
        m_camera->stop();
    }
}

void CameraController::relayFallbackFrame(QSharedPointer<uchar> data, int width, int height,
                                          QVideoFrame::PixelFormat format)
{
    // Frames go to the pipeline on the capture worker thread, as native ones
    // do; a consumer that falls behind sees frames dropped, not queued up.
    // A toolkit camera left open after a native open keeps streaming; its
    // frames must not mix with the native ones.
    if (!m_win32Camera || m_isWin32Mode || m_pendingFallbackFrames->load() >= kMaxPendingFallbackFrames)
        return;
    m_pendingFallbackFrames->fetch_add(1);
    Win32Camera *worker = m_win32Camera;
    std::shared_ptr<std::atomic<int>> pending = m_pendingFallbackFrames;
    QMetaObject::invokeMethod(
        worker,
        [worker, pending, data, width, height, format] {
            pending->fetch_sub(1);
            emit worker->signalCameraFrameAvailable(data, width, height, format);
        },
        Qt::QueuedConnection);
}
