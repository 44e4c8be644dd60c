#include "CameraPlatform.h"

#include "v4l2/V4l2Platform.h"
#include "virtual/VirtualCamera.h"

#include <mutex>

namespace {

class SystemCameraPlatform final : public CameraPlatform
{
public:
    HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) override
    {
        devices->clear();
        const HRESULT hr = m_v4l2.enumerateDevices(devices);
        // A missing or unreadable /dev still leaves the virtual camera usable.
        if (VirtualCameraPlatform::enabled()) {
            std::vector<CameraDeviceInfo> virtualDevices;
            m_virtual.enumerateDevices(&virtualDevices);
            devices->insert(devices->end(), virtualDevices.begin(), virtualDevices.end());
        }
        return hrFailed(hr) && devices->empty() ? hr : S_OK;
    }

    HRESULT createSource(const std::wstring &link, std::shared_ptr<CameraSource> *source) override
    {
        if (VirtualCameraPlatform::ownsLink(link))
            return m_virtual.createSource(link, source);
        return m_v4l2.createSource(link, source);
    }

private:
    V4l2Platform m_v4l2;
    VirtualCameraPlatform m_virtual;
};

} // namespace

std::shared_ptr<CameraPlatform> systemCameraPlatform()
{
    return std::make_shared<SystemCameraPlatform>();
}

namespace {

std::mutex &activePlatformMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<CameraPlatform> &activePlatformSlot()
{
    static std::shared_ptr<CameraPlatform> platform;
    return platform;
}

} // namespace

std::shared_ptr<CameraPlatform> activeCameraPlatform()
{
    std::lock_guard<std::mutex> lock(activePlatformMutex());
    std::shared_ptr<CameraPlatform> &slot = activePlatformSlot();
    if (!slot)
        slot = systemCameraPlatform();
    return slot;
}

void setActiveCameraPlatform(std::shared_ptr<CameraPlatform> platform)
{
    std::lock_guard<std::mutex> lock(activePlatformMutex());
    activePlatformSlot() = std::move(platform);
}
