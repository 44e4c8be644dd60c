// Where makeup goes on one face: soft masks drawn from the 468 face-mesh
// landmarks, one channel per MakeupKind, over a rectangle around the face.
// They follow the landmarks, so they follow the head, an open mouth (the
// mouth opening is cut out of the lips) and the eyelids.
#pragma once

#include "effects/makeup/MakeupLook.h"

#include <opencv2/core.hpp>

#include <vector>

namespace velvix {

struct MakeupMasks {
    cv::Rect area;        // output pixels the masks cover
    cv::Mat channels[2];  // CV_8UC4 each: kinds 0..3 and 4..6, `area` scaled by `scale`
    float scale = 1;
    float fade = 1;       // 1 facing the camera, down to 0 for a face turned aside
};

// `points` are the face's landmarks in output pixels; only the kinds in
// `wanted` (bit per MakeupKind) are drawn. False when the face is too small
// or off the picture.
bool buildMakeupMasks(const std::vector<cv::Point2f> &points, cv::Size output, unsigned wanted, MakeupMasks *masks);

// The lip ring (outer contour) and the mouth opening, in landmark indices.
const std::vector<int> &outerLipRing();
const std::vector<int> &innerLipRing();

} // namespace velvix
