// 2D stickers ("motion" with a package under res/motion/; no package
// switches them off): the package's layers drawn over every tracked face
// (StickerPackage places them). One pass: a copy of the frame, then the quads
// blended on top. Registered after reshaping, so the artwork is not warped.
// A gesture package goes to GestureStickers and is drawn on hands instead.
#pragma once

#include "core/EffectFamily.h"
#include "effects/sticker/GestureStickers.h"
#include "effects/sticker/StickerPackage.h"

#include <QElapsedTimer>

#include <memory>
#include <utility>

namespace velvix {

class StickerEffect final : public EffectFamily {
public:
    const char *name() const override { return "motion"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override;
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;
    std::vector<Companion> takeCompanions() override { return std::exchange(m_companions, {}); }

private:
    GLuint runGesturePass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target);

    std::shared_ptr<const StickerPackage> m_package;
    bool m_on = false;
    bool m_uploaded = false;
    std::vector<std::vector<GLuint>> m_textures;  // per layer, per frame
    std::vector<GLuint> m_stale;                  // textures of a replaced package
    QElapsedTimer m_clock;                        // frame animations
    std::vector<Companion> m_companions;          // the 3D sticker's share of a choice
    GestureStickers m_gesture;                    // a "type": "gesture" package, on hands
};

} // namespace velvix
