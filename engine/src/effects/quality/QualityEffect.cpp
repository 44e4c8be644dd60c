#include "effects/quality/QualityEffect.h"

#include <cmath>
#include <cstring>

namespace velvix {

bool QualityEffect::set(const std::string &name, int value)
{
    if (name.rfind("quality.", 0) != 0 || !findEffect(name))
        return false;
    if (value == 0)
        m_values.erase(name);
    else
        m_values[name] = value;
    return true;
}

void QualityEffect::setComposeUniforms(FrameContext &frame, ShaderProgram &program,
                                       const ComposeParams &params) const
{
    Gl *gl = frame.renderer.gl();
    setGradeUniforms(gl, program, params);
    program.set(gl, "u_vignette", params.vignette);
    program.set(gl, "u_grain", params.grain);
    program.set(gl, "u_grainSeed", params.grainSeed);
    program.set(gl, "u_aspect", static_cast<float>(frame.width) / static_cast<float>(frame.height));
}

float QualityEffect::value(const char *name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? 0.0f : static_cast<float>(it->second) / 100.0f;
}

void QualityEffect::contribute(ComposeParams &params, unsigned frameNumber) const
{
    if (m_values.empty())
        return;
    const float brightness = value("quality.brightness");
    if (brightness != 0.0f) {
        params.features |= ComposeParams::Brightness;
        params.brightness = 0.8f * brightness;
    }
    const float contrast = value("quality.contrast");
    if (contrast != 0.0f) {
        params.features |= ComposeParams::Contrast;
        params.contrast *= 1.0f + 0.6f * contrast;
    }
    const float saturation = value("quality.saturation");
    if (saturation != 0.0f) {
        params.features |= ComposeParams::Saturation;
        params.saturation *= 1.0f + saturation;
    }
    const float sharpness = value("quality.sharpness");
    if (sharpness > 0.0f) {
        params.features |= ComposeParams::Sharpen;
        params.sharpen += 1.5f * sharpness;
    }
    const float temperature = value("quality.temperature");
    const float tint = value("quality.tint");
    if (temperature != 0.0f || tint != 0.0f) {
        // Warm = more red, less blue; positive tint = magenta (less green).
        params.features |= ComposeParams::Gain;
        params.gain[0] = 1.0f + 0.10f * temperature + 0.03f * tint;
        params.gain[1] = 1.0f - 0.06f * tint;
        params.gain[2] = 1.0f - 0.10f * temperature + 0.03f * tint;
    }
    const float highlights = value("quality.highlights");
    const float shadows = value("quality.shadows");
    if (highlights != 0.0f || shadows != 0.0f) {
        params.features |= ComposeParams::ShadowsHighlights;
        params.highlights = highlights;
        params.shadows = shadows;
    }
    const float fade = value("quality.fade");
    if (fade > 0.0f) {
        params.features |= ComposeParams::Fade;
        params.fade = fade;
    }
    const float vignette = value("quality.vignette");
    if (vignette > 0.0f) {
        params.features |= ComposeParams::Vignette;
        params.vignette = vignette;
    }
    const float grain = value("quality.grain");
    if (grain > 0.0f) {
        params.features |= ComposeParams::Grain;
        params.grain = grain;
        params.grainSeed = static_cast<float>(frameNumber % 997u) * 1.618f;
    }
}

void QualityEffect::setGradeUniforms(Gl *gl, ShaderProgram &program, const ComposeParams &params)
{
    program.set(gl, "u_contrast", params.contrast);
    program.set(gl, "u_saturation", params.saturation);
    program.set(gl, "u_brightness", params.brightness);
    program.set(gl, "u_gain", params.gain[0], params.gain[1], params.gain[2]);
    program.set(gl, "u_shadows", params.shadows);
    program.set(gl, "u_highlights", params.highlights);
    program.set(gl, "u_fade", params.fade);
}

} // namespace velvix
