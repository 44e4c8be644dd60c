// I420 and NV12 upload plus conversion to RGBA, ms per frame (each frame
// waits for the GPU so the figure is the whole cost).
#include "BenchSupport.h"

#include "velvix/VelvixDll.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

enginebench::Context g_context;

void upload(benchmark::State &state, bool nv12)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<unsigned char> frame = enginebench::portraitFrame(width, height, nv12);
    velvix::Velvix *engine = createVelvix("res/", width, height);
    if (!engine) {
        state.SkipWithError("no engine");
        return;
    }
    for (auto _ : state) {
        const int texture = nv12 ? engine->NV12ToRgbTexture(frame.data(), width, height, 1)
                                 : engine->I420ToRgbTexture(frame.data(), width, height, 1);
        g_context.gl->glFinish();
        benchmark::DoNotOptimize(texture);
    }
    destroyVelvix(&engine);
}

void BM_I420Upload(benchmark::State &state) { upload(state, false); }
void BM_NV12Upload(benchmark::State &state) { upload(state, true); }

} // namespace

BENCHMARK(BM_I420Upload)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_NV12Upload)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (!g_context.create()) {
        std::fprintf(stderr, "bench_upload: no OpenGL 4.1 context (run under an X server)\n");
        return 1;
    }
    const char *renderer = reinterpret_cast<const char *>(g_context.gl->glGetString(GL_RENDERER));
    std::printf("OpenGL renderer: %s\n", renderer ? renderer : "?");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The context must go before the application object.
    g_context.context.reset();
    g_context.surface.reset();
    return 0;
}
