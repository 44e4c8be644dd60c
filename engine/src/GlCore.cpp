#include "GlCore.h"

#include "VelvixShaderSources.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>

#include <cstring>

namespace velvix {

const char *shaderSource(const std::string &name)
{
    for (const auto &source : shaders::kSources) {
        if (name == source.name)
            return source.text;
    }
    return nullptr;
}

namespace {

GLuint compileStage(Gl *gl, GLenum stage, const std::string &text, std::string *error)
{
    GLuint shader = gl->glCreateShader(stage);
    const char *ptr = text.c_str();
    gl->glShaderSource(shader, 1, &ptr, nullptr);
    gl->glCompileShader(shader);
    GLint ok = 0;
    gl->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl->glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        if (error)
            *error = log;
        gl->glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

bool ShaderProgram::build(Gl *gl, const std::string &fragment, const std::vector<std::string> &includes,
                          const std::string &defines, std::string *error)
{
    const char *vertexText = shaderSource("fullscreen.vert");
    const char *fragmentText = shaderSource(fragment);
    if (!vertexText || !fragmentText) {
        if (error)
            *error = "missing shader source " + fragment;
        return false;
    }
    const std::string header = "#version 410 core\n";
    std::string fragmentAll = header + defines;
    for (const auto &name : includes) {
        const char *text = shaderSource(name);
        if (!text) {
            if (error)
                *error = "missing shader source " + name;
            return false;
        }
        fragmentAll += text;
        fragmentAll += "\n";
    }
    fragmentAll += fragmentText;

    GLuint vs = compileStage(gl, GL_VERTEX_SHADER, header + vertexText, error);
    if (!vs)
        return false;
    GLuint fs = compileStage(gl, GL_FRAGMENT_SHADER, fragmentAll, error);
    if (!fs) {
        gl->glDeleteShader(vs);
        return false;
    }
    GLuint program = gl->glCreateProgram();
    gl->glAttachShader(program, vs);
    gl->glAttachShader(program, fs);
    gl->glLinkProgram(program);
    gl->glDeleteShader(vs);
    gl->glDeleteShader(fs);
    GLint ok = 0;
    gl->glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {0};
        gl->glGetProgramInfoLog(program, sizeof(log) - 1, nullptr, log);
        if (error)
            *error = log;
        gl->glDeleteProgram(program);
        return false;
    }
    m_id = program;
    m_locations.clear();
    return true;
}

void ShaderProgram::destroy(Gl *gl)
{
    if (m_id && gl)
        gl->glDeleteProgram(m_id);
    m_id = 0;
    m_locations.clear();
}

GLint ShaderProgram::location(Gl *gl, const char *name)
{
    auto it = m_locations.find(name);
    if (it != m_locations.end())
        return it->second;
    GLint loc = gl->glGetUniformLocation(m_id, name);
    m_locations.emplace(name, loc);
    return loc;
}

GLuint createTexture2D(Gl *gl, GLenum internalFormat, int width, int height, GLenum format,
                       GLenum type, const void *pixels)
{
    GLuint texture = 0;
    gl->glGenTextures(1, &texture);
    // A unit no pass samples from, so creating a texture mid-chain never
    // replaces a pass's inputs.
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format,
                     type, pixels);
    return texture;
}

// ---------------------------------------------------------------------------

GLuint TextureRing::acquire(Gl *gl, int width, int height)
{
    Slot &slot = m_slots[static_cast<size_t>(m_next)];
    m_current = m_next;
    m_next = (m_next + 1) % static_cast<int>(m_slots.size());
    if (slot.fence) {
        // Normally long signalled; the bound only keeps a lost GPU from
        // freezing the caller.
        gl->glClientWaitSync(slot.fence, GL_SYNC_FLUSH_COMMANDS_BIT, 100000000ull);
        gl->glDeleteSync(slot.fence);
        slot.fence = nullptr;
    }
    if (slot.texture && (slot.width != width || slot.height != height)) {
        gl->glDeleteTextures(1, &slot.texture);
        slot.texture = 0;
    }
    if (!slot.texture) {
        slot.texture = createTexture2D(gl, GL_RGBA8, width, height, GL_RGBA, GL_UNSIGNED_BYTE);
        slot.width = width;
        slot.height = height;
    }
    return slot.texture;
}

void TextureRing::publish(Gl *gl)
{
    if (m_current < 0)
        return;
    Slot &slot = m_slots[static_cast<size_t>(m_current)];
    if (slot.fence)
        gl->glDeleteSync(slot.fence);
    slot.fence = gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void TextureRing::release(Gl *gl)
{
    for (Slot &slot : m_slots) {
        if (gl) {
            if (slot.fence)
                gl->glDeleteSync(slot.fence);
            if (slot.texture)
                gl->glDeleteTextures(1, &slot.texture);
        }
        slot = Slot();
    }
    m_next = 0;
    m_current = -1;
}

bool TextureRing::owns(GLuint texture) const
{
    for (const Slot &slot : m_slots) {
        if (slot.texture && slot.texture == texture)
            return true;
    }
    return false;
}

GLuint ScratchTextures::get(Gl *gl, const std::string &role, int width, int height, GLenum internalFormat)
{
    Entry &entry = m_entries[role];
    if (entry.texture && entry.width == width && entry.height == height
        && entry.internalFormat == internalFormat)
        return entry.texture;
    if (entry.texture)
        gl->glDeleteTextures(1, &entry.texture);
    const bool isFloat = internalFormat == GL_RGBA16F;
    entry.texture = createTexture2D(gl, internalFormat, width, height, GL_RGBA,
                                    isFloat ? GL_HALF_FLOAT : GL_UNSIGNED_BYTE);
    entry.width = width;
    entry.height = height;
    entry.internalFormat = internalFormat;
    return entry.texture;
}

void ScratchTextures::release(Gl *gl)
{
    if (gl) {
        for (auto &item : m_entries) {
            if (item.second.texture)
                gl->glDeleteTextures(1, &item.second.texture);
        }
    }
    m_entries.clear();
}

// ---------------------------------------------------------------------------

Renderer::Renderer() = default;

Renderer::~Renderer()
{
    {
        std::lock_guard<std::mutex> lock(m_contextsMutex);
        for (auto &item : m_contexts)
            QObject::disconnect(item.second.destroyed);
        m_contexts.clear();
    }
    m_threadContexts.clear();
}

void Renderer::forgetContext(QOpenGLContext *context)
{
    // The context takes its framebuffer and vertex array with it.
    std::lock_guard<std::mutex> lock(m_contextsMutex);
    m_contexts.erase(context);
}

void Renderer::setFallbackSource(QOpenGLContext *share)
{
    m_shareContext = share;
    if (!share)
        return;
    m_fallbackSurface = std::make_unique<QOffscreenSurface>();
    m_fallbackSurface->setFormat(share->format());
    m_fallbackSurface->create();
}

bool Renderer::begin()
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context) {
        // A thread without a context (e.g. a capture thread) gets one of the
        // engine's own, sharing objects with the creating context, kept for
        // the thread's next calls.
        if (!m_shareContext || !m_fallbackSurface || !m_fallbackSurface->isValid())
            return false;
        auto &own = m_threadContexts[QThread::currentThreadId()];
        // Thread ids are reused: a context left by an ended thread is
        // replaced (a context may only be made current in its own thread).
        if (own && own->thread() != QThread::currentThread())
            own.reset();
        if (!own) {
            own = std::make_unique<QOpenGLContext>();
            own->setFormat(m_shareContext->format());
            own->setShareContext(m_shareContext);
            if (!own->create()) {
                qWarning() << "Velvix: cannot create a shared OpenGL context for this thread";
                own.reset();
                m_threadContexts.erase(QThread::currentThreadId());
                return false;
            }
        }
        if (!own->makeCurrent(m_fallbackSurface.get()))
            return false;
        m_fallbackActive = true;
        context = own.get();
    }
    {
        std::lock_guard<std::mutex> lock(m_contextsMutex);
        auto it = m_contexts.find(context);
        if (it == m_contexts.end()) {
            PerContext entry;
            entry.gl = context->versionFunctions<Gl>();
            if (!entry.gl || !entry.gl->initializeOpenGLFunctions()) {
                qWarning() << "Velvix: the current context has no OpenGL 4.1 core functions";
                if (m_fallbackActive) {
                    m_fallbackActive = false;
                    context->doneCurrent();
                }
                return false;
            }
            entry.gl->glGenFramebuffers(1, &entry.framebuffer);
            entry.gl->glGenVertexArrays(1, &entry.vertexArray);
            entry.destroyed = QObject::connect(context, &QOpenGLContext::aboutToBeDestroyed,
                                               [this, context]() { forgetContext(context); });
            it = m_contexts.emplace(context, entry).first;
        }
        m_context = context;
        m_current = &it->second;
        m_gl = it->second.gl;
    }
    Gl *gl = m_gl;
    if (m_lastFence && m_lastContext != context)
        gl->glWaitSync(m_lastFence, 0, GL_TIMEOUT_IGNORED);
    if (!m_linearSampler) {
        gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);
        GLuint samplers[2] = {0, 0};
        gl->glGenSamplers(2, samplers);
        m_linearSampler = samplers[0];
        m_nearestSampler = samplers[1];
        for (int i = 0; i < 2; ++i) {
            const GLint filter = i == 0 ? GL_LINEAR : GL_NEAREST;
            gl->glSamplerParameteri(samplers[i], GL_TEXTURE_MIN_FILTER, filter);
            gl->glSamplerParameteri(samplers[i], GL_TEXTURE_MAG_FILTER, filter);
            gl->glSamplerParameteri(samplers[i], GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            gl->glSamplerParameteri(samplers[i], GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            gl->glSamplerParameteri(samplers[i], GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
        }
    }
    if (!m_pendingTextureDeletes.empty()) {
        gl->glDeleteTextures(static_cast<GLsizei>(m_pendingTextureDeletes.size()),
                             m_pendingTextureDeletes.data());
        m_pendingTextureDeletes.clear();
    }
    return true;
}

void Renderer::bindPipeline()
{
    Gl *gl = m_gl;
    gl->glBindFramebuffer(GL_FRAMEBUFFER, m_current->framebuffer);
    gl->glBindVertexArray(m_current->vertexArray);
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDisable(GL_SCISSOR_TEST);
    gl->glDisable(GL_CULL_FACE);
}

void Renderer::releaseFallback()
{
    if (!m_fallbackActive)
        return;
    m_fallbackActive = false;
    if (QOpenGLContext *context = QOpenGLContext::currentContext())
        context->doneCurrent();
}

void Renderer::end()
{
    Gl *gl = m_gl;
    if (!gl)
        return;
    // A texture deleted later must not stay alive through our attachment.
    // Detach from our own framebuffer only: operations that never bound it
    // (resize, set-up) would otherwise strip the caller's, e.g. a
    // QOpenGLWidget's, and leave its picture black.
    GLint bound = 0;
    gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    if (m_current && m_current->framebuffer) {
        gl->glBindFramebuffer(GL_FRAMEBUFFER, m_current->framebuffer);
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
    }
    for (int unit = 0; unit < 4; ++unit)
        gl->glBindSampler(static_cast<GLuint>(unit), 0);
    if (m_lastFence)
        gl->glDeleteSync(m_lastFence);
    m_lastFence = gl->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    m_lastContext = m_context;
    gl->glFlush();
    m_gl = nullptr;
    m_current = nullptr;
    m_context = nullptr;
}

void Renderer::drawTo(GLuint target, int width, int height)
{
    Gl *gl = m_gl;
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    gl->glViewport(0, 0, width, height);
    gl->glDrawArrays(GL_TRIANGLES, 0, 3);
}

void Renderer::drawToLayer(GLuint texture3d, int layer, int width, int height)
{
    Gl *gl = m_gl;
    gl->glFramebufferTextureLayer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, texture3d, 0, layer);
    gl->glViewport(0, 0, width, height);
    gl->glDrawArrays(GL_TRIANGLES, 0, 3);
}

void Renderer::bindTexture(int unit, GLenum targetKind, GLuint texture, bool linear)
{
    Gl *gl = m_gl;
    gl->glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    gl->glBindTexture(targetKind, texture);
    gl->glBindSampler(static_cast<GLuint>(unit), linear ? m_linearSampler : m_nearestSampler);
}

ShaderProgram *Renderer::program(const std::string &fragment, const std::vector<std::string> &includes,
                                 const std::string &defines)
{
    const std::string key = fragment + "|" + defines;
    auto it = m_programs.find(key);
    if (it != m_programs.end())
        return it->second.get();
    auto program = std::make_unique<ShaderProgram>();
    std::string error;
    if (!program->build(m_gl, fragment, includes, defines, &error)) {
        qWarning().noquote() << "Velvix: shader" << QString::fromStdString(fragment)
                             << "failed to build:" << QString::fromStdString(error).trimmed();
        m_programs.emplace(key, nullptr);
        return nullptr;
    }
    ShaderProgram *raw = program.get();
    m_programs.emplace(key, std::move(program));
    return raw;
}

void Renderer::deleteTextureLater(GLuint texture)
{
    if (texture)
        m_pendingTextureDeletes.push_back(texture);
}

void Renderer::releaseAll()
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    Gl *gl = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_contextsMutex);
        auto it = m_contexts.find(context);
        if (it != m_contexts.end()) {
            gl = it->second.gl;
            gl->glDeleteFramebuffers(1, &it->second.framebuffer);
            gl->glDeleteVertexArrays(1, &it->second.vertexArray);
            QObject::disconnect(it->second.destroyed);
            m_contexts.erase(it);
        }
        // Other contexts' framebuffers hold no attachment (end() detaches)
        // and go away with their contexts.
        for (auto &item : m_contexts)
            QObject::disconnect(item.second.destroyed);
        m_contexts.clear();
    }
    if (gl) {
        for (auto &item : m_programs) {
            if (item.second)
                item.second->destroy(gl);
        }
        if (m_linearSampler)
            gl->glDeleteSamplers(1, &m_linearSampler);
        if (m_nearestSampler)
            gl->glDeleteSamplers(1, &m_nearestSampler);
        if (m_lastFence)
            gl->glDeleteSync(m_lastFence);
        if (!m_pendingTextureDeletes.empty())
            gl->glDeleteTextures(static_cast<GLsizei>(m_pendingTextureDeletes.size()),
                                 m_pendingTextureDeletes.data());
    }
    m_programs.clear();
    // Contexts made for other threads take their own objects with them.
    m_threadContexts.clear();
    m_fallbackSurface.reset();
    m_linearSampler = m_nearestSampler = 0;
    m_lastFence = nullptr;
    m_pendingTextureDeletes.clear();
}

