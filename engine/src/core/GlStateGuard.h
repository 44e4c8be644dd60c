// Saves and restores the caller's GL state around an engine operation.
#pragma once

#include "core/Gl.h"

namespace velvix {

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
