// Filters ("lut"): colour lookup tables from the standard tiled PNG (512 x 512
// holding 64^3 entries as 8 x 8 tiles of 64 x 64) and from .cube files (1D
// and/or 3D, with DOMAIN_MIN / DOMAIN_MAX), applied trilinearly with an
// intensity.
#pragma once

#include "core/EffectFamily.h"
#include "core/EffectParams.h"
#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <QString>

#include <map>
#include <memory>

namespace velvix {

struct LutTable {
    int size3d = 0;                  // entries per axis, 0 = none
    std::vector<float> table3d;      // rgb, red fastest, then green, then blue
    int size1d = 0;
    std::vector<float> table1d;      // rgb per entry
    float domainMin[3] = {0.f, 0.f, 0.f};
    float domainMax[3] = {1.f, 1.f, 1.f};
};

// Parses a LUT file; null with `error` set on failure.
std::shared_ptr<const LutTable> loadLutFile(const QString &path, QString *error);

class LutFilter final : public EffectFamily {
public:
    const char *name() const override { return "lut"; }
    bool apply(const EffectInfo &, int value, const char *resourcePath, const QJsonObject &) override
    {
        return apply(resourcePath, value);
    }
    void clear() override { reset(); }
    const char *composeInclude() const override { return "effects/lut/lut.glsl"; }
    void contribute(ComposeParams &params, const FrameContext &) const override { contribute(params); }
    void finishCompose(FrameContext &frame, GLuint, ComposeParams &params) override { bake(frame.renderer, params); }
    void setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const override;

    // Selects the filter; an empty path or value 0 removes it. False (filter
    // removed) when the resource cannot be used.
    bool apply(const char *fullPath, int value);
    void reset();
    bool active() const { return m_table && m_intensity > 0; }
    // Uploads a newly selected table; needs the current context.
    void prepare(Renderer &renderer) override;
    void contribute(ComposeParams &params) const;
    // With a 3D table (and no 1D shaper), bakes the frame's colour grade and
    // the intensity into one table and switches `params` over to it, so the
    // fused pass does one lookup and no grade arithmetic. The table is made
    // again only when one of its settings changes.
    void bake(Renderer &renderer, ComposeParams &params);
    // Sets the filter uniforms of lut.glsl (and the baked mapping) on a bound program.
    static void setUniforms(Gl *gl, ShaderProgram &program, const ComposeParams &params);
    void release(Gl *gl) override;

private:
    std::map<QString, std::shared_ptr<const LutTable>> m_cache;
    std::shared_ptr<const LutTable> m_table;
    std::shared_ptr<const LutTable> m_uploaded;
    int m_intensity = 0;
    GLuint m_texture3d = 0;
    GLuint m_texture1d = 0;
    unsigned m_uploadCount = 0;
    GLuint m_baked = 0;
    int m_bakedSize = 0;
    std::vector<float> m_bakedKey;
};

} // namespace velvix
