// Per-frame cost of the engine: a camera frame (I420 upload and conversion)
// through processTexture, for passthrough, each effect family alone and the
// full chain, at 1280 x 720 and 1920 x 1080. Prints ms per frame and the
// ratio to passthrough. Each frame waits for the GPU (glFinish), so the
// figures are whole costs, not queueing times.
//
//   bench_engine [--rounds N] [--frames N] [--only TEXT]
//   (--only: passthrough and the cases whose label contains TEXT)
#include "BenchSupport.h"

#include "velvix/VelvixDll.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <string>
#include <vector>

namespace {

// CPU time of the whole process (llvmpipe's worker threads included): on a
// loaded machine a steadier measure of the work than the wall clock.
double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Setting {
    const char *name;
    int value;
    const char *resource;  // relative to res/
};

struct Case {
    const char *label;
    std::vector<Setting> settings;
};

const std::vector<Case> &cases()
{
    static const std::vector<Case> list = {
        {"passthrough", {}},
        {"beauty: smoothing", {{"beauty.smooth", 80, nullptr}}},
        {"beauty: whiten + rosy", {{"beauty.whiten", 60, nullptr}, {"beauty.rosy", 50, nullptr}}},
        {"beauty: sharpen", {{"beauty.sharpen", 60, nullptr}}},
        {"beauty: all", {{"beauty.smooth", 80, nullptr}, {"beauty.whiten", 60, nullptr},
                         {"beauty.rosy", 50, nullptr}, {"beauty.sharpen", 60, nullptr},
                         {"beauty.imageContrastAlpha", 20, nullptr}, {"smooth.saturation", 20, nullptr}}},
        {"image quality (8 controls)", {{"quality.brightness", 20, nullptr}, {"quality.contrast", 30, nullptr},
                                        {"quality.saturation", 30, nullptr}, {"quality.temperature", 40, nullptr},
                                        {"quality.shadows", 30, nullptr}, {"quality.fade", 20, nullptr},
                                        {"quality.vignette", 50, nullptr}, {"quality.sharpness", 40, nullptr}}},
        {"filter: 512x512 PNG", {{"lut", 100, "lut/warm.png"}}},
        {"filter: .cube 25^3", {{"lut", 100, "lut/film.cube"}}},
        {"green screen (package)", {{"segmentation", 0, "segmentation/green_studio/template.json"}}},
        // The segmentation model runs on its own thread: its CPU time counts.
        {"person: background blur", {{"segmentation", 0, "segmentation/blur"}}},
        {"person: picture", {{"segmentation", 0, "segmentation/sunset"}}},
        {"full chain", {{"beauty.smooth", 80, nullptr}, {"beauty.whiten", 60, nullptr},
                        {"beauty.rosy", 50, nullptr}, {"beauty.sharpen", 60, nullptr},
                        {"lut", 100, "lut/warm.png"}, {"quality.contrast", 30, nullptr},
                        {"quality.saturation", 30, nullptr}, {"quality.temperature", 40, nullptr},
                        {"quality.vignette", 50, nullptr}}},
        // Template-like look plus face shape; smoothing is face-aware here
        // (the face tracker runs on its own thread: its CPU time counts).
        {"face chain (full + reshape)", {{"beauty.smooth", 80, nullptr}, {"beauty.whiten", 60, nullptr},
                                         {"beauty.rosy", 50, nullptr}, {"beauty.sharpen", 60, nullptr},
                                         {"lut", 100, "lut/warm.png"}, {"quality.contrast", 30, nullptr},
                                         {"quality.saturation", 30, nullptr}, {"quality.temperature", 40, nullptr},
                                         {"quality.vignette", 50, nullptr}, {"shape.thinFace", 60, nullptr},
                                         {"shape.bigEye", 50, nullptr}, {"basicV7.chin", 30, nullptr},
                                         {"basicV7.noseWing", 40, nullptr}}},
        // Both trackers at once: face shape and body shape on the portrait.
        {"face + body shape", {{"shape.thinFace", 60, nullptr}, {"shape.bigEye", 50, nullptr},
                               {"body.slimWaist", 60, nullptr}, {"body.slimArm", 50, nullptr},
                               {"body.shoulder", 40, nullptr}, {"body.headSize", 30, nullptr}}},
        {"style look alone", {{"makeup", 80, "style_makeup/glam"}}},
        {"sticker alone", {{"motion", 0, "motion/sunglasses"}}},
        {"makeup: six single effects", {{"makeup.lipstick", 80, "makeup/lipstick_red"},
                                        {"makeup.blush", 80, "makeup/blush_peach"},
                                        {"makeup.eyebrow", 80, "makeup/eyebrow_brown"},
                                        {"makeup.eyeshadow", 80, "makeup/eyeshadow_bronze"},
                                        {"makeup.eyeliner", 80, "makeup/eyeliner_black"},
                                        {"makeup.contour", 80, "makeup/contour_natural"}}},
        // The face chain with a styled makeup look (its filter and face shape
        // replace the chain's) and a sticker on top.
        {"face chain + style + sticker", {{"beauty.smooth", 80, nullptr}, {"beauty.whiten", 60, nullptr},
                                          {"beauty.rosy", 50, nullptr}, {"beauty.sharpen", 60, nullptr},
                                          {"lut", 100, "lut/warm.png"}, {"quality.contrast", 30, nullptr},
                                          {"quality.saturation", 30, nullptr}, {"quality.temperature", 40, nullptr},
                                          {"quality.vignette", 50, nullptr}, {"shape.thinFace", 60, nullptr},
                                          {"shape.bigEye", 50, nullptr}, {"basicV7.chin", 30, nullptr},
                                          {"basicV7.noseWing", 40, nullptr}, {"makeup", 80, "style_makeup/glam"},
                                          {"motion", 0, "motion/sunglasses"}}},
    };
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    int rounds = 7;
    int framesPerSlice = 4;
    std::string only;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--frames") == 0)
            framesPerSlice = std::max(1, std::atoi(argv[i + 1]));
    }
    enginebench::Context context;
    if (!context.create()) {
        std::fprintf(stderr, "bench_engine: no OpenGL 4.1 context (run under an X server)\n");
        return 1;
    }
    const char *renderer = reinterpret_cast<const char *>(context.gl->glGetString(GL_RENDERER));
    std::printf("OpenGL renderer: %s\n", renderer ? renderer : "?");
    std::printf("Each figure: median over %d rounds of %d frames; the cases take turns within a\n"
                "round so that load from other processes spreads over all of them.\n", rounds, framesPerSlice);
    const std::string res = QCoreApplication::applicationDirPath().toStdString() + "/res/";

