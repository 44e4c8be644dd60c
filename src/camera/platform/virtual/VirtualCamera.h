#pragma once

#include "../CameraPlatform.h"

#include <QVideoFrame>

#include <cstdint>
#include <string>

// A camera without hardware, listed while the environment variable
// EFFECTDEMO_VIRTUAL_CAMERA is set: "Virtual Camera" with ids 0000:0000,
// NV12, YUYV and I420 at 640x480, 1280x720 and 1920x1080, 30, 15 and 10 fps.
// Frames come at the negotiated rate from the picture the variable names, or
// from a moving test scene when it names no readable picture.
//
// The scene carries the frame's tick number (frames since the stream
// started, counted on the camera's own clock, so skipped ticks show as gaps)
// as a strip of 16 black/white 16x16 blocks in the top-left corner, least
// significant bit first; readVirtualFrameCounter() decodes it.
class VirtualCameraPlatform final : public CameraPlatform
{
public:
    static bool enabled();
    static bool ownsLink(const std::wstring &symbolicLink);
    static const wchar_t *symbolicLink();

    HRESULT enumerateDevices(std::vector<CameraDeviceInfo> *devices) override;
    HRESULT createSource(const std::wstring &symbolicLink, std::shared_ptr<CameraSource> *source) override;
};

// Tick number of a scene frame; -1 when the strip is not readable.
int readVirtualFrameCounter(const unsigned char *data, int width, int height, QVideoFrame::PixelFormat format);
