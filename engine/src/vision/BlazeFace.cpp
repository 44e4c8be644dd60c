#include "BlazeFace.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velvix::vision {

namespace {
constexpr int ValuesPerAnchor = 16;  // box (4) + six key points (12)
}

float intersectionOverUnion(const cv::Rect2f &a, const cv::Rect2f &b)
{
    const float inter = (a & b).area();
    const float uni = a.area() + b.area() - inter;
    return uni > 0 ? inter / uni : 0.f;
}

void toModelInput(const cv::Mat &src, cv::Mat &dst, float lo, float hi)
{
    CV_Assert(src.depth() == CV_8U && dst.type() == CV_32FC3 && dst.size() == src.size());
    const double scale = (hi - lo) / 255.0;
    if (src.channels() == 3) {
        src.convertTo(dst, CV_32FC3, scale, lo);
        return;
    }
    cv::Mat rgb;
    cv::cvtColor(src, rgb, src.channels() == 1 ? cv::COLOR_GRAY2RGB : cv::COLOR_RGBA2RGB);
    rgb.convertTo(dst, CV_32FC3, scale, lo);
}

void BlazeFace::load(const std::string &path)
{
    cv::dnn::Net net;
    try {
        net = cv::dnn::readNetFromONNX(path);
    } catch (const cv::Exception &e) {
        throw std::runtime_error("cannot read " + path + ": " + e.err);
    }
    if (net.empty())
        throw std::runtime_error("cannot read " + path);
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    const std::vector<std::string> names = {"Identity:0", "Identity_1:0", "Identity_2:0", "Identity_3:0"};
    // One run on a blank input proves the file is this detector.
    const int dims[] = {1, InputSize, InputSize, 3};
    cv::Mat blob(4, dims, CV_32F, cv::Scalar(0));
    std::vector<cv::Mat> outs;
    try {
        net.setInput(blob);
        net.forward(outs, names);
    } catch (const cv::Exception &e) {
        throw std::runtime_error(path + " is not the BlazeFace detector: " + e.err);
    }
    if (outs.size() != 4 || outs[0].total() != 512 || outs[1].total() != 384
        || outs[2].total() != 512 * ValuesPerAnchor || outs[3].total() != 384 * ValuesPerAnchor)
        throw std::runtime_error(path + " is not the BlazeFace detector (unexpected outputs)");
    m_net = net;
    m_outputs = names;
    m_anchors = anchors();
    m_blob = blob;
}

std::vector<cv::Point2f> BlazeFace::anchors()
{
    // The short-range model's SSD layout: 16 x 16 cells with 2 anchors, then
    // 8 x 8 cells with 6 (three stride-16 layers of 2 anchors merged). All
    // anchors are unit-sized, so only the centres matter.
    std::vector<cv::Point2f> out;
    out.reserve(AnchorCount);
    const struct { int grid, perCell; } layers[] = {{16, 2}, {8, 6}};
    for (const auto &layer : layers)
        for (int y = 0; y < layer.grid; ++y)
            for (int x = 0; x < layer.grid; ++x)
                for (int k = 0; k < layer.perCell; ++k)
                    out.emplace_back((x + 0.5f) / layer.grid, (y + 0.5f) / layer.grid);
    return out;
}

std::vector<FaceDetection> BlazeFace::decode(const float *scores, const float *boxes,
                                             const std::vector<cv::Point2f> &anchors, float minScore)
{
    std::vector<FaceDetection> out;
    const float logitMin = std::log(minScore / (1.f - minScore));
    for (size_t i = 0; i < anchors.size(); ++i) {
        const float logit = std::clamp(scores[i], -100.f, 100.f);
        if (logit < logitMin)
            continue;
        const float *r = boxes + i * ValuesPerAnchor;
        const cv::Point2f a = anchors[i];
        const float s = 1.f / InputSize;
        const float cx = a.x + r[0] * s, cy = a.y + r[1] * s;
        const float w = r[2] * s, h = r[3] * s;
        if (!(w > 0 && h > 0))
            continue;
        FaceDetection d;
        d.score = 1.f / (1.f + std::exp(-logit));
        d.box = cv::Rect2f(cx - w / 2, cy - h / 2, w, h);
        for (int k = 0; k < 6; ++k)
            d.keypoints[k] = cv::Point2f(a.x + r[4 + 2 * k] * s, a.y + r[5 + 2 * k] * s);
        out.push_back(d);
    }
    return out;
}

