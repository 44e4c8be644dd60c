// The body atomic ability ("atomic.bodySkeleton", on above 0): the body
// tracker's 17 keypoints and the bones between them, drawn over the picture
// as it is, with the face abilities' overlay program.
#pragma once

#include "core/EffectFamily.h"
#include "effects/faceinfo/SegmentOverlay.h"

#include <vector>

namespace velvix {

class BodyInfoEffect final : public EffectFamily {
public:
    using Segment = OverlaySegment;

    const char *name() const override { return "bodyinfo"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_on = false; }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The bones and joints drawn for the current frame (output pixels).
    std::vector<Segment> segmentsFor(const FrameContext &frame) const;

private:
    static constexpr int kMaxSegments = 64;
    bool m_on = false;
    SegmentOverlay m_overlay{kMaxSegments};
};

} // namespace velvix
