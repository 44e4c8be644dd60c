#include "core/Gl.h"

namespace velvix {

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

} // namespace velvix
