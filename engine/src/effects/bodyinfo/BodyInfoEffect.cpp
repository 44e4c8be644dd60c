#include "effects/bodyinfo/BodyInfoEffect.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"
#include "vision/BodyTracker.h"

#include <algorithm>

namespace velvix {

namespace {

using namespace vision;

// Bones of the COCO skeleton, with a colour for the person's left (orange),
// right (cyan) and middle (white).
struct Bone {
    int a, b;
    int side;  // 0 middle, 1 left, 2 right
};
constexpr Bone kBones[] = {
    {LeftShoulder, RightShoulder, 0}, {LeftHip, RightHip, 0}, {LeftShoulder, LeftHip, 1},
    {RightShoulder, RightHip, 2}, {LeftShoulder, LeftElbow, 1}, {LeftElbow, LeftWrist, 1},
    {RightShoulder, RightElbow, 2}, {RightElbow, RightWrist, 2}, {LeftHip, LeftKnee, 1},
    {LeftKnee, LeftAnkle, 1}, {RightHip, RightKnee, 2}, {RightKnee, RightAnkle, 2},
    {Nose, LeftEye, 1}, {Nose, RightEye, 2}, {LeftEye, LeftEar, 1}, {RightEye, RightEar, 2},
};
constexpr float kColours[3][3] = {{1, 1, 1}, {1, 0.6f, 0.1f}, {0.1f, 0.85f, 1}};
constexpr float kShown = 0.2f;  // weaker points are guesses: not drawn

} // namespace

bool BodyInfoEffect::apply(const EffectInfo &, int value, const char *, const QJsonObject &)
{
    m_on = value > 0;
    return true;
}

void BodyInfoEffect::release(Gl *gl)
{
    m_overlay.release(gl);
}

unsigned BodyInfoEffect::trackersNeeded() const
{
    return m_on ? vision::trackerBit(vision::BodyTracking) : 0;
}

bool BodyInfoEffect::hasPass(const FrameContext &frame) const
{
    if (!m_on)
        return false;
    const auto *body = dynamic_cast<const vision::BodyResult *>(frame.tracking[vision::BodyTracking].get());
    return body && !body->people.empty() && body->width > 0 && body->height > 0;
}

std::vector<BodyInfoEffect::Segment> BodyInfoEffect::segmentsFor(const FrameContext &frame) const
{
    std::vector<Segment> segments;
    const auto *result = dynamic_cast<const vision::BodyResult *>(frame.tracking[vision::BodyTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return segments;
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    for (const BodyPose &pose : result->people) {
        const auto at = [&](int k) { return pose.points[static_cast<size_t>(k)]; };
        for (const Bone &bone : kBones) {
            if (!pose.has(bone.a, kShown) || !pose.has(bone.b, kShown))
                continue;
            const float *c = kColours[bone.side];
            segments.push_back({at(bone.a).x * sx, at(bone.a).y * sy, at(bone.b).x * sx, at(bone.b).y * sy, c[0], c[1], c[2]});
        }
        for (int k = 0; k < BodyPointCount; ++k) {
            if (pose.has(k, kShown))
                segments.push_back({at(k).x * sx, at(k).y * sy, at(k).x * sx, at(k).y * sy, 1.0f, 0.2f, 0.3f});
        }
    }
    if (segments.size() > static_cast<size_t>(kMaxSegments))
        segments.resize(kMaxSegments);
    return segments;
}

GLuint BodyInfoEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    // Bones thicker than the face's landmarks: they are seen from afar.
    return m_overlay.draw(frame, source, sourceLinear, target, "bodyinfo.out", segmentsFor(frame),
                          std::max(1.5f, static_cast<float>(std::min(frame.width, frame.height)) / 240.0f));
}

} // namespace velvix
