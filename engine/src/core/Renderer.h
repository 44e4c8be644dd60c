// The per-context side of the engine's OpenGL work: each calling context's
// framebuffer and vertex array, contexts for threads that have none,
// ordering across contexts, samplers and the program cache.
#pragma once

#include "core/Gl.h"
#include "core/ShaderProgram.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QOffscreenSurface;
class QOpenGLContext;

namespace velvix {

// Everything that depends on the calling thread's current context.
class Renderer {
public:
    Renderer();
    ~Renderer();

    // Remembers the creating thread's context and makes an offscreen surface
    // (GUI thread only), so threads without a context of their own get one
    // that shares its objects.
    void setFallbackSource(QOpenGLContext *share);

    // Binds to the current context (creating its framebuffer and vertex
    // array on first use) and orders this operation after the previous one
    // made on another context. A thread with no current context gets the
    // engine's own context for it, made current until releaseFallback().
    // False when no context can be had.
    bool begin();
    // Undoes the fallback context of begin(), after the caller's state has
    // been restored.
    void releaseFallback();
    // Binds the context's framebuffer and vertex array and the pass state;
    // call after saving the caller's state.
    void bindPipeline();
    // Detaches the target, fences and flushes so other contexts see the work.
    void end();

    Gl *gl() const { return m_gl; }
    QOpenGLContext *context() const { return m_context; }

    // Renders one full-target triangle with `program` into `target`.
    void drawTo(GLuint target, int width, int height);
    // Same into one layer of a 3D texture.
    void drawToLayer(GLuint texture3d, int layer, int width, int height);
    void bindTexture(int unit, GLenum targetKind, GLuint texture, bool linear = true);

    // `vertex` replaces the full-target triangle for passes that draw
    // geometry of their own.
    ShaderProgram *program(const std::string &fragment, const std::vector<std::string> &includes,
                           const std::string &defines, const std::string &vertex = "core/fullscreen.vert");

    // GL names released while no context was current are deleted at the next
    // begin(); shared objects only.
    void deleteTextureLater(GLuint texture);

    // Deletes the shared objects and the current context's own objects.
    void releaseAll();

    int maxTextureSize() const { return m_maxTextureSize; }

private:
    struct PerContext {
        Gl *gl = nullptr;
        GLuint framebuffer = 0;
        GLuint vertexArray = 0;
        QMetaObject::Connection destroyed;
    };
    void forgetContext(QOpenGLContext *context);

    std::mutex m_contextsMutex; // also taken from contexts' destruction signal
    std::map<QOpenGLContext *, PerContext> m_contexts;
    QOpenGLContext *m_context = nullptr;
    Gl *m_gl = nullptr;
    PerContext *m_current = nullptr;
    QOpenGLContext *m_lastContext = nullptr;
    GLsync m_lastFence = nullptr;
    GLuint m_linearSampler = 0;
    GLuint m_nearestSampler = 0;
    int m_maxTextureSize = 4096;
    std::map<std::string, std::unique_ptr<ShaderProgram>> m_programs;
    QPointer<QOpenGLContext> m_shareContext;
    std::unique_ptr<QOffscreenSurface> m_fallbackSurface;
    std::map<Qt::HANDLE, std::unique_ptr<QOpenGLContext>> m_threadContexts;
    bool m_fallbackActive = false;
    std::vector<GLuint> m_pendingTextureDeletes;
};

// Releases a fallback context when it leaves scope; declare it before the
// GlStateGuard so the caller's state is restored first.
class FallbackScope {
public:
    explicit FallbackScope(Renderer &renderer) : m_renderer(renderer) {}
    ~FallbackScope() { m_renderer.releaseFallback(); }
    FallbackScope(const FallbackScope &) = delete;
    FallbackScope &operator=(const FallbackScope &) = delete;

private:
    Renderer &m_renderer;
};
} // namespace velvix
