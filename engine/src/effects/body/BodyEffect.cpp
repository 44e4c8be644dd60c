#include "effects/body/BodyEffect.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"
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

bool BodyEffect::apply(const EffectInfo &info, int value, const char *, const QJsonObject &)
{
    if (value == info.neutral)
        m_values.erase(info.name);
    else
        m_values[info.name] = value;
    return true;
}

float BodyEffect::value(const char *name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? 0.0f : static_cast<float>(it->second) / 100.0f;
}

unsigned BodyEffect::trackersNeeded() const
{
    return m_values.empty() ? 0 : vision::trackerBit(vision::BodyTracking);
}

void BodyEffect::release(Gl *gl)
{
    if (m_data && gl)
        gl->glDeleteTextures(1, &m_data);
    m_data = 0;
}

bool BodyEffect::hasPass(const FrameContext &frame) const
{
    if (m_values.empty())
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

GLuint BodyEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    (void)sourceLinear;
    const auto *result = dynamic_cast<const vision::BodyResult *>(frame.tracking[vision::BodyTracking].get());
    if (!result || result->people.empty())
        return 0;
    const float scaleX = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float scaleY = static_cast<float>(frame.height) / static_cast<float>(result->height);
    const Plan plan = planFor(result->people.front(), scaleX, scaleY);
    if (plan.empty())
        return 0;
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *program = renderer.program("effects/body/body_shape.frag", {}, "");
    if (!program)
        return 0;

    std::vector<float> data(static_cast<size_t>(12 * kMaxWarps), 0.0f);
    for (size_t i = 0; i < plan.warps.size(); ++i) {
        const Warp &w = plan.warps[i];
        float *row = &data[12 * i];
        const float values[12] = {w.a[0], w.a[1], w.b[0], w.b[1], w.rx, w.ry, static_cast<float>(w.kind), 0,
                                  w.s, w.t, 0, 0};
        std::copy(values, values + 12, row);
    }
    if (!m_data)
        m_data = createTexture2D(gl, GL_RGBA32F, 3, kMaxWarps, GL_RGBA, GL_FLOAT);
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, m_data);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 3, kMaxWarps, GL_RGBA, GL_FLOAT, data.data());

    GLuint out = target ? target : frame.scratch.get(gl, "body.out", frame.width, frame.height, GL_RGBA8);
    program->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    program->set(gl, "u_src", 0);
    renderer.bindTexture(1, GL_TEXTURE_2D, m_data, false);
    program->set(gl, "u_data", 1);
    program->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    program->set(gl, "u_count", static_cast<int>(plan.warps.size()));
    program->set(gl, "u_leg", plan.legY, plan.legRamp, plan.legStretch);
    renderer.drawTo(out, frame.width, frame.height);
    return out;
}

} // namespace velvix