std::vector<FaceDetection> BlazeFace::suppress(std::vector<FaceDetection> detections, float iou)
{
    std::sort(detections.begin(), detections.end(),
              [](const FaceDetection &a, const FaceDetection &b) { return a.score > b.score; });
    std::vector<FaceDetection> out;
    std::vector<bool> used(detections.size(), false);
    for (size_t i = 0; i < detections.size(); ++i) {
        if (used[i])
            continue;
        // Average the group by score: steadier boxes than keeping the best one.
        double wsum = 0, x = 0, y = 0, w = 0, h = 0;
        std::array<cv::Point2d, 6> kp{};
        for (size_t j = i; j < detections.size(); ++j) {
            if (used[j] || intersectionOverUnion(detections[i].box, detections[j].box) < iou)
                continue;
            used[j] = true;
            const FaceDetection &d = detections[j];
            const double sw = d.score;
            wsum += sw;
            x += sw * d.box.x;
            y += sw * d.box.y;
            w += sw * d.box.width;
            h += sw * d.box.height;
            for (int k = 0; k < 6; ++k)
                kp[k] += sw * cv::Point2d(d.keypoints[k]);
        }
        FaceDetection m = detections[i];
        m.box = cv::Rect2f(float(x / wsum), float(y / wsum), float(w / wsum), float(h / wsum));
        for (int k = 0; k < 6; ++k)
            m.keypoints[k] = cv::Point2f(float(kp[k].x / wsum), float(kp[k].y / wsum));
        out.push_back(m);
    }
    return out;
}

std::vector<FaceDetection> BlazeFace::detect(const cv::Mat &image, float minScore)
{
    if (m_net.empty() || image.empty())
        return {};
    // Letterbox: the whole picture, centred, in the square input; padding is black.
    const int side = std::max(image.cols, image.rows);
    const float scale = float(InputSize) / side;
    const int w = std::max(1, int(std::lround(image.cols * scale)));
    const int h = std::max(1, int(std::lround(image.rows * scale)));
    const int ox = (InputSize - w) / 2, oy = (InputSize - h) / 2;
    cv::Mat small;
    cv::resize(image, small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    cv::Mat plane(InputSize, InputSize, CV_32FC3, m_blob.ptr<float>());
    plane.setTo(cv::Scalar::all(-1));
    cv::Mat roi = plane(cv::Rect(ox, oy, w, h));
    toModelInput(small, roi, -1.f, 1.f);
    std::vector<cv::Mat> outs;
    m_net.setInput(m_blob);
    m_net.forward(outs, m_outputs);

    std::vector<float> scores(AnchorCount), boxes(AnchorCount * ValuesPerAnchor);
    std::copy_n(outs[0].ptr<float>(), 512, scores.begin());
    std::copy_n(outs[1].ptr<float>(), 384, scores.begin() + 512);
    std::copy_n(outs[2].ptr<float>(), 512 * ValuesPerAnchor, boxes.begin());
    std::copy_n(outs[3].ptr<float>(), 384 * ValuesPerAnchor, boxes.begin() + 512 * ValuesPerAnchor);
    std::vector<FaceDetection> found = suppress(decode(scores.data(), boxes.data(), m_anchors, minScore), 0.3f);

    // Square-input units -> picture pixels.
    const float offX = float(ox) / InputSize, offY = float(oy) / InputSize;
    const float k = float(side);
    auto toPicture = [&](cv::Point2f p) { return cv::Point2f((p.x - offX) * k, (p.y - offY) * k); };
    for (FaceDetection &d : found) {
        const cv::Point2f tl = toPicture(d.box.tl());
        d.box = cv::Rect2f(tl.x, tl.y, d.box.width * k, d.box.height * k);
        for (cv::Point2f &p : d.keypoints)
            p = toPicture(p);
    }
    return found;
}

}  // namespace velvix::vision
