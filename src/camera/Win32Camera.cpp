#include "Win32Camera.h"

#include "FrameLayout.h"
#include "PixelFourcc.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

const std::unordered_set<int> s_preferredFormats = {
    QVideoFrame::Format_NV12,   QVideoFrame::Format_YUV420P, QVideoFrame::Format_YUYV,
    QVideoFrame::Format_RGB32,  QVideoFrame::Format_ARGB32,  QVideoFrame::Format_RGB24,
};

const QVideoFrame::PixelFormat kFallbackOrder[] = {
    QVideoFrame::Format_NV12,  QVideoFrame::Format_YUV420P, QVideoFrame::Format_YUYV,
    QVideoFrame::Format_RGB32, QVideoFrame::Format_RGB24,   QVideoFrame::Format_ARGB32,
};

QString formatLine(const CameraMediaType &t)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "Format: %s, Resolution: %dx%d, FrameRate: %d/%d fps",
                  fourccLogName(t.subtype), static_cast<int>(t.width), static_cast<int>(t.height),
                  static_cast<int>(t.rateNumerator), static_cast<int>(t.rateDenominator));
    return QString::fromLatin1(buffer);
}

QSharedPointer<uchar> allocateFrame(size_t bytes)
{
    return QSharedPointer<uchar>(new uchar[std::max<size_t>(bytes, 1)], [](uchar *p) { delete[] p; });
}

// One buffer into a new array under the frame contract: byte for byte when
// it is already tightly packed, row by row when the device pads its rows.
// A buffer shorter than its frame is zero-filled to full size, so consumers
// that read width x height never run past the end.
QSharedPointer<uchar> copyFrame(const CameraBufferView &view, QVideoFrame::PixelFormat format, int width,
                                int height, bool *wasShort)
{
    const size_t packed = packedFrameSize(format, width, height);
    *wasShort = false;
    if (packed != 0) {
        const std::vector<PlaneLayout> planes = packedPlanes(format, width, height);
        if (view.bytesPerLine > planes[0].rowBytes) {
            const auto src = planesOfContiguousBuffer(format, width, height, view.bytesPerLine, view.data, view.length);
            if (!src.empty()) {
                QSharedPointer<uchar> data = allocateFrame(packed);
                copyPlanesPacked(format, width, height, src, data.data());
                return data;
            }
        }
        if (view.length < packed) {
            *wasShort = true;
            QSharedPointer<uchar> data = allocateFrame(packed);
            if (view.length)
                std::memcpy(data.data(), view.data, view.length);
            std::memset(data.data() + view.length, 0, packed - view.length);
            return data;
        }
    }
    QSharedPointer<uchar> data = allocateFrame(view.length);
    if (view.length)
        std::memcpy(data.data(), view.data, view.length);
    return data;
}

} // namespace

Win32Camera::Win32Camera(std::shared_ptr<CameraPlatform> platform)
    : QObject(nullptr), m_platform(platform ? std::move(platform) : activeCameraPlatform())
{
}

Win32Camera::~Win32Camera()
{
    m_isRunning = false;
    closeDevice();
}

HRESULT Win32Camera::enumerateCameras(std::vector<std::wstring> &names)
{
    std::lock_guard<std::mutex> lock(m_nameMapMutex);
    m_cameraNameMap.clear();
    std::vector<CameraDeviceInfo> devices;
    const HRESULT hr = m_platform->enumerateDevices(&devices);
    if (hrFailed(hr))
        return hr;
    for (const CameraDeviceInfo &device : devices) {
        const std::wstring &link = device.symbolicLink;
        std::wstring vendor, product;
        const size_t vid = link.find(L"vid_");
        const size_t pid = link.find(L"&pid_");
        if (vid != std::wstring::npos && pid != std::wstring::npos) {
            vendor = link.substr(vid + 4, 4);
            product = link.substr(pid + 5, 4);
        }
        const std::wstring displayName = device.friendlyName + L"(" + vendor + L":" + product + L")";
        names.push_back(displayName);
        // Equal display names keep the later device, so both entries open it.
        m_cameraNameMap[displayName] = link;
    }
    return S_OK;
}

bool Win32Camera::testCameraCompatibility(const std::wstring &name)
{
    qDebug() << "Testing camera compatibility for:" << QString::fromStdWString(name);
    std::wstring link;
    {
        std::lock_guard<std::mutex> lock(m_nameMapMutex);
        const auto it = m_cameraNameMap.find(name);
        if (it == m_cameraNameMap.end()) {
            qDebug() << "Device not found in camera name map";
            return false;
        }
        link = it->second;
    }
    std::shared_ptr<CameraSource> source;
    if (hrFailed(m_platform->createSource(link, &source)) || !source) {
        qDebug() << "Failed to create device source for compatibility test";
        return false;
    }
    std::shared_ptr<CameraReader> reader;
    if (hrFailed(source->createReader(&reader)) || !reader) {
        qDebug() << "Failed to create source reader for compatibility test";
        return false;
    }
    CameraMediaType type;
    if (hrSucceeded(reader->nativeMediaType(0, &type))) {
        qDebug() << "Camera compatibility test PASSED";
        return true;
    }
    qDebug() << "Camera compatibility test FAILED - no media types available";
    return false;
}

