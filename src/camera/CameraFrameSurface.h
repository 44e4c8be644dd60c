#pragma once

#include <QAbstractVideoSurface>
#include <QSharedPointer>
#include <QVideoFrame>

// Video output of the toolkit fallback camera: copies every mapped frame
// into a new buffer with its rows tightly packed and hands it on under the
// same frame contract as the native worker.
class CameraFrameSurface : public QAbstractVideoSurface
{
    Q_OBJECT
public:
    explicit CameraFrameSurface(QObject *parent = nullptr);

    QList<QVideoFrame::PixelFormat> supportedPixelFormats(
        QAbstractVideoBuffer::HandleType type = QAbstractVideoBuffer::NoHandle) const override;
    bool present(const QVideoFrame &frame) override;

    // The packed copy of a frame; null when the frame cannot be mapped or
    // its format is outside the capture table.
    static QSharedPointer<uchar> packFrame(const QVideoFrame &frame);

signals:
    void signalCameraFrameAvailable(QSharedPointer<uchar> data, int width, int height,
                                    QVideoFrame::PixelFormat format);

private:
    bool m_skipReported = false;
};
