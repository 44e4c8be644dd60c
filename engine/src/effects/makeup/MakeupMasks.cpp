#include "effects/makeup/MakeupMasks.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

// Face-mesh indices (the subject's right side first: the picture's left).
const std::vector<int> kLipsOuter = {61, 185, 40, 39, 37, 0, 267, 269, 270, 409,
                                     291, 375, 321, 405, 314, 17, 84, 181, 91, 146};
const std::vector<int> kLipsInner = {78, 191, 80, 81, 82, 13, 312, 311, 310, 415,
                                     308, 324, 318, 402, 317, 14, 87, 178, 88, 95};
const int kRightEyeRing[] = {33, 246, 161, 160, 159, 158, 157, 173, 133, 155, 154, 153, 145, 144, 163, 7};
const int kLeftEyeRing[] = {263, 466, 388, 387, 386, 385, 384, 398, 362, 382, 381, 380, 374, 373, 390, 249};
// Upper lids and brows, outer end first.
const int kRightLid[] = {33, 246, 161, 160, 159, 158, 157, 173, 133};
const int kLeftLid[] = {263, 466, 388, 387, 386, 385, 384, 398, 362};
const int kRightBrowUpper[] = {70, 63, 105, 66, 107};
const int kRightBrowLower[] = {46, 53, 52, 65, 55};
const int kLeftBrowUpper[] = {300, 293, 334, 296, 336};
const int kLeftBrowLower[] = {276, 283, 282, 295, 285};
constexpr int kRightCheek = 50, kLeftCheek = 280;
constexpr int kRightFaceSide = 234, kLeftFaceSide = 454;
constexpr int kRightMouthCorner = 61, kLeftMouthCorner = 291;
constexpr int kNoseTip = 4, kNoseBridge = 168, kNoseTop = 6, kForehead = 151, kBrowCentre = 9;
constexpr int kChin = 152, kLowerLip = 17;

using Poly = std::vector<cv::Point2f>;

float length(cv::Point2f v) { return std::sqrt(v.x * v.x + v.y * v.y); }
cv::Point2f lerp(cv::Point2f a, cv::Point2f b, float t) { return a + (b - a) * t; }

// A point a fraction `t` (0..1) along a polyline.
cv::Point2f along(const Poly &line, float t)
{
    float total = 0;
    for (size_t i = 1; i < line.size(); ++i)
        total += length(line[i] - line[i - 1]);
    float want = t * total;
    for (size_t i = 1; i < line.size(); ++i) {
        const float piece = length(line[i] - line[i - 1]);
        if (want <= piece && piece > 0)
            return lerp(line[i - 1], line[i], want / piece);
        want -= piece;
    }
    return line.back();
}

class Painter {
public:
    Painter(cv::Rect area, float scale) : m_area(area), m_scale(scale)
    {
        m_size = cv::Size(std::max(1, cvRound(area.width * scale)), std::max(1, cvRound(area.height * scale)));
    }
    cv::Size size() const { return m_size; }

