#include "BeautyEffect.h"

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

GLuint BeautyEffect::runBlur(Renderer &renderer, GLuint source, int width, int height,
                             ScratchTextures &scratch)
{
    Gl *gl = renderer.gl();
    ShaderProgram *first = renderer.program("beauty_blur.frag", {}, "#define FIRST_PASS\n");
    ShaderProgram *second = renderer.program("beauty_blur.frag", {}, "");
    if (!first || !second)
        return 0;
    const int hw = std::max(1, width / 2);
    const int hh = std::max(1, height / 2);
    // The window grows with the picture so a face is smoothed alike at any size.
    const float spread = std::max(1.0f, static_cast<float>(std::min(width, height)) / 720.0f);
    GLuint horizontal = scratch.get(gl, "beauty.blurH", hw, hh, GL_RGBA16F);
    GLuint vertical = scratch.get(gl, "beauty.blurV", hw, hh, GL_RGBA16F);

    first->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    first->set(gl, "u_src", 0);
    first->set(gl, "u_step", 2.0f * spread / static_cast<float>(width), 0.0f);
    renderer.drawTo(horizontal, hw, hh);

    second->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, horizontal, true);
    second->set(gl, "u_src", 0);
    second->set(gl, "u_step", 0.0f, spread / static_cast<float>(hh));
    renderer.drawTo(vertical, hw, hh);
    return vertical;
}

void BeautyEffect::contribute(ComposeParams &params) const
{
    if (m_smooth > 0) {
        const float s = static_cast<float>(m_smooth) / 100.0f;
        params.features |= ComposeParams::Smooth;
        params.smooth = s;
        params.smoothEps = 0.002f + 0.008f * s;
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
