#pragma once

#include <QVideoFrame>

#include <cstddef>
#include <vector>

// Tightly packed layout of the frame formats the capture road carries. The
// frame signal's buffers always hold these layouts, so every producer that
// gets rows with padding (V4L2 bytesperline, mapped toolkit frames) packs
// them with copyPlanesPacked().
struct PlaneLayout
{
    size_t rowBytes = 0; // bytes of one packed row
    size_t rows = 0;
};

// Packed planes of a format, in memory order; empty for Format_Invalid and
// formats outside the capture table.
std::vector<PlaneLayout> packedPlanes(QVideoFrame::PixelFormat format, int width, int height);

// Bytes of a whole packed frame; 0 when the layout is unknown.
size_t packedFrameSize(QVideoFrame::PixelFormat format, int width, int height);

struct SourcePlane
{
    const unsigned char *data = nullptr;
    size_t stride = 0; // bytes from one row to the next
};

// Planes of a single contiguous buffer whose first plane has `bytesPerLine`
// bytes per row (the V4L2 single-planar convention: chroma planes of planar
// formats have half that stride for 4:2:0 three-plane formats, the same for
// NV12). Empty when the layout is unknown or the buffer is too short.
std::vector<SourcePlane> planesOfContiguousBuffer(QVideoFrame::PixelFormat format, int width, int height,
                                                  size_t bytesPerLine, const unsigned char *data,
                                                  size_t length);

// Copies the planes row by row into `dst` (packedFrameSize bytes). Returns
// false, copying nothing, when the planes do not match the format.
bool copyPlanesPacked(QVideoFrame::PixelFormat format, int width, int height,
                      const std::vector<SourcePlane> &planes, unsigned char *dst);
