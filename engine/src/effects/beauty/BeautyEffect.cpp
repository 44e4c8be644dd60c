#include "effects/beauty/BeautyEffect.h"

#include <algorithm>
#include <cmath>

namespace velvix {

bool BeautyEffect::set(const std::string &name, int value)
{
    if (name == "beauty.smooth")
        m_smooth = value;
    else if (name == "beauty.whiten")
        m_whiten = value;
    else if (name == "beauty.rosy")
        m_rosy = value;
    else if (name == "beauty.sharpen")
        m_sharpen = value;
    else if (name == "beauty.imageContrastAlpha")
        m_contrast = value;
    else if (name == "smooth.saturation")
        m_saturation = value;
    else
        return false;
    return true;
}

void BeautyEffect::reset()
{
    *this = BeautyEffect();
}

GLuint BeautyEffect::runBlur(Renderer &renderer, GLuint source, int width, int height, ScratchTextures &scratch)
{
    Gl *gl = renderer.gl();
    ShaderProgram *down = renderer.program("effects/beauty/beauty_downsample.frag", {}, "");
    ShaderProgram *first = renderer.program("effects/beauty/beauty_blur.frag", {"core/common.glsl"}, "#define FIRST_PASS\n");
    ShaderProgram *second = renderer.program("effects/beauty/beauty_blur.frag", {"core/common.glsl"}, "");
    if (!down || !first || !second)
        return 0;
    // The blur runs on about 240 lines (at least half size), so a face is
    // smoothed alike at any size and the cost does not grow with it.
    const int factor = std::max(2, static_cast<int>(std::lround(std::min(width, height) / 240.0)));
    const int bw = std::max(1, width / factor);
    const int bh = std::max(1, height / factor);
    GLuint small = scratch.get(gl, "beauty.small", bw, bh, GL_RGBA8);
    GLuint horizontal = scratch.get(gl, "beauty.blurH", bw, bh, GL_RGBA8);
    GLuint vertical = scratch.get(gl, "beauty.blurV", bw, bh, GL_RGBA8);

    down->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    down->set(gl, "u_src", 0);
    down->set(gl, "u_quarter", 0.25f * static_cast<float>(factor) / static_cast<float>(width),
              0.25f * static_cast<float>(factor) / static_cast<float>(height));
    renderer.drawTo(small, bw, bh);

    first->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, small, false);
    first->set(gl, "u_src", 0);
    renderer.drawTo(horizontal, bw, bh);

    second->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, horizontal, false);
    second->set(gl, "u_src", 0);
    second->set(gl, "u_smoothEps", smoothEps());
    // A little of the own texture always stays, so skin never looks plastic.
    second->set(gl, "u_smooth", 0.9f * static_cast<float>(m_smooth) / 100.0f);
    renderer.drawTo(vertical, bw, bh);
    return vertical;
}

void BeautyEffect::finishCompose(FrameContext &frame, GLuint source, ComposeParams &params)
{
    if (!(params.features & ComposeParams::Smooth))
        return;
    params.blurTexture = runBlur(frame.renderer, source, frame.width, frame.height, frame.scratch);
    if (!params.blurTexture)
        params.features &= ~static_cast<unsigned>(ComposeParams::Smooth);
}

void BeautyEffect::setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const
{
    Gl *gl = frame.renderer.gl();
    if (params.features & ComposeParams::Smooth) {
        frame.renderer.bindTexture(1, GL_TEXTURE_2D, params.blurTexture, true);
        program.set(gl, "u_blur", 1);
    }
    program.set(gl, "u_whiten", params.whiten);
    program.set(gl, "u_rosy", params.rosy);
    program.set(gl, "u_sharpen", params.sharpen);
}

float BeautyEffect::smoothEps() const
{
    // Stronger smoothing also flattens stronger texture.
    return 0.0015f + 0.0065f * static_cast<float>(m_smooth) / 100.0f;
}

void BeautyEffect::contribute(ComposeParams &params) const
{
    if (m_smooth > 0) {
        const float s = static_cast<float>(m_smooth) / 100.0f;
        params.features |= ComposeParams::Smooth;
        params.smooth = s;
    }
    if (m_whiten > 0) {
        params.features |= ComposeParams::Whiten;
        params.whiten = static_cast<float>(m_whiten) / 100.0f;
    }
    if (m_rosy > 0) {
        params.features |= ComposeParams::Rosy;
        params.rosy = static_cast<float>(m_rosy) / 100.0f;
    }
    if (m_sharpen > 0) {
        params.features |= ComposeParams::Sharpen;
        params.sharpen += 1.2f * static_cast<float>(m_sharpen) / 100.0f;
    }
    if (m_contrast != 0) {
        params.features |= ComposeParams::Contrast;
        params.contrast *= 1.0f + 0.5f * static_cast<float>(m_contrast) / 100.0f;
    }
    if (m_saturation != 0) {
        params.features |= ComposeParams::Saturation;
        params.saturation *= 1.0f + static_cast<float>(m_saturation) / 100.0f;
    }
}

} // namespace velvix
