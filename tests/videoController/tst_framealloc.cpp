// Counts heap allocations made by the frame pipeline while it processes camera
// frames on a worker thread: in steady state a frame must cost none (the
// capture copy is made by the caller, outside the count). Only the periodic
// log lines (every 100th pool hit and every 100th frame) allocate, for their text.

#include "../support/FakeEngine.h"
#include "GlTestSupport.h"
#include "VideoFilter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;
} // namespace

void *operator new(std::size_t size)
{
    if (t_counting)
        ++t_allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    if (t_counting)
        ++t_allocations;
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

class TestFrameAllocations : public QObject
{
    Q_OBJECT

    void run(QVideoFrame::PixelFormat format, size_t bytes)
    {
        DisplayContext display;
        FakeEngineRegistry registry;
        VideoFilter filter;
        filter.processController().setEngineFactory(registry.factory());
        filter.initializeFilter(&display.context, &display.surface);
        registry.last()->recordFrames = false;
        std::atomic<int> shown{0};
        QObject::connect(&filter, &VideoFilter::signalRenderTexture, &filter,
                         [&shown](int, int, int) { shown.fetch_add(1); }, Qt::DirectConnection);

        std::vector<long> perFrame;
        perFrame.reserve(1000);
        runOnWorker([&] {
            // Warm-up: the worker's first frames adopt the capture context and
            // size the conversion buffer once.
            for (int i = 0; i < 20; ++i)
                filter.slotProcessWin32CameraFrame(makeFrame(bytes), 1280, 720, format);
            for (int i = 0; i < 1000; ++i) {
                QSharedPointer<uchar> capture = makeFrame(bytes); // the capture copy
                t_allocations = 0;
                t_counting = true;
                filter.slotProcessWin32CameraFrame(capture, 1280, 720, format);
                t_counting = false;
                perFrame.push_back(t_allocations);
            }
        });
        QCOMPARE(int(perFrame.size()), 1000);
        QCOMPARE(shown.load(), 1020);
        int framesWithAllocations = 0;
        long total = 0;
        for (long n : perFrame) {
            total += n;
            framesWithAllocations += n > 0 ? 1 : 0;
        }
        qInfo("%s: %ld allocations in 1000 frames, in %d frames (the statistics lines)",
              format == QVideoFrame::Format_NV12 ? "NV12" : "YUYV", total, framesWithAllocations);
        // Two periodic lines, each once per 100 frames (the pool's hit line
        // and the pipeline's statistics); every other frame allocates nothing.
        QVERIFY2(framesWithAllocations <= 20, qPrintable(QString::number(framesWithAllocations)));
        QVERIFY(total <= 20 * 20);
        QCOMPARE(filter.framePool().statistics().misses, 0);
    }

private slots:
    void nv12FramesAllocateNothing() { run(QVideoFrame::Format_NV12, 1280 * 720 * 3 / 2); }
    void yuyvFramesAllocateNothing() { run(QVideoFrame::Format_YUYV, 1280 * 720 * 2); }
};

EFFECTDEMO_GL_TEST_MAIN(TestFrameAllocations)
#include "tst_framealloc.moc"
