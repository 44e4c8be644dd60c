// Image-quality family ("quality.*"): global tone and colour adjustments,
// sharpness, vignette and film grain, all folded into the fused colour pass.
#pragma once

#include "core/EffectFamily.h"
#include "core/EffectParams.h"
#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <map>

namespace velvix {

class QualityEffect final : public EffectFamily {
public:
    const char *name() const override { return "quality"; }
    bool apply(const EffectInfo &info, int value, const char *, const QJsonObject &) override
    {
        return set(info.name, value);
    }
    void clear() override { reset(); }
    void release(Gl *) override {}
    const char *composeInclude() const override { return "effects/quality/quality.glsl"; }
    void contribute(ComposeParams &params, const FrameContext &frame) const override
    {
        contribute(params, static_cast<unsigned>(frame.sequence));
    }
    void setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const override;

    bool set(const std::string &name, int value);
    void reset() { m_values.clear(); }
    void contribute(ComposeParams &params, unsigned frameNumber) const;
    // Sets the colour-grade uniforms of quality.glsl on a bound program.
    static void setGradeUniforms(Gl *gl, ShaderProgram &program, const ComposeParams &params);

private:
    float value(const char *name) const;
    std::map<std::string, int> m_values;
};

} // namespace velvix
