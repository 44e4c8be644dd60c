// Capture worker cost over the virtual camera: CPU time of the worker thread
// per delivered frame (read, scene update, copy under the frame contract),
// and the jitter of the intervals between frames at 30 fps. Also the cost of
// the frame copy alone, tight and with padded rows as V4L2 drivers deliver.
//
//   bench_camera [seconds per format, default 3]

#include "FrameLayout.h"
#include "Win32Camera.h"
#include "platform/CameraPlatform.h"

#include <QCoreApplication>
#include <QSharedPointer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Run
{
    int frames = 0;
    double cpuPerFrameMs = 0;
    double meanIntervalMs = 0, stddevMs = 0, minMs = 0, maxMs = 0, p99Ms = 0;
};

Run captureFor(Win32Camera &cam, QVideoFrame::PixelFormat format, double seconds)
{
    std::vector<Clock::time_point> arrivals;
    double cpuFirst = 0, cpuLast = 0;
    const auto conn = QObject::connect(&cam, &Win32Camera::signalCameraFrameAvailable,
                                       [&](QSharedPointer<uchar>, int, int, QVideoFrame::PixelFormat) {
                                           const auto now = Clock::now();
                                           const double cpu = threadCpuSeconds();
                                           if (arrivals.empty())
                                               cpuFirst = cpu;
                                           cpuLast = cpu;
                                           arrivals.push_back(now);
                                           if (now - arrivals.front() >= std::chrono::duration<double>(seconds))
                                               cam.slotStop();
                                       });
    // Runs the read loop here until the receiver stops it.
    cam.configureCameraSetting(format, 1280, 720, true);
    QObject::disconnect(conn);

    Run run;
    run.frames = static_cast<int>(arrivals.size());
    if (run.frames < 3)
        return run;
    run.cpuPerFrameMs = (cpuLast - cpuFirst) * 1000.0 / (run.frames - 1);
    std::vector<double> intervals;
    for (size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back(std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count());
    const double mean = std::accumulate(intervals.begin(), intervals.end(), 0.0) / intervals.size();
    double var = 0;
    for (double v : intervals)
        var += (v - mean) * (v - mean);
    run.meanIntervalMs = mean;
    run.stddevMs = std::sqrt(var / intervals.size());
    std::sort(intervals.begin(), intervals.end());
    run.minMs = intervals.front();
    run.maxMs = intervals.back();
    run.p99Ms = intervals[std::min(intervals.size() - 1, static_cast<size_t>(intervals.size() * 0.99))];
    return run;
}

double copyCostUs(QVideoFrame::PixelFormat format, int w, int h, size_t bytesPerLine)
{
    const auto planes = packedPlanes(format, w, h);
    const size_t stride = std::max(bytesPerLine, planes[0].rowBytes);
    std::vector<unsigned char> src(stride * h * 2, 0x55);
    const auto srcPlanes = planesOfContiguousBuffer(format, w, h, stride, src.data(), src.size());
    const size_t size = packedFrameSize(format, w, h);
    const int iterations = 300;
    unsigned sink = 0;
    const auto start = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        // As the worker does: a new array per frame, then the copy.
        QSharedPointer<uchar> data(new uchar[size], [](uchar *p) { delete[] p; });
        copyPlanesPacked(format, w, h, srcPlanes, data.data());
        sink += data.data()[size / 2];
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / iterations;
    return sink == 0xFFFFFFFFu ? 0 : us;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("EFFECTDEMO_VIRTUAL_CAMERA", qgetenv("EFFECTDEMO_VIRTUAL_CAMERA").isEmpty() ? "1" : qgetenv("EFFECTDEMO_VIRTUAL_CAMERA"));
    qputenv("QT_LOGGING_RULES", "default.debug=false");
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 3.0;

    Win32Camera cam;
    std::vector<std::wstring> names;
    cam.enumerateCameras(names);
    if (!cam.slotSetCamera(L"Virtual Camera(0000:0000)")) {
        std::fprintf(stderr, "bench_camera: the virtual camera did not open\n");
        return 1;
    }

    std::printf("bench_camera: virtual camera 1280x720 at 30 fps, %.0f s per format\n", seconds);
    std::printf("%-6s %7s %14s %12s %10s %8s %8s %8s\n", "format", "frames", "cpu/frame ms", "interval ms",
                "jitter ms", "min ms", "p99 ms", "max ms");
    for (auto format : {QVideoFrame::Format_NV12, QVideoFrame::Format_YUYV}) {
        const Run r = captureFor(cam, format, seconds);
        std::printf("%-6s %7d %14.3f %12.2f %10.2f %8.2f %8.2f %8.2f\n",
                    format == QVideoFrame::Format_NV12 ? "NV12" : "YUYV", r.frames, r.cpuPerFrameMs,
                    r.meanIntervalMs, r.stddevMs, r.minMs, r.p99Ms, r.maxMs);
    }
    cam.slotRelease();

    std::printf("frame copy alone (allocation + copy), 1280x720:\n");
    std::printf("  NV12 tight     %8.1f us\n", copyCostUs(QVideoFrame::Format_NV12, 1280, 720, 0));
    std::printf("  NV12 padded    %8.1f us  (bytesperline 1344)\n", copyCostUs(QVideoFrame::Format_NV12, 1280, 720, 1344));
    std::printf("  YUYV tight     %8.1f us\n", copyCostUs(QVideoFrame::Format_YUYV, 1280, 720, 0));
    std::printf("  YUYV padded    %8.1f us  (bytesperline 2624)\n", copyCostUs(QVideoFrame::Format_YUYV, 1280, 720, 2624));
    return 0;
}
