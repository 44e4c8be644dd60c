#include "effects/faceinfo/SegmentOverlay.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <algorithm>

namespace velvix {

GLuint SegmentOverlay::draw(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target, const char *role,
                            const std::vector<OverlaySegment> &segments, float halfWidth)
{
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *copy = renderer.program("core/copy.frag", {}, "");
    ShaderProgram *overlay = renderer.program("effects/faceinfo/overlay.frag", {}, "", "effects/faceinfo/overlay.vert");
    if (!copy || !overlay)
        return 0;
    GLuint out = target ? target : frame.scratch.get(gl, role, frame.width, frame.height, GL_RGBA8);
    copy->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    copy->set(gl, "u_src", 0);
    renderer.drawTo(out, frame.width, frame.height);
    const size_t count = std::min(segments.size(), static_cast<size_t>(m_maxSegments));
    if (count == 0)
        return out;

    std::vector<float> data(count * 8);
    for (size_t i = 0; i < count; ++i) {
        const OverlaySegment &s = segments[i];
        const float row[8] = {s.x0, s.y0, s.x1, s.y1, s.r, s.g, s.b, 1.0f};
        std::copy(row, row + 8, data.begin() + static_cast<std::ptrdiff_t>(i * 8));
    }
    if (!m_data)
        m_data = createTexture2D(gl, GL_RGBA32F, 2, m_maxSegments, GL_RGBA, GL_FLOAT);
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, m_data);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, static_cast<GLsizei>(count), GL_RGBA, GL_FLOAT, data.data());
    overlay->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, m_data, false);
    overlay->set(gl, "u_segments", 0);
    overlay->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    overlay->set(gl, "u_halfWidth", halfWidth);
    gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count * 6));
    return out;
}

void SegmentOverlay::release(Gl *gl)
{
    if (m_data && gl)
        gl->glDeleteTextures(1, &m_data);
    m_data = 0;
}

} // namespace velvix