    const int sizes[2][2] = {{1280, 720}, {1920, 1080}};
    int failures = 0;
    for (const auto &size : sizes) {
        const int w = size[0], h = size[1];
        const std::vector<unsigned char> frame = enginebench::portraitFrame(w, h, false);
        velvix::Velvix *engine = createVelvix(res.c_str(), w, h);
        if (!engine) {
            std::fprintf(stderr, "bench_engine: no engine\n");
            return 1;
        }
        auto select = [&](const Case &c) {
            engine->clearAllEffects();
            for (const Setting &s : c.settings) {
                const std::string path = s.resource ? res + s.resource : std::string();
                if (engine->applyEffect(s.name, s.value, s.resource ? path.c_str() : nullptr, nullptr) <= 0) {
                    std::fprintf(stderr, "bench_engine: cannot apply %s\n", s.name);
                    ++failures;
                }
            }
        };
        auto oneFrame = [&]() {
            const int rgb = engine->I420ToRgbTexture(frame.data(), w, h, 1);
            const int out = engine->processTexture(rgb, w, h);
            context.gl->glFinish();
            if (out <= 0)
                ++failures;
        };
        std::vector<Case> list;
        for (const Case &c : cases()) {
            if (only.empty() || list.empty() || std::string(c.label).find(only) != std::string::npos)
                list.push_back(c);
        }
        std::vector<std::vector<double>> samples(list.size());
        std::vector<std::vector<double>> cpuSamples(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            select(list[i]);
            for (int k = 0; k < 2; ++k)
                oneFrame();  // shader builds and first allocations
        }
        for (int round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < list.size(); ++i) {
                select(list[i]);
                oneFrame();
                QElapsedTimer timer;
                const double cpuStart = processCpuMs();
                timer.start();
                for (int k = 0; k < framesPerSlice; ++k)
                    oneFrame();
                samples[i].push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6 / framesPerSlice);
                cpuSamples[i].push_back((processCpuMs() - cpuStart) / framesPerSlice);
            }
        }
        std::printf("\n%d x %d                  wall ms/frame  x passthrough   CPU ms/frame  x passthrough\n", w, h);
        double passthrough = 0;
        double passthroughCpu = 0;
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        for (size_t i = 0; i < list.size(); ++i) {
            const double ms = median(samples[i]);
            const double cpu = median(cpuSamples[i]);
            if (i == 0) {
                passthrough = ms;
                passthroughCpu = cpu;
            }
            std::printf("  %-28s %8.2f   %6.2f        %8.2f   %6.2f\n", list[i].label, ms, ms / passthrough,
                        cpu, cpu / passthroughCpu);
        }
        std::fflush(stdout);
        destroyVelvix(&engine);
    }
    return failures == 0 ? 0 : 2;
}
