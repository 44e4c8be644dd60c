#include "core/GlStateGuard.h"

namespace velvix {

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
