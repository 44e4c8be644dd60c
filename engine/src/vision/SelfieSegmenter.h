// Portrait segmentation with MediaPipe's selfie model (256 x 256) on
// OpenCV DNN: the probability of "person" for every cell of a 256 x 256
// grid laid over the whole frame. The model sees the luma plane repeated in
// its three channels (the trackers get luma only); on the demo portraits
// that mask overlaps the colour one by IoU 0.96 and 0.99.
//
// Video masks are smoothed over time where they barely change (flicker of
// the model's soft edge) and follow at once where they change a lot (the
// person moved), so the mask never trails a motion.
#pragma once

#include "vision/Tracker.h"

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <memory>
#include <string>

namespace velvix::vision {

struct SegmentationResult : TrackResult {
    static constexpr int Size = 256;
    // Size x Size bytes, 0 background .. 255 person, row 0 = top.
    cv::Mat mask;
    // Size x Size bytes: how much the mask varies over the 5 x 5 cells about
    // each cell (the footprint of the edge refinement on the GPU); 0 where
    // the mask is flat. Made here, off the frame path.
    cv::Mat band;
};

class SelfieSegmenter final : public Tracker {
public:
    static constexpr int Input = SegmentationResult::Size;

    // Null when the model file is missing or is not the selfie model (one
    // log line).
    static std::unique_ptr<SelfieSegmenter> create(const std::string &modelPath);

    std::shared_ptr<TrackResult> track(const LumaFrame &frame) override;

    // The model's raw probabilities (Input x Input, CV_32F) for a grey
    // picture, without time smoothing.
    cv::Mat probabilities(const cv::Mat &grey);
    // The bare forward pass on the prepared input (benchmark reference).
    cv::Mat forwardOnly();
    void reset() { m_previous.release(); }

private:
    explicit SelfieSegmenter(cv::dnn::Net net);
    cv::dnn::Net m_net;
    cv::Mat m_blob;      // 1 x Input x Input x 3, float
    cv::Mat m_previous;  // CV_32F, the last smoothed mask
};

} // namespace velvix::vision
