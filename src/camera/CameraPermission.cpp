#include "CameraPermission.h"

#include "platform/CameraPlatform.h"

#include <QDebug>
#include <QString>

#include <cstring>

namespace {

QString statusText(HRESULT hr)
{
    return QStringLiteral("0x%1").arg(static_cast<uint32_t>(hr), 8, 16, QLatin1Char('0'));
}

} // namespace

bool checkCameraPermission()
{
    return checkCameraPermission(*activeCameraPlatform());
}

bool checkCameraPermission(CameraPlatform &platform)
{
    std::vector<CameraDeviceInfo> devices;
    HRESULT hr = platform.enumerateDevices(&devices);
    if (hrFailed(hr) || devices.empty()) {
        qDebug() << "No camera devices found or enumeration failed, error:" << statusText(hr);
        return false;
    }
    std::shared_ptr<CameraSource> source;
    hr = platform.createSource(devices.front().symbolicLink, &source);
    if (hrFailed(hr) || !source) {
        qDebug() << "Camera permission denied - failed to open video device, error:" << statusText(hr);
        if (const int error = errnoFromHresult(hr))
            qDebug() << "Error description:" << QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    source->shutdown();
    return true;
}
