// OpenGL plumbing shared by every effect family: shader programs built from
// the embedded sources, the per-context objects (framebuffer, vertex array),
// cross-context ordering, intermediate textures and the output rings.
#pragma once

#include <QObject>
#include <QOpenGLFunctions_4_1_Core>
#include <QPointer>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class QOffscreenSurface;
class QOpenGLContext;

namespace velvix {

using Gl = QOpenGLFunctions_4_1_Core;

// Text of one embedded shader file, or null.
const char *shaderSource(const std::string &name);

class ShaderProgram {
public:
    // Builds fullscreen.vert with the named fragment file; `includes` are
    // pasted (in order) between the defines and the fragment file.
    bool build(Gl *gl, const std::string &fragment, const std::vector<std::string> &includes,
               const std::string &defines, std::string *error);
    void destroy(Gl *gl);
    GLuint id() const { return m_id; }

    void use(Gl *gl) { gl->glUseProgram(m_id); }
    void set(Gl *gl, const char *name, int v) { gl->glUniform1i(location(gl, name), v); }
    void set(Gl *gl, const char *name, float v) { gl->glUniform1f(location(gl, name), v); }
    void set(Gl *gl, const char *name, float a, float b) { gl->glUniform2f(location(gl, name), a, b); }
    void set(Gl *gl, const char *name, float a, float b, float c)
    {
        gl->glUniform3f(location(gl, name), a, b, c);
    }
    void setInts(Gl *gl, const char *name, int a, int b) { gl->glUniform2i(location(gl, name), a, b); }

private:
    GLint location(Gl *gl, const char *name);

    GLuint m_id = 0;
    std::unordered_map<std::string, GLint> m_locations;
};

// Creates a 2D texture with clamp-to-edge wrapping.
GLuint createTexture2D(Gl *gl, GLenum internalFormat, int width, int height, GLenum format,
                       GLenum type, const void *pixels = nullptr);

// Textures handed out to the caller. A slot is rendered into again only once
// the fence of its previous write has signalled and `count - 1` newer frames
// have been handed out, so the display never samples a texture being written.
class TextureRing {
public:
    explicit TextureRing(int count) : m_slots(count) {}
    GLuint acquire(Gl *gl, int width, int height);
    void publish(Gl *gl);
    void release(Gl *gl);
    bool owns(GLuint texture) const;

private:
    struct Slot {
        GLuint texture = 0;
        int width = 0;
        int height = 0;
        GLsync fence = nullptr;
    };
    std::vector<Slot> m_slots;
    int m_next = 0;
    int m_current = -1;
};

// Intermediate textures, reused from frame to frame, keyed by their role.
class ScratchTextures {
public:
    GLuint get(Gl *gl, const std::string &role, int width, int height, GLenum internalFormat);
    void release(Gl *gl);

private:
    struct Entry {
        GLuint texture = 0;
        int width = 0;
        int height = 0;
        GLenum internalFormat = 0;
    };
    std::map<std::string, Entry> m_entries;
};

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

    ShaderProgram *program(const std::string &fragment, const std::vector<std::string> &includes,
                           const std::string &defines);

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

// Saves the caller's GL state that the engine's passes touch and restores it.
class GlStateGuard {
public:
    explicit GlStateGuard(Gl *gl);
    ~GlStateGuard();
    GlStateGuard(const GlStateGuard &) = delete;
    GlStateGuard &operator=(const GlStateGuard &) = delete;

private:
    Gl *m_gl;
    GLint m_framebuffer = 0;
    GLint m_viewport[4] = {0, 0, 0, 0};
    GLint m_program = 0;
    GLint m_vertexArray = 0;
    GLint m_activeTexture = 0;
    GLint m_textures[4] = {0, 0, 0, 0};
    GLint m_unpackAlignment = 4;
    GLint m_unpackRowLength = 0;
    GLint m_unpackBuffer = 0;
    GLboolean m_blend = GL_FALSE;
    GLboolean m_depth = GL_FALSE;
    GLboolean m_scissor = GL_FALSE;
    GLboolean m_cull = GL_FALSE;
};

} // namespace velvix
