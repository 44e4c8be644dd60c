#pragma once

#include "CameraStatus.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The narrow set of operations the capture worker needs from the system:
// device listing, opening, native media types, type selection, a blocking
// sample read that a flush interrupts, and closing. Implemented over V4L2,
// by the virtual camera, and by scripted fakes in the tests.

struct CameraDeviceInfo
{
    std::wstring friendlyName;
    // Stable identifier; carries "vid_XXXX&pid_XXXX" when the device has
    // USB ids (e.g. "v4l2:/dev/video0#vid_046d&pid_082d").
    std::wstring symbolicLink;
};

struct CameraMediaType
{
    uint32_t subtype = 0; // four-character code (PixelFourcc.h)
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rateNumerator = 0; // frames per second as a fraction
    uint32_t rateDenominator = 0;
};

struct CameraBufferView
{
    const unsigned char *data = nullptr;
    size_t length = 0;       // bytes of valid data
    size_t bytesPerLine = 0; // of the first plane; 0 = tightly packed
};

// One captured sample; the platform may reuse its memory once the object is
// destroyed, so consumers copy what they keep.
class CameraSample
{
public:
    virtual ~CameraSample() = default;
    virtual int bufferCount() const = 0;
    virtual HRESULT lockBuffer(int index, CameraBufferView *view) = 0;
    virtual HRESULT unlockBuffer(int index) = 0;
};

class CameraReader
{
public:
    virtual ~CameraReader() = default;
    // Native type `index` of the video stream; MF_E_NO_MORE_TYPES past the end.
    virtual HRESULT nativeMediaType(uint32_t index, CameraMediaType *type) = 0;
    virtual HRESULT setCurrentMediaType(const CameraMediaType &type) = 0;
    virtual HRESULT currentMediaType(CameraMediaType *type) = 0;
    // Blocks until a sample arrives or flush() is called. A flushed or empty
    // read succeeds with *sample null. Starts streaming when needed.
    virtual HRESULT readSample(std::unique_ptr<CameraSample> *sample) = 0;
    // Makes a pending (or the next) readSample return at once. Any thread.
    virtual HRESULT flush() = 0;
};

class CameraSource
{
public:
    virtual ~CameraSource() = default;
    virtual HRESULT createReader(std::shared_ptr<CameraReader> *reader) = 0;
    // Stops streaming and closes the device; readers fail afterwards.
    virtual void shutdown() = 0;
};

class CameraPlatform
{
public:
    virtual ~CameraPlatform() = default;
    virtual HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) = 0;
    // Opens the device for capture. Fails with the system's status
    // (hresultFromErrno(EACCES) when access is refused).
    virtual HRESULT createSource(const std::wstring &symbolicLink, std::shared_ptr<CameraSource> *source) = 0;
};

// V4L2 devices, plus the virtual camera while EFFECTDEMO_VIRTUAL_CAMERA is set.
std::shared_ptr<CameraPlatform> systemCameraPlatform();

// The one platform the window, its capture worker and the access probe use:
// the system's unless replaced (end-to-end tests install one whose cameras
// they add and remove). Replacing it affects workers created afterwards;
// null restores the system's. Any thread.
std::shared_ptr<CameraPlatform> activeCameraPlatform();
void setActiveCameraPlatform(std::shared_ptr<CameraPlatform> platform);