// ---------------------------------------------------------------------------

GlStateGuard::GlStateGuard(Gl *gl) : m_gl(gl)
{
    gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_framebuffer);
    gl->glGetIntegerv(GL_VIEWPORT, m_viewport);
    gl->glGetIntegerv(GL_CURRENT_PROGRAM, &m_program);
    gl->glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &m_vertexArray);
    gl->glGetIntegerv(GL_ACTIVE_TEXTURE, &m_activeTexture);
    for (int unit = 0; unit < 4; ++unit) {
        gl->glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &m_textures[unit]);
    }
    gl->glGetIntegerv(GL_UNPACK_ALIGNMENT, &m_unpackAlignment);
    gl->glGetIntegerv(GL_UNPACK_ROW_LENGTH, &m_unpackRowLength);
    gl->glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &m_unpackBuffer);
    m_blend = gl->glIsEnabled(GL_BLEND);
    m_depth = gl->glIsEnabled(GL_DEPTH_TEST);
    m_scissor = gl->glIsEnabled(GL_SCISSOR_TEST);
    m_cull = gl->glIsEnabled(GL_CULL_FACE);
}

GlStateGuard::~GlStateGuard()
{
    Gl *gl = m_gl;
    for (int unit = 3; unit >= 0; --unit) {
        gl->glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        gl->glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_textures[unit]));
    }
    gl->glActiveTexture(static_cast<GLenum>(m_activeTexture));
    gl->glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(m_framebuffer));
    gl->glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    gl->glUseProgram(static_cast<GLuint>(m_program));
    gl->glBindVertexArray(static_cast<GLuint>(m_vertexArray));
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, m_unpackAlignment);
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, m_unpackRowLength);
    gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(m_unpackBuffer));
    if (m_blend)
        gl->glEnable(GL_BLEND);
    if (m_depth)
        gl->glEnable(GL_DEPTH_TEST);
    if (m_scissor)
        gl->glEnable(GL_SCISSOR_TEST);
    if (m_cull)
        gl->glEnable(GL_CULL_FACE);
}

} // namespace velvix
