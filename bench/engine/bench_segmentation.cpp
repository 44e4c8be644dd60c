// Portrait segmentation cost per frame at 1280 x 720 on the CPU: the whole
// tracker step (resize of the luma plane, input, forward, time smoothing,
// 8-bit mask) against the bare cv::dnn::Net::forward on the same input, in
// the same run, alternating so that load from other processes hits both
// alike. Prints the median and the 95th percentile of process CPU time and
// wall time, and what pre- and post-processing add to the forward pass.
//
//   bench_segmentation [--frames N]
#include "vision/SelfieSegmenter.h"

#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

struct Samples {
    std::vector<double> cpu, wall;
    template <typename F> void measure(F &&f)
    {
        const double c0 = processCpuMs();
        const auto w0 = std::chrono::steady_clock::now();
        f();
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count());
        cpu.push_back(processCpuMs() - c0);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int frames = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(10, std::atoi(argv[i + 1]));
    }
    const QString dir = QCoreApplication::applicationDirPath();
    const QImage portrait = QImage(dir + "/res/demoImage/demo_image2.jpg")
                                .scaled(1280, 720, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_Grayscale8);
    auto segmenter = velvix::vision::SelfieSegmenter::create((dir + "/res/models/selfie.onnx").toStdString());
    if (portrait.isNull() || !segmenter) {
        std::fprintf(stderr, "bench_segmentation: demo portrait or res/models/selfie.onnx missing\n");
        return 1;
    }
    auto pixels = std::make_shared<std::vector<uint8_t>>(size_t(1280) * 720);
    for (int y = 0; y < 720; ++y)
        std::memcpy(pixels->data() + size_t(y) * 1280, portrait.constScanLine(y), 1280);
    velvix::vision::LumaFrame frame;
    frame.width = 1280;
    frame.height = 720;
    frame.pixels = pixels;

    Samples whole, bare;
    for (int i = 0; i < frames + 5; ++i) {
        frame.frameNumber = uint64_t(i + 1);
        Samples *w = i >= 5 ? &whole : nullptr, *b = i >= 5 ? &bare : nullptr;
        Samples scratch;
        (w ? *w : scratch).measure([&] { segmenter->track(frame); });
        (b ? *b : scratch).measure([&] { segmenter->forwardOnly(); });
    }
    std::printf("Portrait segmentation at 1280 x 720, %d frames each; ms per frame\n", frames);
    std::printf("%-22s %10s %10s   %10s %10s\n", "case", "CPU median", "CPU p95", "wall med.", "wall p95");
    auto row = [](const char *label, const Samples &s) {
        std::printf("%-22s %10.2f %10.2f   %10.2f %10.2f\n", label, percentile(s.cpu, 0.5), percentile(s.cpu, 0.95),
                    percentile(s.wall, 0.5), percentile(s.wall, 0.95));
    };
    row("tracker step", whole);
    row("bare Net::forward", bare);
    std::printf("pre- and post-processing add %.1f %% (CPU medians), %.1f %% (wall medians)\n",
                100.0 * (percentile(whole.cpu, 0.5) / percentile(bare.cpu, 0.5) - 1.0),
                100.0 * (percentile(whole.wall, 0.5) / percentile(bare.wall, 0.5) - 1.0));
    return 0;
}
