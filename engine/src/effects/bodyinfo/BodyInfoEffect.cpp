#include "effects/bodyinfo/BodyInfoEffect.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"
#include "vision/BodyTracker.h"

#include <algorithm>

namespace velvix {

namespace {

constexpr int kMaxSegments = 64;

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
    if (m_data && gl)
        gl->glDeleteTextures(1, &m_data);
    m_data = 0;
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
    const std::vector<Segment> segments = segmentsFor(frame);
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *copy = renderer.program("core/copy.frag", {}, "");
    ShaderProgram *overlay = renderer.program("effects/faceinfo/overlay.frag", {}, "", "effects/faceinfo/overlay.vert");
    if (!copy || !overlay)
        return 0;
    GLuint out = target ? target : frame.scratch.get(gl, "bodyinfo.out", frame.width, frame.height, GL_RGBA8);
    copy->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    copy->set(gl, "u_src", 0);
    renderer.drawTo(out, frame.width, frame.height);
    if (segments.empty())
        return out;

    std::vector<float> data(segments.size() * 8);
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment &s = segments[i];
        const float row[8] = {s.x0, s.y0, s.x1, s.y1, s.r, s.g, s.b, 1.0f};
        std::copy(row, row + 8, data.begin() + static_cast<std::ptrdiff_t>(i * 8));
    }
    if (!m_data)
        m_data = createTexture2D(gl, GL_RGBA32F, 2, kMaxSegments, GL_RGBA, GL_FLOAT);
    gl->glActiveTexture(GL_TEXTURE7);
    gl->glBindTexture(GL_TEXTURE_2D, m_data);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, static_cast<GLsizei>(segments.size()), GL_RGBA, GL_FLOAT,
                        data.data());
    overlay->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, m_data, false);
    overlay->set(gl, "u_segments", 0);
    overlay->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    // Bones thicker than the face's landmarks: they are seen from afar.
    overlay->set(gl, "u_halfWidth", std::max(1.5f, static_cast<float>(std::min(frame.width, frame.height)) / 240.0f));
    gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(segments.size() * 6));
    return out;
}

} // namespace velvix