    cv::Mat blank() const { return cv::Mat::zeros(m_size, CV_8UC1); }
    // Polygon in output pixels, anti-aliased, at 1/16 pixel precision.
    void fill(cv::Mat &mask, const Poly &poly, int value = 255) const
    {
        std::vector<cv::Point> points;
        for (const cv::Point2f &p : poly)
            points.emplace_back(cvRound((p.x - m_area.x) * m_scale * 16), cvRound((p.y - m_area.y) * m_scale * 16));
        const cv::Point *data = points.data();
        const int count = static_cast<int>(points.size());
        cv::fillPoly(mask, &data, &count, 1, cv::Scalar(value), cv::LINE_AA, 4);
    }
    void ellipse(cv::Mat &mask, cv::Point2f centre, float a, float b, float angleDeg) const
    {
        std::vector<cv::Point> points;
        cv::ellipse2Poly(cv::Point(0, 0), cv::Size(1000, 1000), 0, 0, 360, 5, points);
        Poly poly;
        const float c = std::cos(angleDeg * float(CV_PI) / 180), s = std::sin(angleDeg * float(CV_PI) / 180);
        for (const cv::Point &p : points) {
            const float x = p.x / 1000.0f * a, y = p.y / 1000.0f * b;
            poly.emplace_back(centre.x + c * x - s * y, centre.y + s * x + c * y);
        }
        fill(mask, poly);
    }
    // Feathers a mask by about a Gaussian of `sigma` output pixels: two box
    // blurs of the same variance, whose cost does not grow with the radius.
    void feather(cv::Mat &mask, float sigma) const
    {
        const float s = sigma * m_scale;
        const int size = std::max(1, static_cast<int>(std::lround(std::sqrt(6.0f * s * s + 1.0f))) | 1);
        if (size < 3) {
            cv::GaussianBlur(mask, mask, cv::Size(3, 3), std::max(0.3f, s), 0, cv::BORDER_REPLICATE);
            return;
        }
        cv::blur(mask, mask, cv::Size(size, size), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        cv::blur(mask, mask, cv::Size(size, size), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    }

private:
    cv::Rect m_area;
    float m_scale;
    cv::Size m_size;
};

Poly pick(const std::vector<cv::Point2f> &points, const int *indices, size_t count)
{
    Poly poly;
    for (size_t i = 0; i < count; ++i)
        poly.push_back(points[static_cast<size_t>(indices[i])]);
    return poly;
}

template <size_t N>
Poly pick(const std::vector<cv::Point2f> &points, const int (&indices)[N])
{
    return pick(points, indices, N);
}

Poly pick(const std::vector<cv::Point2f> &points, const std::vector<int> &indices)
{
    return pick(points, indices.data(), indices.size());
}

// The eyelid band between the upper lid and the way to the brow.
Poly eyelidBand(const Poly &lid, const Poly &browLower, float reach)
{
    Poly band = lid;
    const cv::Point2f outward = lid.front() - lid.back();
    for (size_t i = lid.size(); i-- > 0;) {
        const float t = static_cast<float>(i) / static_cast<float>(lid.size() - 1);
        const cv::Point2f brow = along(browLower, t);
        // Higher at the outer end, as shadow is laid on.
        band.push_back(lerp(lid[i], brow, reach * (1.15f - 0.35f * t)) + outward * (0.12f * (1.0f - t)));
    }
    return band;
}

// A liner along the upper lid, thickest at the outer end, with a short wing.
Poly linerBand(const Poly &lid, cv::Point2f up, float eyeWidth)
{
    Poly band;
    for (size_t i = lid.size(); i-- > 0;)
        band.push_back(lid[i]);  // inner to outer along the lash line
    const cv::Point2f outward = (lid.front() - lid.back()) * (1.0f / std::max(1.0f, length(lid.front() - lid.back())));
    band.push_back(lid.front() + outward * (0.20f * eyeWidth) + up * (0.10f * eyeWidth));
    for (size_t i = 0; i < lid.size(); ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(lid.size() - 1);  // 0 outer
        band.push_back(lid[i] + up * (eyeWidth * (0.075f - 0.055f * t)));
    }
    return band;
}

} // namespace

const std::vector<int> &outerLipRing() { return kLipsOuter; }
const std::vector<int> &innerLipRing() { return kLipsInner; }

bool buildMakeupMasks(const std::vector<cv::Point2f> &points, cv::Size output, unsigned wanted, MakeupMasks *masks)
{
    if (points.size() < 468 || wanted == 0)
        return false;
    const float faceWidth = length(points[kLeftFaceSide] - points[kRightFaceSide]);
    if (!(faceWidth >= 16.0f))
        return false;
    const cv::Rect2f bounds = cv::boundingRect(points);
    const float margin = 0.12f * faceWidth;
    const cv::Rect area = cv::Rect(cvFloor(bounds.x - margin), cvFloor(bounds.y - margin),
                                   cvCeil(bounds.width + 2 * margin), cvCeil(bounds.height + 2 * margin)) &
                          cv::Rect(0, 0, output.width, output.height);
    if (area.width < 8 || area.height < 8)
        return false;
    // Masks at most 512 pixels across: soft edges need no more.
    const float scale = std::min(1.0f, 512.0f / static_cast<float>(std::max(area.width, area.height)));
    Painter paint(area, scale);

    // Faces turned aside: the nose tip nears one side of the face.
    const float right = length(points[kNoseTip] - points[kRightFaceSide]);
    const float left = length(points[kNoseTip] - points[kLeftFaceSide]);
    const float balance = std::min(right, left) / std::max(1e-3f, std::max(right, left));
    const float t = std::min(1.0f, std::max(0.0f, (balance - 0.2f) / 0.3f));
    masks->fade = t * t * (3 - 2 * t);
    masks->area = area;
    masks->scale = scale;

    const cv::Point2f eyeR = (points[33] + points[133]) * 0.5f, eyeL = (points[263] + points[362]) * 0.5f;
    const cv::Point2f eyeAxis = eyeL - eyeR;
    const float eyeAngle = std::atan2(eyeAxis.y, eyeAxis.x) * 180.0f / float(CV_PI);
    const cv::Point2f browMid = (points[105] + points[334]) * 0.5f;
    cv::Point2f up = browMid - (eyeR + eyeL) * 0.5f;
    up *= 1.0f / std::max(1e-3f, length(up));

    const auto has = [&](MakeupKind kind) { return (wanted >> static_cast<int>(kind)) & 1u; };
    cv::Mat planes[8];
    for (cv::Mat &plane : planes)
        plane = paint.blank();

    cv::Mat eyes;  // the eye openings, to keep colour off the eyeballs
    if (has(MakeupKind::Eyeshadow) || has(MakeupKind::Eyeliner)) {
        eyes = paint.blank();
        paint.fill(eyes, pick(points, kRightEyeRing));
        paint.fill(eyes, pick(points, kLeftEyeRing));
        paint.feather(eyes, 0.002f * faceWidth);
    }

    if (has(MakeupKind::Lipstick)) {
        cv::Mat &lips = planes[static_cast<int>(MakeupKind::Lipstick)];
        paint.fill(lips, pick(points, kLipsOuter));
        paint.fill(lips, pick(points, kLipsInner), 0);  // teeth and tongue stay
        paint.feather(lips, 0.005f * faceWidth);
    }
    if (has(MakeupKind::Blush)) {
        cv::Mat &cheeks = planes[static_cast<int>(MakeupKind::Blush)];
        const cv::Point2f r = lerp(points[kRightCheek], points[kRightFaceSide], 0.22f) - up * (0.03f * faceWidth);
        const cv::Point2f l = lerp(points[kLeftCheek], points[kLeftFaceSide], 0.22f) - up * (0.03f * faceWidth);
        paint.ellipse(cheeks, r, 0.13f * faceWidth, 0.085f * faceWidth, eyeAngle - 12);
        paint.ellipse(cheeks, l, 0.13f * faceWidth, 0.085f * faceWidth, eyeAngle + 12);
        paint.feather(cheeks, 0.04f * faceWidth);
    }
    if (has(MakeupKind::Eyebrow)) {
        cv::Mat &brows = planes[static_cast<int>(MakeupKind::Eyebrow)];
        Poly rightBrow = pick(points, kRightBrowUpper), leftBrow = pick(points, kLeftBrowUpper);
        const Poly rightLower = pick(points, kRightBrowLower), leftLower = pick(points, kLeftBrowLower);
        rightBrow.insert(rightBrow.end(), rightLower.rbegin(), rightLower.rend());
        leftBrow.insert(leftBrow.end(), leftLower.rbegin(), leftLower.rend());
        paint.fill(brows, rightBrow);
        paint.fill(brows, leftBrow);
        paint.feather(brows, 0.008f * faceWidth);
    }
    if (has(MakeupKind::Eyeshadow)) {
        cv::Mat &lids = planes[static_cast<int>(MakeupKind::Eyeshadow)];
        paint.fill(lids, eyelidBand(pick(points, kRightLid), pick(points, kRightBrowLower), 0.55f));
        paint.fill(lids, eyelidBand(pick(points, kLeftLid), pick(points, kLeftBrowLower), 0.55f));
        paint.feather(lids, 0.025f * faceWidth);
        cv::subtract(lids, eyes, lids);
    }
    if (has(MakeupKind::Eyeliner)) {
        cv::Mat &liner = planes[static_cast<int>(MakeupKind::Eyeliner)];
        const Poly rightLid = pick(points, kRightLid), leftLid = pick(points, kLeftLid);
        paint.fill(liner, linerBand(rightLid, up, length(rightLid.front() - rightLid.back())));
        paint.fill(liner, linerBand(leftLid, up, length(leftLid.front() - leftLid.back())));
        paint.feather(liner, 0.003f * faceWidth);
        cv::subtract(liner, eyes, liner);
    }
    if (has(MakeupKind::Contour)) {
        cv::Mat &shade = planes[static_cast<int>(MakeupKind::Contour)];
        // Under the cheekbones, from the ear towards the mouth corner.
        const cv::Point2f r = lerp(points[kRightFaceSide], points[kRightMouthCorner], 0.3f) + up * (0.04f * faceWidth);
        const cv::Point2f l = lerp(points[kLeftFaceSide], points[kLeftMouthCorner], 0.3f) + up * (0.04f * faceWidth);
        const cv::Point2f dr = points[kRightMouthCorner] - points[kRightFaceSide];
        const cv::Point2f dl = points[kLeftMouthCorner] - points[kLeftFaceSide];
        paint.ellipse(shade, r, 0.17f * faceWidth, 0.045f * faceWidth, std::atan2(dr.y, dr.x) * 180.0f / float(CV_PI));
        paint.ellipse(shade, l, 0.17f * faceWidth, 0.045f * faceWidth, std::atan2(dl.y, dl.x) * 180.0f / float(CV_PI));
        paint.feather(shade, 0.045f * faceWidth);
    }
    if (has(MakeupKind::Highlight)) {
        cv::Mat &light = planes[static_cast<int>(MakeupKind::Highlight)];
        const cv::Point2f bridge = points[kNoseBridge] - points[kNoseTip];
        paint.ellipse(light, lerp(points[kNoseTop], points[kNoseTip], 0.35f), 0.5f * length(bridge) * 0.75f,
                      0.03f * faceWidth, std::atan2(bridge.y, bridge.x) * 180.0f / float(CV_PI));
        paint.ellipse(light, lerp(points[kBrowCentre], points[kForehead], 0.5f), 0.11f * faceWidth,
                      0.06f * faceWidth, eyeAngle);
        paint.ellipse(light, lerp(points[kChin], points[kLowerLip], 0.4f), 0.07f * faceWidth, 0.035f * faceWidth,
                      eyeAngle);
        paint.feather(light, 0.03f * faceWidth);
    }
    cv::merge(planes, 4, masks->channels[0]);
    cv::merge(planes + 4, 4, masks->channels[1]);
    return true;
}

} // namespace velvix
