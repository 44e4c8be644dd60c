// The hand atomic ability ("atomic.handSkeleton", on above 0): each tracked
// hand's 21 landmarks and the bones between them, drawn over the picture as
// it is with the face abilities' overlay program, and the recognised
// gesture's name in a label above the hand.
#pragma once

#include "core/EffectFamily.h"
#include "effects/faceinfo/SegmentOverlay.h"

#include <QImage>

#include <array>
#include <vector>

namespace velvix {

class HandInfoEffect final : public EffectFamily {
public:
    using Segment = OverlaySegment;

    const char *name() const override { return "handinfo"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_on = false; }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The bones and joints drawn for the current frame (output pixels).
    std::vector<Segment> segmentsFor(const FrameContext &frame) const;

private:
    static constexpr int kGestures = 7;  // vision::Gesture, None included
    static constexpr int kMaxSegments = 128;
    bool m_on = false;
    SegmentOverlay m_overlay{kMaxSegments};
    std::array<GLuint, kGestures> m_labels{};
    std::array<QImage, kGestures> m_labelImages;
};

} // namespace velvix
