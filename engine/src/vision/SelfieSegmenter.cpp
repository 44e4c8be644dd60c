#include "vision/SelfieSegmenter.h"

#include <QDebug>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <stdexcept>

namespace velvix::vision {

namespace {

const char *const kOutput = "activation_10";

} // namespace

std::unique_ptr<SelfieSegmenter> SelfieSegmenter::create(const std::string &modelPath)
{
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(modelPath);
        if (net.empty())
            throw std::runtime_error("empty network");
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        std::unique_ptr<SelfieSegmenter> segmenter(new SelfieSegmenter(net));
        // A file of the right name but another graph fails here, not per frame.
        const cv::Mat out = segmenter->forwardOnly();
        if (out.total() != size_t(Input) * Input)
            throw std::runtime_error("unexpected output shape");
        return segmenter;
    } catch (const cv::Exception &e) {
        qWarning().noquote() << QStringLiteral("Velvix: person segmentation off: cannot use %1: %2 (run scripts/install-deps.sh)")
                                    .arg(QString::fromStdString(modelPath), QString::fromStdString(e.err));
    } catch (const std::exception &e) {
        qWarning().noquote() << QStringLiteral("Velvix: person segmentation off: cannot use %1: %2 (run scripts/install-deps.sh)")
                                    .arg(QString::fromStdString(modelPath), QString::fromUtf8(e.what()));
    }
    return nullptr;
}

SelfieSegmenter::SelfieSegmenter(cv::dnn::Net net) : m_net(std::move(net))
{
    const int dims[] = {1, Input, Input, 3};
    m_blob.create(4, dims, CV_32F);
    m_blob.setTo(0);
}

cv::Mat SelfieSegmenter::forwardOnly()
{
    m_net.setInput(m_blob);
    return m_net.forward(kOutput);
}

cv::Mat SelfieSegmenter::probabilities(const cv::Mat &grey)
{
    cv::Mat small;
    cv::resize(grey, small, cv::Size(Input, Input), 0, 0, cv::INTER_AREA);
    // Scaled once, then written straight into the input blob three times.
    cv::Mat plane(Input, Input, CV_32FC3, m_blob.ptr<float>());
    cv::Mat scaled;
    small.convertTo(scaled, CV_32F, 1.0 / 255.0);
    const cv::Mat channels[] = {scaled, scaled, scaled};
    cv::merge(channels, 3, plane);
    const cv::Mat out = forwardOnly();
    return cv::Mat(Input, Input, CV_32F, const_cast<float *>(out.ptr<float>())).clone();
}

std::shared_ptr<TrackResult> SelfieSegmenter::track(const LumaFrame &frame)
{
    if (!frame.valid())
        return nullptr;
    const cv::Mat luma(frame.height, frame.width, CV_8UC1, const_cast<uint8_t *>(frame.pixels->data()));
    cv::Mat mask;
    try {
        mask = probabilities(luma);
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: person segmentation failed:" << QString::fromStdString(e.err);
        return nullptr;
    }
    if (frame.still || m_previous.empty()) {
        m_previous = mask;
    } else {
        // Per cell: small changes are mostly noise and are averaged (k about
        // 0.4), a change of a third or more is taken whole.
        cv::Mat change = cv::abs(mask - m_previous);
        cv::Mat k = cv::min(0.4 + change * 1.8, 1.0);
        m_previous = m_previous + k.mul(mask - m_previous);
    }
    auto result = std::make_shared<SegmentationResult>();
    m_previous.convertTo(result->mask, CV_8U, 255.0);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::Mat lo, hi;
    cv::erode(result->mask, lo, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    cv::dilate(result->mask, hi, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    result->band = hi - lo;
    return result;
}

} // namespace velvix::vision
