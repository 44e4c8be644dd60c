// Face reshaping ("shape.*" 0..100 and "basicV7.*" -100..100): landmark-
// anchored warps per face, drawn as one full-size displacement pass (see
// reshape.frag). Needs the face tracker; without faces the frame passes
// through untouched.
#pragma once

#include "core/EffectFamily.h"

#include <map>
#include <string>
#include <vector>

namespace velvix {

namespace vision {
struct Face;
}

class ReshapeEffect final : public EffectFamily {
public:
    // One warp in face-local units (see reshape.frag).
    struct Warp {
        float cx, cy, radius;
        int kind;  // 0 move, 1 scale, 2 rotate
        float a, b;
    };
    static constexpr int kMaxFaces = 4;
    static constexpr int kMaxWarps = 256;

    const char *name() const override { return "reshape"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_values.clear(); }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The warps of one face for the current settings, in face-local units,
    // with the face's frame (origin and axis in output pixels, unit = eye
    // distance in pixels); landmarks are scaled by scaleX, scaleY first.
    std::vector<Warp> warpsFor(const vision::Face &face, float scaleX, float scaleY, float origin[2],
                               float axis[2], float *unit) const;

private:
    float value(const char *name) const;

    std::map<std::string, int> m_values;  // non-neutral settings only
    GLuint m_data = 0;
};

} // namespace velvix
