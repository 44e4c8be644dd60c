#include "effects/body/BodyEffect.h"

#include "core/ShaderProgram.h"
#include "vision/BodyTracker.h"

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

using vision::BodyPoint;

struct P {
    float x = 0;
    float y = 0;
};
P operator+(P a, P b) { return {a.x + b.x, a.y + b.y}; }
P operator-(P a, P b) { return {a.x - b.x, a.y - b.y}; }
P operator*(P a, float s) { return {a.x * s, a.y * s}; }
float length(P a) { return std::sqrt(a.x * a.x + a.y * a.y); }

} // namespace

BodyEffect::BodyEffect() : WarpFamily(vision::BodyTracking, "effects/body/body_shape.frag", 3, kMaxWarps) {}

bool BodyEffect::hasPass(const FrameContext &frame) const
{
    if (!anySet())
        return false;
    const auto *body = dynamic_cast<const vision::BodyResult *>(frame.tracking[vision::BodyTracking].get());
    return body && !body->people.empty() && body->width > 0 && body->height > 0;
}

BodyEffect::Plan BodyEffect::planFor(const vision::BodyPose &pose, float scaleX, float scaleY) const
{
    Plan plan;
    const auto pt = [&](int k) {
        return P{pose.points[static_cast<size_t>(k)].x * scaleX, pose.points[static_cast<size_t>(k)].y * scaleY};
    };
    const auto seen = [&](int k) { return pose.has(k); };
    if (!seen(vision::LeftShoulder) || !seen(vision::RightShoulder))
        return plan;
    const P ls = pt(vision::LeftShoulder);
    const P rs = pt(vision::RightShoulder);
    const float width = length(ls - rs);  // shoulder width: the unit of every warp
    if (width < 8.0f)
        return plan;
    const P shoulders = (ls + rs) * 0.5f;
    const bool hips = seen(vision::LeftHip) && seen(vision::RightHip);
    const P hipMid = hips ? (pt(vision::LeftHip) + pt(vision::RightHip)) * 0.5f : shoulders + P{0, 1.4f * width};
    P down = hipMid - shoulders;
    const float torso = std::max(length(down), 0.5f * width);
    down = down * (1.0f / std::max(length(down), 1e-3f));
    const P across{down.y, -down.x};  // x axis of the body's frame

    const auto addScale = [&](P c, float rx, float ry, float sx, float sy) {
        plan.warps.push_back({{c.x, c.y}, {across.x, across.y}, rx, ry, 1, sx, sy});
    };
    const auto addMove = [&](P c, float rx, float ry, P by) {
        // Moves are given in the picture's frame; the shader takes them in the body's.
        const float mx = by.x * across.x + by.y * across.y;
        const float my = -by.x * across.y + by.y * across.x;
        plan.warps.push_back({{c.x, c.y}, {across.x, across.y}, rx, ry, 2, mx, my});
    };
    const auto addSqueeze = [&](int from, int to, float radius, float s) {
        // The far end of a limb is often half hidden (the picture's edge, a
        // coat): a weaker score will do there.
        if (!seen(from) || !pose.has(to, 0.15f))
            return;
        const P a = pt(from);
        const P b = pt(to);
        plan.warps.push_back({{a.x, a.y}, {b.x, b.y}, radius, radius, 0, s, 0});
    };

    float s = 0;
    if ((s = value("body.slimWaist")) != 0 && hips)
        plan.warps.push_back({{shoulders.x, shoulders.y}, {hipMid.x, hipMid.y}, 1.2f * torso, 0.45f, 3, 0.3f * s, 0.72f});
    if ((s = value("body.slimLeg")) != 0 && hips) {
        addSqueeze(vision::LeftHip, vision::LeftKnee, 0.42f * width, 0.22f * s);
        addSqueeze(vision::RightHip, vision::RightKnee, 0.42f * width, 0.22f * s);
        addSqueeze(vision::LeftKnee, vision::LeftAnkle, 0.32f * width, 0.22f * s);
        addSqueeze(vision::RightKnee, vision::RightAnkle, 0.32f * width, 0.22f * s);
    }
    if ((s = value("body.slimArm")) != 0) {
        addSqueeze(vision::LeftShoulder, vision::LeftElbow, 0.3f * width, 0.25f * s);
        addSqueeze(vision::RightShoulder, vision::RightElbow, 0.3f * width, 0.25f * s);
        addSqueeze(vision::LeftElbow, vision::LeftWrist, 0.24f * width, 0.25f * s);
        addSqueeze(vision::RightElbow, vision::RightWrist, 0.24f * width, 0.25f * s);
    }
    if ((s = value("body.shoulder")) != 0) {
        // Positive narrows the shoulders: each moves towards the neck.
        const P inward = (rs - ls) * (1.0f / width);
        addMove(ls, 0.45f * width, 0.45f * width, inward * (0.09f * width * s));
        addMove(rs, 0.45f * width, 0.45f * width, inward * (-0.09f * width * s));
    }
    if ((s = value("body.headSize")) != 0) {
        // Positive makes the head smaller; its centre from the face points seen.
        P centre;
        int count = 0;
        for (int k : {vision::Nose, vision::LeftEye, vision::RightEye, vision::LeftEar, vision::RightEar}) {
            if (seen(k)) {
                centre = centre + pt(k);
                ++count;
            }
        }
        if (count >= 2) {
            centre = centre * (1.0f / static_cast<float>(count));
            addScale(centre, 0.75f * width, 0.95f * width, -0.15f * s, -0.15f * s);
        }
    }
    if ((s = value("body.enlargeChestStrength")) != 0 && hips) {
        const P chest = shoulders + (hipMid - shoulders) * 0.3f;
        addScale(chest + across * (0.22f * width), 0.3f * width, 0.3f * width, 0.2f * s, 0.2f * s);
        addScale(chest - across * (0.22f * width), 0.3f * width, 0.3f * width, 0.2f * s, 0.2f * s);
    }
    // The leg stretch maps whole rows, so it is only made for an upright person.
    if ((s = value("body.longLeg")) != 0 && hips && std::abs(down.x) < 0.5f && down.y > 0) {
        plan.legY = std::max(pt(vision::LeftHip).y, pt(vision::RightHip).y);
        plan.legRamp = 0.35f * torso;
        plan.legStretch = 0.18f * s;
    }
    if (plan.warps.size() > static_cast<size_t>(kMaxWarps))
        plan.warps.resize(kMaxWarps);
    return plan;
}

