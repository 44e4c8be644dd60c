#include "effects/faceinfo/FaceInfoEffect.h"

#include "core/Renderer.h"
#include "core/TextureRing.h"
#include "vision/FaceTrackerAdapter.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velvix {

bool FaceInfoEffect::apply(const EffectInfo &info, int value, const char *, const QJsonObject &)
{
    const bool on = value > 0;
    if (std::strcmp(info.name, "atomic.faceLandmarks") == 0)
        m_on[Landmarks] = on;
    else if (std::strcmp(info.name, "atomic.faceMesh") == 0)
        m_on[Mesh] = on;
    else if (std::strcmp(info.name, "atomic.headPose") == 0)
        m_on[Pose] = on;
    else
        return false;
    return true;
}

void FaceInfoEffect::release(Gl *gl)
{
    m_overlay.release(gl);
}

unsigned FaceInfoEffect::trackersNeeded() const
{
    if (!any())
        return 0;
    // Irises are drawn with the landmarks; the mesh and pose views do without.
    return vision::trackerBit(vision::FaceTracking) | (m_on[Landmarks] ? vision::FaceIrises : 0u);
}

bool FaceInfoEffect::hasPass(const FrameContext &frame) const
{
    if (!any())
        return false;
    const auto *faces = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    return faces && !faces->faces.empty() && faces->width > 0 && faces->height > 0;
}

std::vector<FaceInfoEffect::Segment> FaceInfoEffect::segmentsFor(const FrameContext &frame) const
{
    std::vector<Segment> segments;
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return segments;
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    const auto add = [&](cv::Point2f a, cv::Point2f b, float r, float g, float bl) {
        if (segments.size() < static_cast<size_t>(kMaxSegments))
            segments.push_back({a.x * sx, a.y * sy, b.x * sx, b.y * sy, r, g, bl});
    };
    for (const vision::Face &face : result->faces) {
        if (face.landmarks.size() < 468)
            continue;
        if (m_on[Landmarks]) {
            const cv::Rect2f &box = face.box;
            const cv::Point2f tl = box.tl(), br = box.br(), tr(br.x, tl.y), bl(tl.x, br.y);
            add(tl, tr, 0.2f, 1.0f, 0.4f);
            add(tr, br, 0.2f, 1.0f, 0.4f);
            add(br, bl, 0.2f, 1.0f, 0.4f);
            add(bl, tl, 0.2f, 1.0f, 0.4f);
            for (size_t i = 0; i < face.landmarks.size(); ++i) {
                const cv::Point2f p = face.point(static_cast<int>(i));
                add(p, p, 1.0f, 0.85f, 0.2f);
            }
            // Each iris as a circle round its centre.
            for (int eye = 0; eye < 2; ++eye) {
                const float r = face.irisRadius(eye);
                if (!(r > 0))
                    continue;
                const cv::Point2f c = eye == 0 ? face.rightPupil() : face.leftPupil();
                constexpr int Steps = 16;
                for (int k = 0; k < Steps; ++k) {
                    const float a0 = float(2 * M_PI * k / Steps), a1 = float(2 * M_PI * (k + 1) / Steps);
                    add(c + r * cv::Point2f(std::cos(a0), std::sin(a0)), c + r * cv::Point2f(std::cos(a1), std::sin(a1)),
                        0.3f, 0.9f, 1.0f);
                }
                add(c, c, 0.3f, 0.9f, 1.0f);
            }
        }
        if (m_on[Mesh]) {
            // The mesh as the Delaunay triangulation of its points.
            cv::Rect2f bounds = face.box;
            bounds.x -= 4;
            bounds.y -= 4;
            bounds.width += 8;
            bounds.height += 8;
            cv::Subdiv2D subdiv(cv::Rect(cvFloor(bounds.x), cvFloor(bounds.y), cvCeil(bounds.width) + 1,
                                         cvCeil(bounds.height) + 1));
            for (size_t i = 0; i < face.landmarks.size(); ++i) {
                cv::Point2f p = face.point(static_cast<int>(i));
                p.x = std::min(std::max(p.x, bounds.x + 1), bounds.x + bounds.width - 1);
                p.y = std::min(std::max(p.y, bounds.y + 1), bounds.y + bounds.height - 1);
                subdiv.insert(p);
            }
            std::vector<cv::Vec4f> edges;
            subdiv.getEdgeList(edges);
            for (const cv::Vec4f &e : edges) {
                const cv::Point2f a(e[0], e[1]), b(e[2], e[3]);
                if (!bounds.contains(a) || !bounds.contains(b))
                    continue;  // the triangulation's outer helper vertices
                add(a, b, 0.3f, 0.85f, 1.0f);
            }
        }
        if (m_on[Pose] && face.pose.valid) {
            // Axes of the head (x red, y green, z blue), 60 mm long, drawn
            // from the nose tip.
            const double f = std::max(result->width, result->height);
            const cv::Matx33d camera(f, 0, result->width / 2.0, 0, f, result->height / 2.0, 0, 0, 1);
            const std::vector<cv::Point3d> axes = {{0, 0, 0}, {60, 0, 0}, {0, -60, 0}, {0, 0, -60}};
            std::vector<cv::Point2d> projected;
            cv::projectPoints(axes, face.pose.rvec, face.pose.tvec, camera, cv::noArray(), projected);
            const cv::Point2f nose = face.point(vision::Landmark::NoseTip);
            const cv::Point2f shift = nose - cv::Point2f(projected[0]);
            const float colours[3][3] = {{1, 0.2f, 0.2f}, {0.2f, 1, 0.2f}, {0.3f, 0.5f, 1}};
            for (int axis = 0; axis < 3; ++axis)
                add(nose, cv::Point2f(projected[static_cast<size_t>(axis + 1)]) + shift, colours[axis][0],
                    colours[axis][1], colours[axis][2]);
        }
    }
    return segments;
}

GLuint FaceInfoEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    return m_overlay.draw(frame, source, sourceLinear, target, "faceinfo.out", segmentsFor(frame),
                          std::max(0.75f, static_cast<float>(std::min(frame.width, frame.height)) / 720.0f));
}

} // namespace velvix
