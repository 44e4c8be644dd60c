#include "PixelFourcc.h"

QVideoFrame::PixelFormat pixelFormatFromFourcc(uint32_t code)
{
    switch (code) {
    case fourcc::NV12: return QVideoFrame::Format_NV12;
    case fourcc::YUYV: return QVideoFrame::Format_YUYV;
    case fourcc::YU12: return QVideoFrame::Format_YUV420P;
    case fourcc::YV12: return QVideoFrame::Format_YV12;
    case fourcc::UYVY: return QVideoFrame::Format_UYVY;
    case fourcc::XR24:
    case fourcc::BGR4: return QVideoFrame::Format_RGB32;
    case fourcc::AR24: return QVideoFrame::Format_ARGB32;
    case fourcc::RGB3: return QVideoFrame::Format_RGB24;
    default: return QVideoFrame::Format_Invalid;
    }
}

uint32_t fourccFromPixelFormat(QVideoFrame::PixelFormat format)
{
    switch (format) {
    case QVideoFrame::Format_NV12: return fourcc::NV12;
    case QVideoFrame::Format_YUYV: return fourcc::YUYV;
    case QVideoFrame::Format_YUV420P: return fourcc::YU12;
    case QVideoFrame::Format_YV12: return fourcc::YV12;
    case QVideoFrame::Format_UYVY: return fourcc::UYVY;
    case QVideoFrame::Format_RGB32: return fourcc::XR24;
    case QVideoFrame::Format_ARGB32: return fourcc::AR24;
    case QVideoFrame::Format_RGB24: return fourcc::RGB3;
    default: return 0;
    }
}

const char *fourccLogName(uint32_t code)
{
    switch (pixelFormatFromFourcc(code)) {
    case QVideoFrame::Format_NV12: return "NV12";
    case QVideoFrame::Format_YUYV: return "YUY2";
    case QVideoFrame::Format_YUV420P: return "I420";
    case QVideoFrame::Format_RGB32: return "RGB32";
    case QVideoFrame::Format_RGB24: return "RGB24";
    case QVideoFrame::Format_ARGB32: return "ARGB32";
    case QVideoFrame::Format_UYVY: return "UYVY";
    case QVideoFrame::Format_YV12: return "YV12";
    default: return "Unknown";
    }
}

QString fourccToString(uint32_t code)
{
    QString s;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        s.append(c >= 32 && c < 127 ? QChar(c) : QChar('?'));
    }
    return s;
}
