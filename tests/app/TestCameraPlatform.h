#pragma once

#include "platform/CameraPlatform.h"
#include "platform/virtual/VirtualCamera.h"

#include <mutex>
#include <string>
#include <vector>

// Cameras the tests plug in and pull out while the window runs: each listed
// camera streams the virtual camera's moving scene, except those marked
// broken, which refuse to open. Real /dev/video nodes are never listed.
class TestCameraPlatform final : public CameraPlatform
{
public:
    struct Camera
    {
        std::wstring name;
        bool broken = false;
    };

    void setCameras(std::vector<Camera> cameras)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cameras = std::move(cameras);
    }

    HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        devices->clear();
        for (const Camera &camera : m_cameras)
            devices->push_back({camera.name, linkOf(camera.name)});
        return S_OK;
    }

    HRESULT createSource(const std::wstring &link, std::shared_ptr<CameraSource> *source) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            bool listed = false;
            for (const Camera &camera : m_cameras) {
                if (linkOf(camera.name) == link) {
                    if (camera.broken)
                        return hresultFromErrno(EBUSY);
                    listed = true;
                }
            }
            if (!listed)
                return hresultFromErrno(ENODEV);
        }
        return m_virtual.createSource(VirtualCameraPlatform::symbolicLink(), source);
    }

private:
    // USB ids as a webcam has them, so the selector names it as it would one.
    static std::wstring linkOf(const std::wstring &name) { return L"test:" + name + L"#vid_0000&pid_0000"; }

    std::mutex m_mutex;
    std::vector<Camera> m_cameras;
    VirtualCameraPlatform m_virtual;
};
