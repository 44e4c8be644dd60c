#pragma once
// MediaPipe BlazeFace (short range, 128 x 128) on OpenCV DNN: letterboxing,
// anchor decoding and weighted non-maximum suppression.

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <array>
#include <string>
#include <vector>

namespace velvix::vision {

struct FaceDetection {
    float score = 0;
    cv::Rect2f box;                        // pixels of the picture
    std::array<cv::Point2f, 6> keypoints;  // right eye, left eye, nose, mouth, right ear, left ear
};

class BlazeFace {
public:
    static constexpr int InputSize = 128;
    static constexpr int AnchorCount = 896;

    // Throws std::runtime_error (with the reason) when the file is missing,
    // does not parse, or is not this detector.
    void load(const std::string &path);
    bool isLoaded() const { return !m_net.empty(); }

    // `image` is 8-bit grey, RGB or RGBA. Faces with score >= minScore,
    // best first, overlapping boxes merged.
    std::vector<FaceDetection> detect(const cv::Mat &image, float minScore);

    // Anchor centres in [0, 1] of the square input, in the order of the
    // model's outputs (512 at stride 8, then 384 at stride 16).
    static std::vector<cv::Point2f> anchors();
    // Turns raw outputs into detections in [0, 1] square-input units.
    static std::vector<FaceDetection> decode(const float *scores, const float *boxes,
                                             const std::vector<cv::Point2f> &anchors, float minScore);
    // Weighted non-maximum suppression (overlapping detections averaged by score).
    static std::vector<FaceDetection> suppress(std::vector<FaceDetection> detections, float iou);

private:
    cv::dnn::Net m_net;
    std::vector<cv::Point2f> m_anchors;
    std::vector<std::string> m_outputs;
    cv::Mat m_blob;
};

float intersectionOverUnion(const cv::Rect2f &a, const cv::Rect2f &b);

// Copies an 8-bit grey, RGB or RGBA picture into `dst` (CV_32FC3, RGB),
// mapping 0..255 to lo..hi.
void toModelInput(const cv::Mat &src, cv::Mat &dst, float lo, float hi);

}  // namespace velvix::vision
