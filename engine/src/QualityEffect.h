// Image-quality family ("quality.*"): global tone and colour adjustments,
// sharpness, vignette and film grain, all folded into the fused colour pass.
#pragma once

#include "EffectParams.h"
#include "GlCore.h"

#include <map>

namespace velvix {

class QualityEffect {
public:
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
