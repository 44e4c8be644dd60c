// Body shaping ("body.*"): warps anchored on the body tracker's keypoints
// (waist, legs, arms, shoulders, head, chest) as one displacement field (see
// body_shape.frag and WarpFamily). Frames without a person pass through
// untouched.
#pragma once

#include "core/WarpFamily.h"

#include <vector>

namespace velvix {

namespace vision {
struct BodyPose;
}

class BodyEffect final : public WarpFamily {
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

    BodyEffect();
    const char *name() const override { return "body"; }
    bool hasPass(const FrameContext &frame) const override;

    // The warps for one person at the current settings; keypoints are scaled
    // by scaleX, scaleY into output pixels first.
    Plan planFor(const vision::BodyPose &pose, float scaleX, float scaleY) const;

private:
    bool fillData(const FrameContext &frame, std::vector<float> &data, int *rows, int bounds[4]) override;
    void setFieldUniforms(Gl *gl, ShaderProgram &program) const override;

    int m_count = 0;
    float m_leg[3] = {0, 0, 0};
};

} // namespace velvix