bool BodyEffect::fillData(const FrameContext &frame, std::vector<float> &data, int *rows, int bounds[4])
{
    (void)bounds;  // the leg stretch reaches the picture's edges
    const auto *result = dynamic_cast<const vision::BodyResult *>(frame.tracking[vision::BodyTracking].get());
    if (!result || result->people.empty() || result->width <= 0 || result->height <= 0)
        return false;
    const float scaleX = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float scaleY = static_cast<float>(frame.height) / static_cast<float>(result->height);
    const Plan plan = planFor(result->people.front(), scaleX, scaleY);
    if (plan.empty())
        return false;
    for (size_t i = 0; i < plan.warps.size(); ++i) {
        const Warp &w = plan.warps[i];
        const float values[12] = {w.a[0], w.a[1], w.b[0], w.b[1], w.rx, w.ry, static_cast<float>(w.kind), 0,
                                  w.s, w.t, 0, 0};
        std::copy(values, values + 12, &data[12 * i]);
    }
    m_count = static_cast<int>(plan.warps.size());
    m_leg[0] = plan.legY;
    m_leg[1] = plan.legRamp;
    m_leg[2] = plan.legStretch;
    // The leg stretch alone still needs one (empty) row of data.
    *rows = std::max(m_count, 1);
    return true;
}

void BodyEffect::setFieldUniforms(Gl *gl, ShaderProgram &program) const
{
    program.set(gl, "u_count", m_count);
    program.set(gl, "u_leg", m_leg[0], m_leg[1], m_leg[2]);
}

} // namespace velvix
