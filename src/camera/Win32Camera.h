#pragma once

#include "CameraStatus.h"
#include "platform/CameraPlatform.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QSize>
#include <QVideoFrame>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The native capture worker: lists capture devices under readable names,
// opens one by name, negotiates format, size and frame rate, and runs a
// blocking read loop that emits one signal per captured buffer. Lives on the
// controller's worker thread; enumerateCameras, testCameraCompatibility and
// slotStop are also called directly from the main thread.
class Win32Camera : public QObject
{
    Q_OBJECT
public:
    explicit Win32Camera(std::shared_ptr<CameraPlatform> platform = nullptr);
    ~Win32Camera() override;

    HRESULT enumerateCameras(std::vector<std::wstring> &names);
    bool testCameraCompatibility(const std::wstring &name);
    HRESULT configureCameraSetting(QVideoFrame::PixelFormat format, unsigned width, unsigned height, bool start);
    HRESULT captureLoop();

    bool isRunning() const { return m_isRunning.load(); }

signals:
    // One captured buffer, rows tightly packed in the layout of `format`.
    void signalCameraFrameAvailable(QSharedPointer<uchar> data, int width, int height,
                                    QVideoFrame::PixelFormat format);
    void signalUpdataResolutions(QList<QSize> resolutions, int selectResolutionIndex);

public slots:
    void slotInit();
    void slotStop();
    void slotStartWin32Camera();
    void slotRelease();
    bool slotSetCamera(std::wstring deviceName);
    void slotSetResolutions(QSize resolution);

private:
    void closeDevice();

    std::shared_ptr<CameraPlatform> m_platform;
    // Display name -> device identifier. Guarded: the main thread rebuilds it
    // while the worker may look names up.
    std::unordered_map<std::wstring, std::wstring> m_cameraNameMap;
    std::mutex m_nameMapMutex;
    // The open device and its reader; swapped on the worker thread, read by
    // slotStop from the main thread, hence the mutex.
    std::shared_ptr<CameraSource> m_source;
    std::shared_ptr<CameraReader> m_reader;
    std::mutex m_deviceMutex;
    unsigned m_frameRate = 30;
    unsigned m_preferredWidth = 1280;
    unsigned m_preferredHeight = 720;
    QVideoFrame::PixelFormat m_pixelFormat = QVideoFrame::Format_NV12;
    std::vector<std::pair<unsigned, unsigned>> m_resolutions;
    // In the order the device lists them (the last resort is the first one).
    std::vector<QVideoFrame::PixelFormat> m_supportedFormats;
    std::vector<unsigned> m_supportedFrameRates;
    std::atomic<bool> m_isRunning{false};
};

Q_DECLARE_METATYPE(std::wstring)
Q_DECLARE_METATYPE(std::vector<std::wstring>)
