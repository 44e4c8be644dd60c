// Body shaping ("body.*"): warps anchored on the body tracker's keypoints
// (waist, legs, arms, shoulders, head, chest) drawn as one full-size
// displacement pass (see body_shape.frag). Frames without a person pass
// through untouched.
#pragma once

#include "core/EffectFamily.h"

#include <map>
#include <string>
#include <vector>

namespace velvix {

namespace vision {
struct BodyPose;
}

class BodyEffect final : public EffectFamily {
public:
    struct Warp {
        float a[2], b[2];
        float rx, ry;
        int kind;  // 0 squeeze towards a segment, 1 scale, 2 move, 3 squeeze across a line
        float s, t;
    };
    struct Plan {
        std::vector<Warp> warps;
        float legY = 0, legRamp = 0, legStretch = 0;
        bool empty() const { return warps.empty() && legStretch <= 0; }
    };
    static constexpr int kMaxWarps = 32;

    const char *name() const override { return "body"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_values.clear(); }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The warps for one person at the current settings; keypoints are scaled
    // by scaleX, scaleY into output pixels first.
    Plan planFor(const vision::BodyPose &pose, float scaleX, float scaleY) const;

private:
    float value(const char *name) const;

    std::map<std::string, int> m_values;  // non-neutral settings only
    GLuint m_data = 0;
};

} // namespace velvix
