// Shared helpers of the engine tests: an offscreen OpenGL 4.1 core context,
// texture upload and read-back, the demo pictures, an engine rig, and small
// statistics.
#pragma once

#include "velvix/VelvixDll.h"

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

// The test program's folder; the demo resources are in its res/.
QString appDir();
QString resPath(const QString &relative);
// res/demoImage/<name> as RGBA8888.
QImage demoPicture(const QString &name);

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

// A picture through an engine's processTexture at its own size, read back
// (null when the engine gives no texture). Inline like the rig below.
inline QImage processPicture(Gl *gl, velvix::Velvix *engine, const QImage &picture)
{
    const GLuint input = uploadTexture(gl, picture);
    const int output = engine->processTexture(static_cast<int>(input), picture.width(), picture.height());
    QImage result = output > 0 ? readTexture(gl, static_cast<GLuint>(output), picture.width(), picture.height())
                               : QImage();
    gl->glDeleteTextures(1, &input);
    return result;
}

// An engine over res/ on an offscreen context; run() sends a picture
// through processTexture at its own size and reads the result back.
// Inline: the tests link the engine either as the shared library or as the
// static internal one, and the rig must call whichever it is.
class EngineRig {
public:
    bool create(int width = 512, int height = 512)
    {
        if (!m_env.create() || !m_env.makeCurrent())
            return false;
        m_engine = createVelvix(resPath(QString()).toUtf8().constData(), width, height);
        m_width = width;
        m_height = height;
        return m_engine != nullptr;
    }
    void destroy() { destroyVelvix(&m_engine); }
    velvix::Velvix *engine() const { return m_engine; }
    Gl *gl() const { return m_env.gl; }

    QImage run(const QImage &picture)
    {
        if (picture.width() != m_width || picture.height() != m_height) {
            m_engine->resizeOutput(picture.width(), picture.height());
            m_width = picture.width();
            m_height = picture.height();
        }
        return processPicture(m_env.gl, m_engine, picture);
    }

    // `package` relative to res/; empty: no resource.
    int apply(const char *name, int value, const QString &package = QString())
    {
        const QByteArray path = package.isEmpty() ? QByteArray() : resPath(package).toUtf8();
        return m_engine->applyEffect(name, value, package.isEmpty() ? nullptr : path.constData(), nullptr);
    }

private:
    GlEnvironment m_env;
    velvix::Velvix *m_engine = nullptr;
    int m_width = 0;
    int m_height = 0;
};

} // namespace enginetest
