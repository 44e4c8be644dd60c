#pragma once

#include "../CameraPlatform.h"

#include <string>

// Capture through V4L2: /dev/video* nodes, VIDIOC_* ioctls, mmap streaming,
// and an eventfd beside the device descriptor so a flush wakes a blocked read.
class V4l2Platform final : public CameraPlatform
{
public:
    explicit V4l2Platform(std::string devDir = "/dev", std::string sysfsClassDir = "/sys/class/video4linux");

    HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) override;
    HRESULT createSource(const std::wstring &symbolicLink, std::shared_ptr<CameraSource> *source) override;

private:
    std::string m_devDir;
    std::string m_sysfsClassDir;
};
