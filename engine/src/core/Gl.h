// The OpenGL function table every engine file uses, and plain texture
// creation.
#pragma once

#include <QOpenGLFunctions_4_1_Core>

namespace velvix {

using Gl = QOpenGLFunctions_4_1_Core;

// Creates a 2D texture with clamp-to-edge wrapping.
GLuint createTexture2D(Gl *gl, GLenum internalFormat, int width, int height, GLenum format,
                       GLenum type, const void *pixels = nullptr);

} // namespace velvix
