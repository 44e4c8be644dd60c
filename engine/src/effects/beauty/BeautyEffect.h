// Beauty family: skin smoothing, whitening, rosy tone, sharpening, and the
// two beauty colour controls "beauty.imageContrastAlpha" and "smooth.saturation".
#pragma once

#include "core/EffectFamily.h"
#include "core/EffectParams.h"
#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <vector>

namespace velvix {

class BeautyEffect final : public EffectFamily {
public:
    const char *name() const override { return "beauty"; }
    bool apply(const EffectInfo &info, int value, const char *, const QJsonObject &) override
    {
        return set(info.name, value);
    }
    void clear() override { reset(); }
    void release(Gl *) override {}
    const char *composeInclude() const override { return "effects/beauty/beauty.glsl"; }
    void contribute(ComposeParams &params, const FrameContext &) const override { contribute(params); }
    void finishCompose(FrameContext &frame, GLuint source, ComposeParams &params) override;
    // Smoothing knows where faces are when the tracker runs.
    unsigned trackersNeeded() const override;
    void setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const override;

    // True when the name belongs to this family (value already clamped).
    bool set(const std::string &name, int value);
    void reset();

    bool smoothingActive() const { return m_smooth > 0; }
    // Runs the downscaled blur passes of the smoothing; returns their result.
    // `faceMask` (8 vec4 a face, see beauty_blur.frag) limits the stronger
    // face smoothing to skin; null without faces.
    GLuint runBlur(Renderer &renderer, GLuint source, int width, int height, ScratchTextures &scratch,
                   const std::vector<float> *faceMask = nullptr);
    void contribute(ComposeParams &params) const;

private:
    float smoothEps() const;

    int m_smooth = 0;
    int m_whiten = 0;
    int m_rosy = 0;
    int m_sharpen = 0;
    int m_contrast = 0;
    int m_saturation = 0;
};

} // namespace velvix
