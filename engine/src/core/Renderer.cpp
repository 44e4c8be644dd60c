#include "core/Renderer.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>

namespace velvix {

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
                                 const std::string &defines, const std::string &vertex)
{
    const std::string key = vertex + "|" + fragment + "|" + defines;
    auto it = m_programs.find(key);
    if (it != m_programs.end())
        return it->second.get();
    auto program = std::make_unique<ShaderProgram>();
    std::string error;
    if (!program->build(m_gl, fragment, includes, defines, &error, vertex)) {
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

} // namespace velvix
