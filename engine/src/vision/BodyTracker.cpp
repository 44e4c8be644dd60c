#include "BodyTracker.h"

#include <QDebug>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace velvix::vision {

namespace {

constexpr int kInput = 192;
constexpr int kGrid = 48;

// Reads one NHWC output (1 x 48 x 48 x channels) at a cell.
inline float at(const cv::Mat &m, int y, int x, int c)
{
    const int channels = m.size[3];
    return m.ptr<float>()[(y * kGrid + x) * channels + c];
}

bool hasShape(const cv::Mat &m, int channels)
{
    return m.dims == 4 && m.size[0] == 1 && m.size[1] == kGrid && m.size[2] == kGrid && m.size[3] == channels
        && m.type() == CV_32F;
}

} // namespace

std::unique_ptr<BodyTracker> BodyTracker::create(const std::string &modelDir)
{
    const std::string path = modelDir + "/movenet-lightning.onnx";
    if (!std::ifstream(path).good()) {
        qWarning().noquote() << "Velvix: body model missing:" << QString::fromStdString(path);
        return nullptr;
    }
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(path);
        if (net.empty())
            throw cv::Exception(0, "empty network", "", "", 0);
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        auto tracker = std::unique_ptr<BodyTracker>(new BodyTracker(std::move(net)));
        // One trial run: a model of another shape fails here, not per frame.
        BodyPose pose;
        if (!tracker->infer(cv::Mat(kInput, kInput, CV_8UC1, cv::Scalar(0)), &pose))
            return nullptr;
        return tracker;
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: body model unusable:" << QString::fromStdString(path) << e.what();
        return nullptr;
    }
}

bool BodyTracker::infer(const cv::Mat &luma, BodyPose *pose)
{
    // Letterbox: the longer side fills 192, the picture centred, black bars.
    const float scale = static_cast<float>(kInput) / static_cast<float>(std::max(luma.cols, luma.rows));
    const int w = std::max(1, static_cast<int>(std::lround(luma.cols * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(luma.rows * scale)));
    const int padX = (kInput - w) / 2;
    const int padY = (kInput - h) / 2;
    cv::Mat boxed(kInput, kInput, CV_8UC1, cv::Scalar(0));
    cv::resize(luma, boxed(cv::Rect(padX, padY, w, h)), cv::Size(w, h), 0, 0, cv::INTER_AREA);
    // NHWC float input in 0..255, grey in all three channels.
    cv::Mat grey;
    boxed.convertTo(grey, CV_32F);
    cv::Mat rgb;
    cv::merge(std::vector<cv::Mat>{grey, grey, grey}, rgb);
    const int shape[] = {1, kInput, kInput, 3};
    cv::Mat blob(4, shape, CV_32F, rgb.ptr<float>());

    std::vector<cv::Mat> outs;
    try {
        m_net.setInput(blob);
        m_net.forward(outs, std::vector<std::string>{"heatmap", "center", "regress", "offset"});
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: body model failed:" << e.what();
        return false;
    }
    if (outs.size() != 4 || !hasShape(outs[0], BodyPointCount) || !hasShape(outs[1], 1)
        || !hasShape(outs[2], 2 * BodyPointCount) || !hasShape(outs[3], 2 * BodyPointCount)) {
        qWarning() << "Velvix: body model gives outputs of an unexpected shape";
        return false;
    }
    const cv::Mat &heat = outs[0];
    const cv::Mat &centre = outs[1];
    const cv::Mat &regress = outs[2];
    const cv::Mat &offset = outs[3];

    // The person nearest the middle of the picture: centre score weighted by
    // the distance to the middle.
    int cy = 0, cx = 0;
    float best = -1;
    for (int y = 0; y < kGrid; ++y) {
        for (int x = 0; x < kGrid; ++x) {
            const float d = std::hypot(y - (kGrid - 1) * 0.5f, x - (kGrid - 1) * 0.5f);
            const float s = at(centre, y, x, 0) / (1.0f + d / kGrid);
            if (s > best) {
                best = s;
                cy = y;
                cx = x;
            }
        }
    }
    for (int k = 0; k < BodyPointCount; ++k) {
        const float ry = static_cast<float>(cy) + at(regress, cy, cx, 2 * k);
        const float rx = static_cast<float>(cx) + at(regress, cy, cx, 2 * k + 1);
        int ky = 0, kx = 0;
        float top = -1;
        for (int y = 0; y < kGrid; ++y) {
            for (int x = 0; x < kGrid; ++x) {
                const float d = std::hypot(static_cast<float>(y) - ry, static_cast<float>(x) - rx);
                const float s = at(heat, y, x, k) / (d + 1.8f);
                if (s > top) {
                    top = s;
                    ky = y;
                    kx = x;
                }
            }
        }
        const float py = (static_cast<float>(ky) + at(offset, ky, kx, 2 * k)) / kGrid * kInput;
        const float px = (static_cast<float>(kx) + at(offset, ky, kx, 2 * k + 1)) / kGrid * kInput;
        // Model and resize count from pixel edges; callers use pixel centres.
        pose->points[static_cast<size_t>(k)] = {(px - padX) / scale - 0.5f, (py - padY) / scale - 0.5f};
        float score = at(heat, ky, kx, k);
        // A point in the letterbox bars is no point of the picture.
        if (px < padX || px > padX + w || py < padY || py > padY + h)
            score = 0;
        pose->scores[static_cast<size_t>(k)] = std::clamp(score, 0.0f, 1.0f);
    }
    pose->score = (pose->scores[LeftShoulder] + pose->scores[RightShoulder] + pose->scores[LeftHip]
                   + pose->scores[RightHip]) / 4.0f;
    return true;
}

std::shared_ptr<TrackResult> BodyTracker::track(const LumaFrame &frame)
{
    if (!frame.valid())
        return nullptr;
    const cv::Mat luma(frame.height, frame.width, CV_8UC1, const_cast<uint8_t *>(frame.pixels->data()));
    BodyPose pose;
    if (!infer(luma, &pose))
        return nullptr;
    auto result = std::make_shared<BodyResult>();
    result->frameNumber = frame.frameNumber;
    result->width = frame.width;
    result->height = frame.height;
    const bool person = pose.score >= kPersonScore && pose.has(LeftShoulder, 0.2f) && pose.has(RightShoulder, 0.2f);
    if (!person || frame.still) {
        m_tracking = false;
        for (OneEuroFilter &f : m_filters)
            f.reset();
    } else {
        // Smoothing in pixels scaled by the shoulder width, so near and far
        // people jitter alike.
        const auto now = std::chrono::steady_clock::now();
        const double dt = m_tracking ? std::chrono::duration<double>(now - m_last).count() : 0.0;
        m_last = now;
        m_tracking = true;
        const double width = std::max(8.0, static_cast<double>(cv::norm(pose.points[LeftShoulder] - pose.points[RightShoulder])));
        for (size_t k = 0; k < BodyPointCount; ++k) {
            pose.points[k].x = static_cast<float>(m_filters[2 * k].filter(pose.points[k].x, dt, width));
            pose.points[k].y = static_cast<float>(m_filters[2 * k + 1].filter(pose.points[k].y, dt, width));
        }
    }
    if (person)
        result->people.push_back(pose);
    return result;
}

} // namespace velvix::vision
