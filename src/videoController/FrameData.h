#pragma once

#include <QSharedPointer>
#include <QtGlobal>

#include <cstddef>
#include <memory>

// One camera frame on its way through the pipeline. Records are pooled, so a
// frame costs no allocation for its bookkeeping; the pixels are never copied.
struct FrameData
{
    // Non-owning view of the pixels (its owner is sourceBuffer).
    std::shared_ptr<uchar> data;
    // width × height × 4, the size the view is declared with.
    size_t dataSize = 0;
    // The capture worker's buffer; holding it keeps the pixels alive.
    QSharedPointer<uchar> sourceBuffer;
    int width = 0;
    int height = 0;
    // QVideoFrame::PixelFormat of the frame.
    int format = 0;
    // Steady-clock nanoseconds.
    qint64 timestamp = 0;

    // Drops the references to the pixels, so a pooled record does not keep
    // an old capture buffer alive.
    void clear()
    {
        data.reset();
        dataSize = 0;
        sourceBuffer.reset();
        width = height = format = 0;
        timestamp = 0;
    }
};
