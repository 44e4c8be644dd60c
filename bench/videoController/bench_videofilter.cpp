// Whole camera frames through VideoFilter::slotProcessWin32CameraFrame on a
// worker thread, as the capture worker delivers them, with the real engine and
// no effect (pass-through): CPU and wall time per frame, NV12 and YUYV at
// 1280 × 720. Run under an X server (xvfb-run); the GPU is whatever OpenGL
// the display offers (Mesa llvmpipe in CI, where the "GPU" work is CPU too).

#include "GlTestSupport.h"
#include "VideoFilter.h"

#include <QElapsedTimer>

#include <ctime>
#include <cstdio>

namespace {

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    useAppSurfaceFormat();
    QApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type >= QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    DisplayContext display;
    if (!display.valid()) {
        std::fprintf(stderr, "no OpenGL context\n");
        return 1;
    }
    VideoFilter filter;
    filter.initializeFilter(&display.context, &display.surface);
    if (!filter.processController().hasEngine()) {
        std::fprintf(stderr, "the engine could not be created\n");
        return 1;
    }
    int shown = 0;
    QObject::connect(&filter, &VideoFilter::signalRenderTexture, &filter, [&shown](int, int, int) { ++shown; },
                     Qt::DirectConnection);

    const int w = 1280, h = 720;
    const int frames = argc > 1 ? std::max(10, atoi(argv[1])) : 300;
    struct Case
    {
        const char *name;
        QVideoFrame::PixelFormat format;
        size_t bytes;
    };
    const Case cases[] = {{"NV12", QVideoFrame::Format_NV12, size_t(w) * h * 3 / 2},
                          {"YUYV", QVideoFrame::Format_YUYV, size_t(w) * h * 2}};
    std::printf("%d frames of %dx%d each, worker thread, pass-through engine\n", frames, w, h);
    std::printf("%-6s %14s %14s\n", "format", "CPU ms/frame", "wall ms/frame");
    for (const Case &c : cases) {
        QSharedPointer<uchar> frame = makeFrame(c.bytes, 90);
        double cpu = 0, wall = 0;
        runOnWorker([&] {
            for (int i = 0; i < 20; ++i) // warm-up: context adoption, programs, textures
                filter.slotProcessWin32CameraFrame(frame, w, h, c.format);
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = threadCpuMs();
            for (int i = 0; i < frames; ++i)
                filter.slotProcessWin32CameraFrame(frame, w, h, c.format);
            cpu = threadCpuMs() - cpuStart;
            wall = double(timer.nsecsElapsed()) / 1e6;
        }, 600000);
        std::printf("%-6s %14.3f %14.3f\n", c.name, cpu / frames, wall / frames);
    }
    std::printf("frames shown: %d\n", shown);
    filter.stopProcessing();
    return 0;
}
