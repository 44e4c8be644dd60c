#include "FrameLayout.h"

#include <cstring>

std::vector<PlaneLayout> packedPlanes(QVideoFrame::PixelFormat format, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t cw = (w + 1) / 2; // chroma samples per row for 4:2:x
    const size_t ch = (h + 1) / 2;
    switch (format) {
    case QVideoFrame::Format_NV12:
        return {{w, h}, {cw * 2, ch}};
    case QVideoFrame::Format_YUV420P:
    case QVideoFrame::Format_YV12:
        return {{w, h}, {cw, ch}, {cw, ch}};
    case QVideoFrame::Format_YUYV:
    case QVideoFrame::Format_UYVY:
        return {{cw * 4, h}};
    case QVideoFrame::Format_RGB32:
    case QVideoFrame::Format_ARGB32:
        return {{w * 4, h}};
    case QVideoFrame::Format_RGB24:
        return {{w * 3, h}};
    default:
        return {};
    }
}

size_t packedFrameSize(QVideoFrame::PixelFormat format, int width, int height)
{
    size_t total = 0;
    for (const PlaneLayout &p : packedPlanes(format, width, height))
        total += p.rowBytes * p.rows;
    return total;
}

std::vector<SourcePlane> planesOfContiguousBuffer(QVideoFrame::PixelFormat format, int width, int height,
                                                  size_t bytesPerLine, const unsigned char *data,
                                                  size_t length)
{
    const std::vector<PlaneLayout> layout = packedPlanes(format, width, height);
    if (layout.empty() || !data)
        return {};
    if (bytesPerLine < layout[0].rowBytes)
        bytesPerLine = layout[0].rowBytes;

    std::vector<SourcePlane> planes;
    size_t offset = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
        size_t stride = bytesPerLine;
        if (i > 0 && layout.size() == 3)
            stride = bytesPerLine / 2;
        if (stride < layout[i].rowBytes)
            stride = layout[i].rowBytes;
        // The last row of a plane need not carry its padding.
        const size_t needed = offset + stride * (layout[i].rows - 1) + layout[i].rowBytes;
        if (needed > length)
            return {};
        planes.push_back({data + offset, stride});
        offset += stride * layout[i].rows;
    }
    return planes;
}

bool copyPlanesPacked(QVideoFrame::PixelFormat format, int width, int height,
                      const std::vector<SourcePlane> &planes, unsigned char *dst)
{
    const std::vector<PlaneLayout> layout = packedPlanes(format, width, height);
    if (layout.empty() || planes.size() != layout.size() || !dst)
        return false;
    for (size_t i = 0; i < layout.size(); ++i) {
        if (!planes[i].data || planes[i].stride < layout[i].rowBytes)
            return false;
    }
    for (size_t i = 0; i < layout.size(); ++i) {
        const PlaneLayout &p = layout[i];
        const unsigned char *src = planes[i].data;
        if (planes[i].stride == p.rowBytes) {
            std::memcpy(dst, src, p.rowBytes * p.rows);
            dst += p.rowBytes * p.rows;
            continue;
        }
        for (size_t r = 0; r < p.rows; ++r) {
            std::memcpy(dst, src, p.rowBytes);
            dst += p.rowBytes;
            src += planes[i].stride;
        }
    }
    return true;
}
