// Up to two hands, 21 landmarks each (MediaPipe order, see HandGesture.h),
// from two models: a palm detector (256 x 256, letterboxed, 2944 anchors)
// finds palms, and the landmark model (224 x 224) reads 21 points from a
// square crop turned so that the fingers point up. Once a hand is found its
// next crop comes from its own landmarks, so the detector runs only when a
// hand is missing (every frame while none is seen, every few frames while
// there is room for one more). Live frames are smoothed with One-Euro
// filters; stills stand alone. A newly found hand is read twice: from the
// palm's crop, then from the crop its first landmarks give.
#pragma once

#include "HandGesture.h"
#include "OneEuroFilter.h"
#include "Tracker.h"

#include <opencv2/dnn.hpp>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velvix::vision {

struct Hand {
    std::array<cv::Point2f, 21> points{};  // pixels of the frame
    float presence = 0;                    // the landmark model's hand score, 0..1
    float handedness = 0;                  // the model's "right hand" score, 0..1
    Gesture gesture = Gesture::None;
    // Bounding box of the points.
    cv::Rect2f box() const;
    // Wrist to the middle finger's knuckle: the hand's scale.
    float palmLength() const { return static_cast<float>(cv::norm(points[9] - points[0])); }
};

struct HandResult : TrackResult {
    std::vector<Hand> hands;  // 0..2
};

// A square crop: its centre, side and turn (radians, clockwise in the
// picture; 0 = fingers up).
struct HandRegion {
    cv::Point2f centre;
    float size = 0;
    float rotation = 0;
};

struct Palm {
    float score = 0;
    cv::Rect2f box;                      // frame pixels
    std::array<cv::Point2f, 7> points{}; // 0 wrist, 2 middle finger knuckle, ...
};

class HandTracker final : public Tracker {
public:
    static constexpr int kMaxHands = 2;
    static constexpr float kPalmScore = 0.5f;
    static constexpr float kPresence = 0.5f;
    // Detector runs at most every this many frames while a hand is tracked.
    static constexpr int kRedetectEvery = 6;

    // Null when handdetect.onnx or handlandmark-lite.onnx in `modelDir` is
    // missing or unusable (logged).
    static std::unique_ptr<HandTracker> create(const std::string &modelDir);

    std::shared_ptr<TrackResult> track(const LumaFrame &frame) override;

    // The two stages, for tests and benchmarks. Palms best first, after
    // non-maximum suppression.
    std::vector<Palm> detectPalms(const cv::Mat &luma);
    bool readLandmarks(const cv::Mat &luma, const HandRegion &region, Hand *hand);
    static HandRegion regionFromPalm(const Palm &palm);
    static HandRegion regionFromLandmarks(const Hand &hand);

private:
    HandTracker(cv::dnn::Net detector, cv::dnn::Net landmarks);

    struct Slot {
        HandRegion region;
        std::array<OneEuroFilter, 42> filters{};
        std::chrono::steady_clock::time_point last{};
    };
    void resetSlot(Slot &slot);
    bool detect(const cv::Mat &luma, std::vector<Palm> *palms);  // false: the model failed (logged)

    cv::dnn::Net m_detector;
    cv::dnn::Net m_landmarks;
    std::vector<Slot> m_slots;  // hands followed from the last frame
    int m_sinceDetection = 0;
    std::vector<float> m_anchors;  // x, y pairs, 0..1
};

} // namespace velvix::vision
