#include "HandGesture.h"

#include <cmath>

namespace velvix::vision {

namespace {

float dist(cv::Point2f a, cv::Point2f b) { return static_cast<float>(cv::norm(a - b)); }

struct Fingers {
    bool extended[5];
    bool folded[5];
};

} // namespace

const char *gestureName(Gesture gesture)
{
    switch (gesture) {
    case Gesture::OpenPalm: return "open_palm";
    case Gesture::Fist: return "fist";
    case Gesture::Victory: return "victory";
    case Gesture::ThumbsUp: return "thumbs_up";
    case Gesture::Ok: return "ok";
    case Gesture::FingerHeart: return "finger_heart";
    case Gesture::None: break;
    }
    return "none";
}

Gesture classifyGesture(const std::array<cv::Point2f, 21> &p)
{
    const cv::Point2f wrist = p[0];
    const float palm = dist(wrist, p[9]);
    if (!(palm > 1e-3f))
        return Gesture::None;
    Fingers f{};
    // Index to little finger: a straight finger's tip is well beyond its
    // middle joint as seen from the wrist; a curled one's tip is back inside.
    for (int finger = 1; finger < 5; ++finger) {
        const int base = 1 + 4 * finger;  // knuckle
        const float tip = dist(wrist, p[static_cast<size_t>(base + 3)]);
        const float pip = dist(wrist, p[static_cast<size_t>(base + 1)]);
        f.extended[finger] = tip > 1.15f * pip;
        f.folded[finger] = tip < 1.0f * pip;
    }
    // The thumb: straight at its middle joint and its tip away from the
    // index knuckle (folded, it lies across the palm).
    const cv::Point2f a = p[3] - p[2];
    const cv::Point2f b = p[4] - p[3];
    const float straight = static_cast<float>(a.dot(b) / (cv::norm(a) * cv::norm(b) + 1e-6));
    const float thumbReach = dist(p[4], p[5]) / palm;
    f.extended[0] = straight > 0.7f && thumbReach > 0.55f;
    f.folded[0] = thumbReach < 0.45f || dist(p[4], p[9]) < 0.5f * palm;

    const float pinch = dist(p[4], p[8]) / palm;
    const bool othersFolded = f.folded[2] && f.folded[3] && f.folded[4];
    const bool othersExtended = f.extended[2] && f.extended[3] && f.extended[4];

    if (pinch < 0.3f && othersExtended)
        return Gesture::Ok;
    // Finger heart: thumb and index tips crossed in front of a closed hand,
    // the index bent but not curled into the palm.
    if (pinch < 0.3f && othersFolded && dist(wrist, p[8]) > 0.9f * dist(wrist, p[6]))
        return Gesture::FingerHeart;
    if (f.extended[0] && f.extended[1] && othersExtended)
        return Gesture::OpenPalm;
    if (f.extended[1] && f.extended[2] && f.folded[3] && f.folded[4] && dist(p[8], p[12]) > 0.3f * palm)
        return Gesture::Victory;
    const bool fourFolded = f.folded[1] && othersFolded;
    if (fourFolded && f.extended[0]) {
        // The thumb points up in the picture, above every knuckle.
        const cv::Point2f dir = p[4] - p[2];
        const float up = -dir.y / (static_cast<float>(cv::norm(dir)) + 1e-6f);
        float highestKnuckle = p[5].y;
        for (int k : {9, 13, 17})
            highestKnuckle = std::min(highestKnuckle, p[static_cast<size_t>(k)].y);
        if (up > 0.7f && p[4].y < highestKnuckle - 0.3f * palm)
            return Gesture::ThumbsUp;
    }
    if (fourFolded && !f.extended[0])
        return Gesture::Fist;
    return Gesture::None;
}

} // namespace velvix::vision
