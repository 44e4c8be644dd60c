// The face atomic abilities: what the face tracker sees, drawn over the
// picture as it is ("atomic.faceLandmarks": boxes and landmarks,
// "atomic.faceMesh": the triangulated 468-point mesh, "atomic.headPose":
// the head's axes). On when the value is above 0.
#pragma once

#include "core/EffectFamily.h"
#include "effects/faceinfo/SegmentOverlay.h"

#include <array>
#include <vector>

namespace velvix {

class FaceInfoEffect final : public EffectFamily {
public:
    using Segment = OverlaySegment;

    const char *name() const override { return "faceinfo"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_on.fill(false); }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The segments drawn for the current frame (output pixels).
    std::vector<Segment> segmentsFor(const FrameContext &frame) const;

private:
    static constexpr int kMaxSegments = 8192;
    enum Ability { Landmarks, Mesh, Pose, AbilityCount };
    bool any() const { return m_on[Landmarks] || m_on[Mesh] || m_on[Pose]; }

    std::array<bool, AbilityCount> m_on{};
    SegmentOverlay m_overlay{kMaxSegments};
};

} // namespace velvix
