#include "CameraFrameSurface.h"

#include "FrameLayout.h"

#include <QDebug>

CameraFrameSurface::CameraFrameSurface(QObject *parent) : QAbstractVideoSurface(parent) {}

QList<QVideoFrame::PixelFormat> CameraFrameSurface::supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const
{
    if (type != QAbstractVideoBuffer::NoHandle)
        return {};
    return {QVideoFrame::Format_NV12,  QVideoFrame::Format_YUV420P, QVideoFrame::Format_YUYV,
            QVideoFrame::Format_UYVY,  QVideoFrame::Format_YV12,    QVideoFrame::Format_RGB32,
            QVideoFrame::Format_ARGB32, QVideoFrame::Format_RGB24};
}

QSharedPointer<uchar> CameraFrameSurface::packFrame(const QVideoFrame &input)
{
    QVideoFrame frame(input);
    const QVideoFrame::PixelFormat format = frame.pixelFormat();
    const int width = frame.width();
    const int height = frame.height();
    const size_t size = packedFrameSize(format, width, height);
    if (size == 0 || !frame.map(QAbstractVideoBuffer::ReadOnly))
        return {};

    const std::vector<PlaneLayout> layout = packedPlanes(format, width, height);
    std::vector<SourcePlane> planes;
    if (frame.planeCount() == static_cast<int>(layout.size())) {
        for (int i = 0; i < frame.planeCount(); ++i)
            planes.push_back({frame.bits(i), static_cast<size_t>(std::max(0, frame.bytesPerLine(i)))});
    } else if (frame.planeCount() == 1) {
        planes = planesOfContiguousBuffer(format, width, height, static_cast<size_t>(frame.bytesPerLine(0)),
                                          frame.bits(0), static_cast<size_t>(frame.mappedBytes()));
    }
    QSharedPointer<uchar> data(new uchar[size], [](uchar *p) { delete[] p; });
    const bool ok = copyPlanesPacked(format, width, height, planes, data.data());
    frame.unmap();
    return ok ? data : QSharedPointer<uchar>();
}

bool CameraFrameSurface::present(const QVideoFrame &frame)
{
    const QSharedPointer<uchar> data = packFrame(frame);
    if (!data) {
        if (!m_skipReported)
            qDebug() << "CameraFrameSurface: frame skipped, cannot map" << frame.pixelFormat() << frame.size();
        m_skipReported = true;
        return true; // keep the stream going
    }
    emit signalCameraFrameAvailable(data, frame.width(), frame.height(), frame.pixelFormat());
    return true;
}
