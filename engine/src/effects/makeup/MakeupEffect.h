// Makeup on every tracked face: single effects ("makeup.lipstick",
// "makeup.blush", "makeup.eyebrow", "makeup.eyeshadow", "makeup.eyeliner",
// "makeup.contour", 0..100, each with a package) and light looks
// ("light.makeup", a package naming several of them) and styled looks
// ("makeup": makeup plus a filter and face-shape settings, which go to
// their own families as companions). One pass: a copy of
// the frame, then per face a scissored draw of makeup.frag over masks built
// from the landmarks (MakeupMasks). Registered before reshaping, so the
// makeup is warped with the face it is painted on.
#pragma once

#include "core/EffectFamily.h"
#include "effects/makeup/MakeupLook.h"
#include "effects/makeup/MakeupMasks.h"

namespace velvix {

class MakeupEffect final : public EffectFamily {
public:
    const char *name() const override { return "makeup"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override;
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;
    std::vector<Companion> takeCompanions() override;

    // The layers drawn now (single effects over the light look), opacity
    // already scaled by the strengths.
    MakeupLayers activeLayers() const;

private:
    struct Setting {
        MakeupLayers layers{};
        float strength = 0;  // 0..1
    };
    Setting m_single[kMakeupKinds];  // by MakeupKind of the effect name
    Setting m_light;
    Setting m_style;
    // The styled look's other settings (at look strength 100), those last
    // handed to their families, and those waiting to be handed over.
    std::vector<StyleSetting> m_styleSettings;
    std::vector<std::string> m_styleApplied;
    std::vector<Companion> m_companions;
    void updateStyleCompanions();
    GLuint m_masks[2] = {0, 0};
};

} // namespace velvix
