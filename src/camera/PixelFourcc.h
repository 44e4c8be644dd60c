#pragma once

#include <QVideoFrame>

#include <cstdint>

// Four-character codes of the capture layer's pixel layouts (the V4L2 codes;
// the virtual camera uses the same ones) and their mapping to the toolkit's
// pixel formats.
constexpr uint32_t makeFourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(a))
        | (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8)
        | (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16)
        | (static_cast<uint32_t>(static_cast<unsigned char>(d)) << 24);
}

namespace fourcc {
constexpr uint32_t NV12 = makeFourcc('N', 'V', '1', '2');
constexpr uint32_t YUYV = makeFourcc('Y', 'U', 'Y', 'V');
constexpr uint32_t YU12 = makeFourcc('Y', 'U', '1', '2');
constexpr uint32_t YV12 = makeFourcc('Y', 'V', '1', '2');
constexpr uint32_t UYVY = makeFourcc('U', 'Y', 'V', 'Y');
constexpr uint32_t XR24 = makeFourcc('X', 'R', '2', '4');
constexpr uint32_t BGR4 = makeFourcc('B', 'G', 'R', '4');
constexpr uint32_t AR24 = makeFourcc('A', 'R', '2', '4');
constexpr uint32_t RGB3 = makeFourcc('R', 'G', 'B', '3');
constexpr uint32_t MJPG = makeFourcc('M', 'J', 'P', 'G');
} // namespace fourcc

// Toolkit pixel format of a layout code; Format_Invalid for anything else
// (compressed formats included).
QVideoFrame::PixelFormat pixelFormatFromFourcc(uint32_t code);

// The layout code to request for a pixel format; 0 when there is none.
uint32_t fourccFromPixelFormat(QVideoFrame::PixelFormat format);

// Name used in the capture log lines ("NV12", "YUY2", "I420", ..., "Unknown").
const char *fourccLogName(uint32_t code);

// The code as its four characters, e.g. "MJPG", for the layer's own log lines.
QString fourccToString(uint32_t code);