void Win32Camera::closeDevice()
{
    std::shared_ptr<CameraSource> source;
    std::shared_ptr<CameraReader> reader;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        source = std::move(m_source);
        reader = std::move(m_reader);
        m_source.reset();
        m_reader.reset();
    }
    if (source) {
        if (reader)
            reader->flush();
        source->shutdown();
    }
}

void Win32Camera::slotInit()
{
    // The capture layer needs no per-thread runtime on this platform.
    qDebug() << "Win32Camera::slotInit thread:" << QThread::currentThreadId();
}

void Win32Camera::slotStop()
{
    m_isRunning.exchange(false);
    std::shared_ptr<CameraReader> reader;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        reader = m_reader;
    }
    if (reader)
        reader->flush();
}

void Win32Camera::slotStartWin32Camera()
{
    captureLoop();
}

void Win32Camera::slotRelease()
{
    m_isRunning = false;
    closeDevice();
}

bool Win32Camera::slotSetCamera(std::wstring deviceName)
{
    qDebug() << "Win32Camera::slotSetCamera thread:" << QThread::currentThreadId();
    m_isRunning = false;
    closeDevice();

    std::wstring link;
    {
        std::lock_guard<std::mutex> lock(m_nameMapMutex);
        const auto it = m_cameraNameMap.find(deviceName);
        if (it == m_cameraNameMap.end()) {
            qDebug() << "not find cameraName: " << QString::fromStdWString(deviceName);
            return false;
        }
        link = it->second;
    }

    std::shared_ptr<CameraSource> source;
    HRESULT hr = m_platform->createSource(link, &source);
    if (hrFailed(hr) || !source)
        return false;
    std::shared_ptr<CameraReader> reader;
    hr = source->createReader(&reader);
    if (hrFailed(hr) || !reader) {
        source->shutdown();
        return false;
    }

    m_resolutions.clear();
    m_supportedFormats.clear();
    m_supportedFrameRates.clear();
    bool preferredSeen = false;
    std::unordered_set<uint32_t> seenAreas;

    for (uint32_t i = 0;; ++i) {
        CameraMediaType type;
        if (hrFailed(reader->nativeMediaType(i, &type)))
            break;
        qDebug().noquote() << formatLine(type);
        const uint32_t area = type.width * type.height;
        if (seenAreas.insert(area).second)
            m_resolutions.emplace_back(type.width, type.height);
        const QVideoFrame::PixelFormat format = pixelFormatFromFourcc(type.subtype);
        if (std::find(m_supportedFormats.begin(), m_supportedFormats.end(), format) == m_supportedFormats.end()) {
            m_supportedFormats.push_back(format);
            if (!preferredSeen && s_preferredFormats.count(format))
                preferredSeen = true;
        }
        if (type.rateDenominator == 1
            && std::find(m_supportedFrameRates.begin(), m_supportedFrameRates.end(), type.rateNumerator)
                == m_supportedFrameRates.end())
            m_supportedFrameRates.push_back(type.rateNumerator);
    }

    if (!preferredSeen) {
        qDebug() << "MediaFoundation: No preferred formats available, but will try to use any supported format";
        if (m_supportedFormats.empty()) {
            qDebug() << "MediaFoundation: No supported pixel formats found at all";
            source->shutdown();
            return false;
        }
        qDebug() << "MediaFoundation: Found" << m_supportedFormats.size() << "supported formats, will use the first one";
    }

    std::stable_sort(m_resolutions.begin(), m_resolutions.end(), [](const auto &a, const auto &b) {
        return static_cast<uint32_t>(a.first * a.second) > static_cast<uint32_t>(b.first * b.second);
    });

    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        m_reader = reader;
        m_source = source;
    }

    QList<QSize> sizes;
    int selected = 0;
    for (size_t i = 0; i < m_resolutions.size(); ++i) {
        sizes.append(QSize(static_cast<int>(m_resolutions[i].first), static_cast<int>(m_resolutions[i].second)));
        if (m_resolutions[i].first == m_preferredWidth && m_resolutions[i].second == m_preferredHeight)
            selected = static_cast<int>(i);
    }
    const auto &chosen = m_resolutions[static_cast<size_t>(selected)];
    configureCameraSetting(m_pixelFormat, chosen.first, chosen.second, false);
    emit signalUpdataResolutions(sizes, selected);
    return true;
}

