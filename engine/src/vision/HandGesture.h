// Gestures recognised by rules on the 21 hand landmarks (MediaPipe order:
// 0 wrist; thumb 1-4; index 5-8; middle 9-12; ring 13-16; little 17-20,
// each from the knuckle to the tip). The rules use distances relative to the
// palm (wrist to middle knuckle) and directions in the hand's own frame, so
// they hold for any size and in-plane rotation; only the thumbs-up looks at
// the picture's up.
#pragma once

#include <opencv2/core.hpp>

#include <array>

namespace velvix::vision {

enum class Gesture { None, OpenPalm, Fist, Victory, ThumbsUp, Ok, FingerHeart };

const char *gestureName(Gesture gesture);  // "open_palm", "fist", ..., "none"

// Points in pixels, y down.
Gesture classifyGesture(const std::array<cv::Point2f, 21> &points);

} // namespace velvix::vision
