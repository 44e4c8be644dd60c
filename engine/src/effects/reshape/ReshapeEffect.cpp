#include "effects/reshape/ReshapeEffect.h"

#include "core/ShaderProgram.h"
#include "vision/FaceTrackerAdapter.h"

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

struct Point {
    float x = 0;
    float y = 0;
};

Point mid(Point a, Point b) { return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f}; }

// MediaPipe face mesh indices used here (the subject's right side first; it
// is the picture's left side of an unmirrored picture).
constexpr int kRightBrow[] = {70, 63, 105, 66, 107};
constexpr int kLeftBrow[] = {300, 293, 334, 296, 336};

} // namespace

ReshapeEffect::ReshapeEffect()
    : WarpFamily(vision::FaceTracking, "effects/reshape/reshape.frag", 2, kMaxFaces + kMaxWarps)
{
}

bool ReshapeEffect::hasPass(const FrameContext &frame) const
{
    if (!anySet())
        return false;
    const auto *faces = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    return faces && !faces->faces.empty() && faces->width > 0 && faces->height > 0;
}

std::vector<ReshapeEffect::Warp> ReshapeEffect::warpsFor(const vision::Face &face, float scaleX, float scaleY,
                                                         float origin[2], float axis[2], float *unit) const
{
    std::vector<Warp> warps;
    if (face.landmarks.size() < 468)
        return warps;
    const cv::Point2f r = face.rightEyeCentre();
    const cv::Point2f l = face.leftEyeCentre();
    const Point er{r.x * scaleX, r.y * scaleY};
    const Point el{l.x * scaleX, l.y * scaleY};
    const float dx = el.x - er.x;
    const float dy = el.y - er.y;
    const float iod = std::sqrt(dx * dx + dy * dy);
    if (iod < 4.0f)
        return warps;
    origin[0] = (er.x + el.x) * 0.5f;
    origin[1] = (er.y + el.y) * 0.5f;
    // The eye line may point either way (a mirrored picture): the local x
    // axis runs from the picture-left eye to the picture-right one.
    axis[0] = dx / iod;
    axis[1] = dy / iod;
    if (axis[0] < 0) {
        axis[0] = -axis[0];
        axis[1] = -axis[1];
    }
    *unit = iod;
    const auto local = [&](int index) {
        const float px = face.landmarks[static_cast<size_t>(index)].x * scaleX - origin[0];
        const float py = face.landmarks[static_cast<size_t>(index)].y * scaleY - origin[1];
        return Point{(px * axis[0] + py * axis[1]) / iod, (-px * axis[1] + py * axis[0]) / iod};
    };
    const auto centreOf = [&](const int *indices, int count) {
        Point sum;
        for (int i = 0; i < count; ++i) {
            const Point p = local(indices[i]);
            sum.x += p.x / static_cast<float>(count);
            sum.y += p.y / static_cast<float>(count);
        }
        return sum;
    };
    const auto side = [](Point p) { return p.x < 0 ? -1.0f : 1.0f; };  // outwards along x
    const auto move = [&](Point c, float radius, float mx, float my) {
        warps.push_back({c.x, c.y, radius, 0, mx, my});
    };
    const auto scale = [&](Point c, float radius, float sx, float sy) {
        warps.push_back({c.x, c.y, radius, 1, sx, sy});
    };
    const auto rotate = [&](Point c, float radius, float angle) {
        warps.push_back({c.x, c.y, radius, 2, angle, 0});
    };
    // Inward moves of contour points (both sides).
    const auto pullIn = [&](std::initializer_list<int> indices, float radius, float inward, float up) {
        for (int index : indices) {
            const Point c = local(index);
            move(c, radius, -side(c) * inward, -up);
        }
    };

    const Point rightEye = {-0.5f, 0.0f};
    const Point leftEye = {0.5f, 0.0f};
    const Point rightBrow = centreOf(kRightBrow, 5);
    const Point leftBrow = centreOf(kLeftBrow, 5);
    const Point mouth = mid(local(13), local(14));

    float s = 0;
    if ((s = value("shape.thinFace")) != 0)
        pullIn({132, 172, 150, 361, 397, 379}, 0.55f, 0.075f * s, 0.0f);
    if ((s = value("shape.vFace")) != 0)
        pullIn({150, 176, 379, 400}, 0.45f, 0.07f * s, 0.025f * s);
    if ((s = value("shape.narrowFace")) != 0)
        pullIn({234, 93, 132, 454, 323, 361}, 0.6f, 0.06f * s, 0.0f);
    if ((s = value("shape.smallFace")) != 0)
        scale(mid(local(168), local(152)), 1.6f, -0.1f * s, -0.1f * s);
    if ((s = value("shape.cheekbone")) != 0)
        pullIn({234, 93, 454, 323}, 0.4f, 0.06f * s, 0.0f);
    if ((s = value("shape.jaw")) != 0)
        pullIn({172, 58, 397, 288}, 0.4f, 0.07f * s, 0.02f * s);
    if ((s = value("shape.bigEye")) != 0) {
        scale(rightEye, 0.55f, 0.35f * s, 0.35f * s);
        scale(leftEye, 0.55f, 0.35f * s, 0.35f * s);
    }

    if ((s = value("basicV7.eyeDistance")) != 0) {
        move(rightEye, 0.4f, -0.06f * s, 0);
        move(leftEye, 0.4f, 0.06f * s, 0);
    }
    if ((s = value("basicV7.eyeAngle")) != 0) {
        // Positive lifts the outer corners.
        rotate(rightEye, 0.4f, 0.12f * s);
        rotate(leftEye, 0.4f, -0.12f * s);
    }
    if ((s = value("basicV7.eyeWidth")) != 0) {
        scale(rightEye, 0.4f, 0.18f * s, 0);
        scale(leftEye, 0.4f, 0.18f * s, 0);
    }
    if ((s = value("basicV7.eyeHeight")) != 0) {
        scale(rightEye, 0.35f, 0, 0.25f * s);
        scale(leftEye, 0.35f, 0, 0.25f * s);
    }
    if ((s = value("basicV7.eyebrowAngle")) != 0) {
        rotate(rightBrow, 0.45f, 0.12f * s);
        rotate(leftBrow, 0.45f, -0.12f * s);
    }
    if ((s = value("basicV7.eyebrowDistance")) != 0) {
        move(rightBrow, 0.45f, -0.05f * s, 0);
        move(leftBrow, 0.45f, 0.05f * s, 0);
    }
    if ((s = value("basicV7.eyebrowHeight")) != 0) {
        move(rightBrow, 0.45f, 0, -0.06f * s);
        move(leftBrow, 0.45f, 0, -0.06f * s);
    }
    if ((s = value("basicV7.eyebrowLength")) != 0) {
        scale(rightBrow, 0.5f, 0.15f * s, 0);
        scale(leftBrow, 0.5f, 0.15f * s, 0);
    }
    if ((s = value("basicV7.eyebrowThickness")) != 0) {
        scale(rightBrow, 0.3f, 0, 0.35f * s);
        scale(leftBrow, 0.3f, 0, 0.35f * s);
    }
    if ((s = value("basicV7.eyebrowRidge")) != 0) {
        move(local(105), 0.25f, 0, -0.04f * s);
        move(local(334), 0.25f, 0, -0.04f * s);
    }
    if ((s = value("basicV7.noseWing")) != 0)  // positive narrows the wings
        scale(mid(local(98), local(327)), 0.35f, -0.25f * s, 0);
    if ((s = value("basicV7.noseHeight")) != 0)  // positive lifts (shortens) the nose
        move(local(4), 0.45f, 0, -0.05f * s);
    if ((s = value("basicV7.mouthSize")) != 0)
        scale(mouth, 0.55f, 0.18f * s, 0.18f * s);
    if ((s = value("basicV7.mouthHeight")) != 0)
        scale(mouth, 0.45f, 0, 0.25f * s);
    if ((s = value("basicV7.mouthWidth")) != 0)
        scale(mouth, 0.55f, 0.18f * s, 0);
    if ((s = value("basicV7.mouthPosition")) != 0)  // positive moves the mouth up
        move(mouth, 0.5f, 0, -0.06f * s);
    if ((s = value("basicV7.smileFace")) != 0) {
        const Point right = local(61);
        const Point left = local(291);
        move(right, 0.25f, -0.02f * s, -0.05f * s);
        move(left, 0.25f, 0.02f * s, -0.05f * s);
    }
    if ((s = value("basicV7.chin")) != 0)  // positive lengthens the chin
        move(local(152), 0.55f, 0, 0.08f * s);
    if ((s = value("basicV7.forehead")) != 0)  // positive raises the hairline
        move(local(10), 0.7f, 0, -0.08f * s);
    return warps;
}

