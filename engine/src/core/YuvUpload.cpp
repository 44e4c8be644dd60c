#include "core/YuvUpload.h"

namespace velvix {

bool YuvUpload::ensurePlanes(Gl *gl, int width, int height, Layout layout)
{
    if (m_y && m_width == width && m_height == height && m_layout == layout)
        return true;
    releasePlanes(gl);
    const int cw = width / 2;
    const int ch = height / 2;
    m_y = createTexture2D(gl, GL_R8, width, height, GL_RED, GL_UNSIGNED_BYTE);
    if (layout == Layout::NV12) {
        m_u = createTexture2D(gl, GL_RG8, cw, ch, GL_RG, GL_UNSIGNED_BYTE);
    } else {
        m_u = createTexture2D(gl, GL_R8, cw, ch, GL_RED, GL_UNSIGNED_BYTE);
        m_v = createTexture2D(gl, GL_R8, cw, ch, GL_RED, GL_UNSIGNED_BYTE);
    }
    m_width = width;
    m_height = height;
    m_layout = layout;
    return m_y && m_u && (layout == Layout::NV12 || m_v);
}

GLuint YuvUpload::upload(Renderer &renderer, const unsigned char *data, int width, int height,
                         int flag, Layout layout)
{
    Gl *gl = renderer.gl();
    if (!ensurePlanes(gl, width, height, layout))
        return 0;
    const int cw = width / 2;
    const int ch = height / 2;
    const bool nv12 = layout == Layout::NV12;
    ShaderProgram *program = renderer.program("core/yuv_to_rgb.frag", {}, nv12 ? "#define NV12\n" : "");
    if (!program)
        return 0;

    gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, m_y);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RED, GL_UNSIGNED_BYTE, data);
    const unsigned char *chroma = data + static_cast<size_t>(width) * static_cast<size_t>(height);
    gl->glBindTexture(GL_TEXTURE_2D, m_u);
    if (nv12) {
        gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, cw, ch, GL_RG, GL_UNSIGNED_BYTE, chroma);
    } else {
        gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, cw, ch, GL_RED, GL_UNSIGNED_BYTE, chroma);
        // The V plane starts a quarter of the luma size after U (the layout
        // the program's own converters write, also for odd sizes).
        const unsigned char *v = chroma + static_cast<size_t>(width) * static_cast<size_t>(height) / 4;
        gl->glBindTexture(GL_TEXTURE_2D, m_v);
        gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, cw, ch, GL_RED, GL_UNSIGNED_BYTE, v);
    }

    GLuint target = m_ring.acquire(gl, width, height);
    program->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, m_y, false);
    program->set(gl, "u_y", 0);
    renderer.bindTexture(1, GL_TEXTURE_2D, m_u, false);
    program->set(gl, nv12 ? "u_uv" : "u_u", 1);
    if (!nv12) {
        renderer.bindTexture(2, GL_TEXTURE_2D, m_v, false);
        program->set(gl, "u_v", 2);
    }
    program->set(gl, "u_chromaScale", 0.5f * static_cast<float>(width) / static_cast<float>(cw),
                 0.5f * static_cast<float>(height) / static_cast<float>(ch));
    program->set(gl, "u_limitedRange", (flag & 1) ? 1 : 0);
    renderer.drawTo(target, width, height);
    m_ring.publish(gl);
    return target;
}

void YuvUpload::release(Gl *gl)
{
    releasePlanes(gl);
    m_ring.release(gl);
}

void YuvUpload::releasePlanes(Gl *gl)
{
    if (gl) {
        GLuint textures[3] = {m_y, m_u, m_v};
        for (GLuint &texture : textures) {
            if (texture)
                gl->glDeleteTextures(1, &texture);
        }
    }
    m_y = m_u = m_v = 0;
    m_width = m_height = 0;
}

} // namespace velvix
