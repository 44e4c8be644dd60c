// Face reshaping ("shape.*" 0..100 and "basicV7.*" -100..100): landmark-
// anchored warps per face, one displacement field for all faces (see
// reshape.frag and WarpFamily). Needs the face tracker; without faces the
// frame passes through untouched.
#pragma once

#include "core/WarpFamily.h"

#include <vector>

namespace velvix {

namespace vision {
struct Face;
}

class ReshapeEffect final : public WarpFamily {
public:
    // One warp in face-local units (see reshape.frag).
    struct Warp {
        float cx, cy, radius;
        int kind;  // 0 move, 1 scale, 2 rotate
        float a, b;
    };
    static constexpr int kMaxFaces = 4;
    static constexpr int kMaxWarps = 256;

    ReshapeEffect();
    const char *name() const override { return "reshape"; }
    bool hasPass(const FrameContext &frame) const override;

    // The warps of one face for the current settings, in face-local units,
    // with the face's frame (origin and axis in output pixels, unit = eye
    // distance in pixels); landmarks are scaled by scaleX, scaleY first.
    std::vector<Warp> warpsFor(const vision::Face &face, float scaleX, float scaleY, float origin[2],
                               float axis[2], float *unit) const;

private:
    bool fillData(const FrameContext &frame, std::vector<float> &data, int *rows, int bounds[4]) override;
    void setFieldUniforms(Gl *gl, ShaderProgram &program) const override;

    int m_faceCount = 0;
};

} // namespace velvix
