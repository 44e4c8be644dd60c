// Shared helpers of the engine tests: an offscreen OpenGL 4.1 core context,
// texture upload and read-back, and small statistics.
#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_1_Core>

#include <memory>
#include <vector>

namespace enginetest {

using Gl = QOpenGLFunctions_4_1_Core;

struct GlEnvironment {
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
    Gl *gl = nullptr;

    // Creates the surface on the calling (GUI) thread and a context sharing
    // objects with `share` when given.
    bool create(QOpenGLContext *share = nullptr);
    bool makeCurrent();
    void doneCurrent();
};

QSurfaceFormat coreFormat();

// Uploads an RGBA8888 picture; row 0 of the picture is row 0 of the texture.
GLuint uploadTexture(Gl *gl, const QImage &image);
// Reads a texture back as RGBA8888 (row 0 first).
QImage readTexture(Gl *gl, GLuint texture, int width, int height);

struct Rgb {
    double r = 0, g = 0, b = 0;
};
Rgb meanColour(const QImage &image, const QRect &area);
double lumaStdDev(const QImage &image, const QRect &area);
double meanLuma(const QImage &image, const QRect &area);
// Largest per-channel difference (RGB and A) between two pictures.
int maxDifference(const QImage &a, const QImage &b);

// A photograph-like test picture: smooth gradients, an edge and detail.
QImage syntheticPicture(int width, int height);

// A PNG file whose header declares width x height RGBA pixels, followed by
// `dataBytes` of zero pixel data compressed into one IDAT chunk (a
// decompression bomb when the declared size is large).
QByteArray pngDeclaring(int width, int height, int dataBytes = 1024);

} // namespace enginetest
