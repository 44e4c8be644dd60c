// Offscreen context and test frames for the engine benchmarks.
#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_1_Core>

#include <memory>
#include <vector>

namespace enginebench {

struct Context {
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
    QOpenGLFunctions_4_1_Core *gl = nullptr;
    bool create();
};

// The first demo portrait (or a gradient when it is missing), scaled to fill
// width x height and converted to I420 or NV12 (BT.601 video range).
std::vector<unsigned char> portraitFrame(int width, int height, bool nv12);

} // namespace enginebench