void Win32Camera::slotSetResolutions(QSize resolution)
{
    configureCameraSetting(m_pixelFormat, static_cast<unsigned>(resolution.width()),
                           static_cast<unsigned>(resolution.height()), true);
}

HRESULT Win32Camera::configureCameraSetting(QVideoFrame::PixelFormat format, unsigned width, unsigned height, bool start)
{
    std::shared_ptr<CameraReader> reader;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        reader = m_reader;
    }
    if (!reader || m_supportedFormats.empty()) {
        qDebug() << "MediaFoundation: configureCameraSetting failed - invalid reader or no supported formats";
        return E_FAIL;
    }
    qDebug() << "MediaFoundation: Configuring camera setting -" << width << "x" << height << "Format:" << format
             << "Start:" << start;

    if (m_isRunning) {
        qDebug() << "MediaFoundation: Stopping current capture for resolution change";
        m_isRunning = false;
        QThread::msleep(100);
        reader->flush();
    }

    const auto supported = [this](QVideoFrame::PixelFormat f) {
        return std::find(m_supportedFormats.begin(), m_supportedFormats.end(), f) != m_supportedFormats.end();
    };
    if (!supported(format)) {
        qDebug() << "MediaFoundation: requested format not supported, trying fallback formats";
        bool found = false;
        for (QVideoFrame::PixelFormat candidate : kFallbackOrder) {
            if (supported(candidate)) {
                format = candidate;
                found = true;
                qDebug() << "MediaFoundation: using fallback format:" << format;
                break;
            }
        }
        if (!found) {
            format = m_supportedFormats.front();
            qDebug() << "MediaFoundation: using first available format:" << format;
        }
    }

    CameraMediaType type;
    type.subtype = fourccFromPixelFormat(format);
    type.width = width;
    type.height = height;

    unsigned rate = m_frameRate;
    if (rate < 5) {
        rate = 5;
    } else {
        const auto offered = [this](unsigned r) {
            return std::find(m_supportedFrameRates.begin(), m_supportedFrameRates.end(), r) != m_supportedFrameRates.end();
        };
        while (rate >= 5 && !offered(rate))
            rate -= 5;
        if (rate < 5)
            rate = 5;
    }
    type.rateNumerator = rate;
    type.rateDenominator = 1;

    HRESULT hr = reader->setCurrentMediaType(type);
    if (hrFailed(hr)) {
        qDebug() << "MediaFoundation: set setMediaType failed";
        return hr;
    }
    qDebug() << "MediaFoundation: Successfully configured camera setting -" << width << "x" << height
             << "Format:" << format << "FPS:" << rate;

    if (start) {
        QThread::msleep(50);
        hr = captureLoop();
    }
    return hr;
}

HRESULT Win32Camera::captureLoop()
{
    qDebug() << "Win32Camera::captureLoop thread:" << QThread::currentThreadId();
    std::shared_ptr<CameraReader> reader;
    std::shared_ptr<CameraSource> source;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        reader = m_reader;
        source = m_source;
    }
    if (!reader || !source)
        return E_FAIL;

    m_isRunning = true;
    // Whatever ends the loop, the worker is no longer capturing afterwards.
    struct RunningReset
    {
        std::atomic<bool> &flag;
        ~RunningReset() { flag = false; }
    } runningReset{m_isRunning};

    CameraMediaType type;
    HRESULT hr = reader->currentMediaType(&type);
    if (hrFailed(hr)) {
        qDebug() << "MediaFoundation: get currentMediaType failed";
        return hr;
    }
    qDebug().noquote() << formatLine(type);
    const QVideoFrame::PixelFormat format = pixelFormatFromFourcc(type.subtype);
    const int width = static_cast<int>(type.width);
    const int height = static_cast<int>(type.height);
    bool shortReported = false;

    while (m_isRunning) {
        std::unique_ptr<CameraSample> sample;
        hr = reader->readSample(&sample);
        if (hrFailed(hr)) {
            qDebug() << "MediaFoundation: ReadSample failed";
            return hr;
        }
        if (!sample)
            continue;
        for (int i = 0; i < sample->bufferCount(); ++i) {
            CameraBufferView view;
            hr = sample->lockBuffer(i, &view);
            if (hrFailed(hr)) {
                qDebug() << "MediaFoundation: buffer lock failed";
                return hr;
            }
            bool wasShort = false;
            QSharedPointer<uchar> data = copyFrame(view, format, width, height, &wasShort);
            if (wasShort && !shortReported) {
                shortReported = true;
                qDebug() << "Win32Camera: short frame buffer of" << view.length << "bytes, expected"
                         << packedFrameSize(format, width, height) << "- padded with zeros";
            }
            emit signalCameraFrameAvailable(data, width, height, format);
            hr = sample->unlockBuffer(i);
            if (hrFailed(hr)) {
                qDebug() << "MediaFoundation: buffer unlock failed";
                return hr;
            }
        }
    }
    return S_OK;
}
