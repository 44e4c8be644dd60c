#include "core/WarpFamily.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <algorithm>

namespace velvix {

WarpFamily::WarpFamily(vision::TrackerKind tracker, const char *fieldShader, int columns, int maxRows)
    : m_tracker(tracker), m_fieldShader(fieldShader), m_columns(columns), m_maxRows(maxRows),
      m_fieldRole(std::string(fieldShader) + ".field")
{
}

bool WarpFamily::apply(const EffectInfo &info, int value, const char *, const QJsonObject &)
{
    if (value == info.neutral)
        m_values.erase(info.name);
    else
        m_values[info.name] = value;
    return true;
}

float WarpFamily::value(const char *name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? 0.0f : static_cast<float>(it->second) / 100.0f;
}

unsigned WarpFamily::trackersNeeded() const
{
    return m_values.empty() ? 0 : vision::trackerBit(m_tracker);
}

void WarpFamily::release(Gl *gl)
{
    if (m_data && gl)
        gl->glDeleteTextures(1, &m_data);
    m_data = 0;
}

GLuint WarpFamily::displacementField(FrameContext &frame, int bounds[4])
{
    int rows = 0;
    bounds[0] = bounds[1] = 0;
    bounds[2] = frame.width;
    bounds[3] = frame.height;
    m_rows.assign(static_cast<size_t>(4 * m_columns * m_maxRows), 0.0f);
    if (!fillData(frame, m_rows, &rows, bounds) || rows <= 0)
        return 0;
    rows = std::min(rows, m_maxRows);
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *program = renderer.program(m_fieldShader, {}, "");
    if (!program)
        return 0;
    if (!m_data)
        m_data = createTexture2D(gl, GL_RGBA32F, m_columns, m_maxRows, GL_RGBA, GL_FLOAT);
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, m_data);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_columns, rows, GL_RGBA, GL_FLOAT, m_rows.data());

    const int fw = std::max(1, (frame.width + 1) / 2);
    const int fh = std::max(1, (frame.height + 1) / 2);
    const GLuint field = frame.scratch.get(gl, m_fieldRole, fw, fh, GL_RGBA16F);
    program->use(gl);
    renderer.bindTexture(1, GL_TEXTURE_2D, m_data, false);
    program->set(gl, "u_data", 1);
    program->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    setFieldUniforms(gl, *program);
    // Outside the bounds nothing moves: a clear is much cheaper than
    // evaluating the warps there.
    const int x0 = std::clamp(bounds[0] / 2 - 1, 0, fw);
    const int y0 = std::clamp(bounds[1] / 2 - 1, 0, fh);
    const int x1 = std::clamp(bounds[2] / 2 + 2, x0, fw);
    const int y1 = std::clamp(bounds[3] / 2 + 2, y0, fh);
    const bool partial = x0 > 0 || y0 > 0 || x1 < fw || y1 < fh;
    if (partial) {
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, field, 0);
        gl->glClearColor(0, 0, 0, 0);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        gl->glEnable(GL_SCISSOR_TEST);
        gl->glScissor(x0, y0, x1 - x0, y1 - y0);
    }
    renderer.drawTo(field, fw, fh);
    if (partial)
        gl->glDisable(GL_SCISSOR_TEST);
    // The field is sampled with filtering: it may reach a field texel further.
    bounds[0] = std::max(0, 2 * x0 - 2);
    bounds[1] = std::max(0, 2 * y0 - 2);
    bounds[2] = std::min(frame.width, 2 * x1 + 2);
    bounds[3] = std::min(frame.height, 2 * y1 + 2);
    return field;
}

GLuint WarpFamily::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    (void)sourceLinear;  // displaced samples are always filtered
    int bounds[4];
    const GLuint field = displacementField(frame, bounds);
    if (!field)
        return 0;
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *program = renderer.program("core/warp.frag", {"core/warp.glsl"}, "#define WARP\n");
    if (!program)
        return 0;
    GLuint out = target ? target : frame.scratch.get(gl, m_fieldRole + ".out", frame.width, frame.height, GL_RGBA8);
    program->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    program->set(gl, "u_src", 0);
    renderer.bindTexture(kWarpFieldUnit, GL_TEXTURE_2D, field, true);
    program->set(gl, "u_warpField", kWarpFieldUnit);
    program->set(gl, "u_warpSize", static_cast<float>(frame.width), static_cast<float>(frame.height));
    renderer.drawTo(out, frame.width, frame.height);
    return out;
}

} // namespace velvix
