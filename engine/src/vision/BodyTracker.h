// One person's 17 COCO keypoints from MoveNet (single pose, lightning):
// the luma frame is letterboxed to 192 x 192, the model gives a person
// centre heatmap, per-keypoint heatmaps, regressions from the centre and
// sub-cell offsets; the keypoint nearest the regressed position wins. Live
// frames are smoothed with One-Euro filters; stills stand alone.
#pragma once

#include "OneEuroFilter.h"
#include "Tracker.h"

#include <opencv2/dnn.hpp>

#include <array>
#include <chrono>
#include <memory>
#include <string>

namespace velvix::vision {

// COCO order, as MoveNet gives them ("left" is the person's left).
enum BodyPoint : int {
    Nose, LeftEye, RightEye, LeftEar, RightEar, LeftShoulder, RightShoulder, LeftElbow, RightElbow,
    LeftWrist, RightWrist, LeftHip, RightHip, LeftKnee, RightKnee, LeftAnkle, RightAnkle, BodyPointCount
};

struct BodyPose {
    std::array<cv::Point2f, BodyPointCount> points{};  // pixels of the frame
    std::array<float, BodyPointCount> scores{};        // 0..1
    float score = 0;                                   // mean of the torso's scores
    bool has(int point, float threshold = 0.3f) const { return scores[static_cast<size_t>(point)] >= threshold; }
};

struct BodyResult : TrackResult {
    std::vector<BodyPose> people;  // at most one; empty without a person
};

class BodyTracker final : public Tracker {
public:
    // Null when movenet-lightning.onnx in `modelDir` is missing or unusable (logged).
    static std::unique_ptr<BodyTracker> create(const std::string &modelDir);

    std::shared_ptr<TrackResult> track(const LumaFrame &frame) override;

    // A person counts when the shoulders and hips are seen at least this well.
    static constexpr float kPersonScore = 0.3f;

private:
    explicit BodyTracker(cv::dnn::Net net) : m_net(std::move(net)) { m_filters.fill(OneEuroFilter(1.0, 4.0)); }
    bool infer(const cv::Mat &luma, BodyPose *pose);

    cv::dnn::Net m_net;
    std::array<OneEuroFilter, BodyPointCount * 2> m_filters{};
    bool m_tracking = false;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace velvix::vision