bool ReshapeEffect::fillData(const FrameContext &frame, std::vector<float> &data, int *rows, int bounds[4])
{
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return false;
    const float scaleX = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float scaleY = static_cast<float>(frame.height) / static_cast<float>(result->height);

    // Faces first (rows 0..3), then every face's warps.
    int faceCount = 0;
    int warpCount = 0;
    float box[4] = {1e9f, 1e9f, -1e9f, -1e9f};
    for (const vision::Face &face : result->faces) {
        if (faceCount == kMaxFaces)
            break;
        float origin[2] = {0, 0};
        float axis[2] = {1, 0};
        float unit = 1;
        const std::vector<Warp> warps = warpsFor(face, scaleX, scaleY, origin, axis, &unit);
        if (warps.empty() || warpCount + static_cast<int>(warps.size()) > kMaxWarps)
            continue;
        float reach = 0;
        for (const Warp &w : warps)
            reach = std::max(reach, std::sqrt(w.cx * w.cx + w.cy * w.cy) + w.radius);
        const float radius = reach * unit;
        box[0] = std::min(box[0], origin[0] - radius);
        box[1] = std::min(box[1], origin[1] - radius);
        box[2] = std::max(box[2], origin[0] + radius);
        box[3] = std::max(box[3], origin[1] + radius);
        float *row = &data[static_cast<size_t>(8 * faceCount)];
        const float faceRow[8] = {origin[0], origin[1], axis[0], axis[1], unit, reach,
                                  static_cast<float>(warpCount), static_cast<float>(warps.size())};
        std::copy(faceRow, faceRow + 8, row);
        for (const Warp &w : warps) {
            float *wr = &data[static_cast<size_t>(8 * (kMaxFaces + warpCount))];
            const float warpRow[6] = {w.cx, w.cy, w.radius, static_cast<float>(w.kind), w.a, w.b};
            std::copy(warpRow, warpRow + 6, wr);
            ++warpCount;
        }
        ++faceCount;
    }
    m_faceCount = faceCount;
    *rows = kMaxFaces + warpCount;
    bounds[0] = std::clamp(static_cast<int>(std::floor(box[0])), 0, frame.width);
    bounds[1] = std::clamp(static_cast<int>(std::floor(box[1])), 0, frame.height);
    bounds[2] = std::clamp(static_cast<int>(std::ceil(box[2])), bounds[0], frame.width);
    bounds[3] = std::clamp(static_cast<int>(std::ceil(box[3])), bounds[1], frame.height);
    return faceCount > 0;
}

void ReshapeEffect::setFieldUniforms(Gl *gl, ShaderProgram &program) const
{
    program.set(gl, "u_faceCount", m_faceCount);
}

} // namespace velvix
