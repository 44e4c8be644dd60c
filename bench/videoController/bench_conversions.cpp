// CPU conversions of camera frames to I420 at 1280 × 720 and 1920 × 1080,
// ours (exact integer formulas, top-left chroma) against libyuv's on the same
// input in the same run. Prints both times and the ratio ours / libyuv.

#include "PixelConversion.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

enum Format { Rgb32, Rgb24, Yuyv };
const char *const kFormatNames[] = {"RGB32", "RGB24", "YUYV"};
const int kBytesPerPixel[] = {4, 3, 2};

struct Buffers
{
    std::vector<uint8_t> src, dst;
    Buffers(Format f, int w, int h)
        : src(size_t(w) * h * kBytesPerPixel[f]), dst(size_t(w) * h * 3 / 2)
    {
        std::mt19937 rng(7);
        for (auto &b : src)
            b = uint8_t(rng());
    }
};

void ours(benchmark::State &state, Format f)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    Buffers b(f, w, h);
    for (auto _ : state) {
        switch (f) {
        case Rgb32: pixelconv::bgrxToI420(b.src.data(), w, h, b.dst.data()); break;
        case Rgb24: pixelconv::rgb24ToI420(b.src.data(), w, h, b.dst.data()); break;
        case Yuyv: pixelconv::yuyvToI420(b.src.data(), w, h, b.dst.data()); break;
        }
        benchmark::DoNotOptimize(b.dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.src.size()));
}

void libyuvAnchor(benchmark::State &state, Format f)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    Buffers b(f, w, h);
    uint8_t *y = b.dst.data();
    uint8_t *u = y + size_t(w) * h;
    uint8_t *v = u + size_t(w) * h / 4;
    const int stride = w * kBytesPerPixel[f];
    for (auto _ : state) {
        switch (f) {
        // libyuv's "ARGB" is B, G, R, A in memory, its "RAW" is R, G, B.
        case Rgb32: libyuv::ARGBToI420(b.src.data(), stride, y, w, u, w / 2, v, w / 2, w, h); break;
        case Rgb24: libyuv::RAWToI420(b.src.data(), stride, y, w, u, w / 2, v, w / 2, w, h); break;
        case Yuyv: libyuv::YUY2ToI420(b.src.data(), stride, y, w, u, w / 2, v, w / 2, w, h); break;
        }
        benchmark::DoNotOptimize(b.dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b.src.size()));
}

// Keeps each run's time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    const std::pair<int, int> sizes[] = {{1280, 720}, {1920, 1080}};
    for (int f = 0; f < 3; ++f) {
        for (const auto &size : sizes) {
            benchmark::RegisterBenchmark((std::string("ours/") + kFormatNames[f]).c_str(), ours, Format(f))
                ->Args({size.first, size.second})
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((std::string("libyuv/") + kFormatNames[f]).c_str(), libyuvAnchor, Format(f))
                ->Args({size.first, size.second})
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nvector path: %s\n", pixelconv::simdPath());
    std::printf("%-8s %-10s %12s %12s %8s\n", "format", "size", "ours us", "libyuv us", "ratio");
    for (int f = 0; f < 3; ++f) {
        for (const auto &size : sizes) {
            const std::string args = "/" + std::to_string(size.first) + "/" + std::to_string(size.second);
            const auto o = reporter.times.find(std::string("ours/") + kFormatNames[f] + args);
            const auto l = reporter.times.find(std::string("libyuv/") + kFormatNames[f] + args);
            if (o == reporter.times.end() || l == reporter.times.end())
                continue;
            std::printf("%-8s %4dx%-5d %12.1f %12.1f %8.2f\n", kFormatNames[f], size.first, size.second, o->second,
                        l->second, o->second / l->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
