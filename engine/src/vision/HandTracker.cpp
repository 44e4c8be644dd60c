#include "HandTracker.h"

#include <QDebug>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace velvix::vision {

namespace {

constexpr int kDetectorInput = 256;
constexpr int kLandmarkInput = 224;
constexpr int kAnchors = 2944;
constexpr int kDetectorValues = 19;  // score logit, box (cx, cy, w, h), 7 key points
constexpr float kNmsOverlap = 0.3f;

float iou(const cv::Rect2f &a, const cv::Rect2f &b)
{
    const float inter = (a & b).area();
    const float both = a.area() + b.area() - inter;
    return both > 0 ? inter / both : 0.0f;
}

// Grey in all three channels, NHWC float, (v * scale + offset).
cv::Mat nhwcBlob(const cv::Mat &grey, int side, float scale, float offset)
{
    cv::Mat f;
    grey.convertTo(f, CV_32F, scale, offset);
    cv::Mat rgb;
    cv::merge(std::vector<cv::Mat>{f, f, f}, rgb);
    const int shape[] = {1, side, side, 3};
    return cv::Mat(4, shape, CV_32F, rgb.ptr<float>()).clone();
}

float normaliseAngle(float a)
{
    return a - 2.0f * static_cast<float>(M_PI) * std::floor((a + static_cast<float>(M_PI)) / (2.0f * static_cast<float>(M_PI)));
}

// The turn that makes `from` -> `to` point up.
float uprightRotation(cv::Point2f from, cv::Point2f to)
{
    const cv::Point2f d = to - from;
    return normaliseAngle(std::atan2(d.x, -d.y));
}

// Crop pixel (u, v) of a region -> frame pixel: rows of a 2 x 3 matrix.
cv::Matx23f cropToFrame(const HandRegion &r, int side)
{
    const float c = std::cos(r.rotation), s = std::sin(r.rotation);
    const float k = r.size / static_cast<float>(side);
    // x axis (c, s), y axis (-s, c), both scaled by k; origin at the top left corner.
    const cv::Point2f origin = r.centre - cv::Point2f(c, s) * (r.size * 0.5f) - cv::Point2f(-s, c) * (r.size * 0.5f);
    return cv::Matx23f(c * k, -s * k, origin.x, s * k, c * k, origin.y);
}

} // namespace

cv::Rect2f Hand::box() const
{
    float x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const cv::Point2f &p : points) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

HandTracker::HandTracker(cv::dnn::Net detector, cv::dnn::Net landmarks)
    : m_detector(std::move(detector)), m_landmarks(std::move(landmarks))
{
    // Anchors of the palm detector: strides 8, 16, 16, 16 folded into
    // grids of 32 (2 per cell), 16 (2 per cell) and 8 (6 per cell).
    m_anchors.reserve(kAnchors * 2);
    for (const auto &level : {std::pair<int, int>{32, 2}, {16, 2}, {8, 6}}) {
        for (int y = 0; y < level.first; ++y) {
            for (int x = 0; x < level.first; ++x) {
                for (int k = 0; k < level.second; ++k) {
                    m_anchors.push_back((static_cast<float>(x) + 0.5f) / static_cast<float>(level.first));
                    m_anchors.push_back((static_cast<float>(y) + 0.5f) / static_cast<float>(level.first));
                }
            }
        }
    }
}

std::unique_ptr<HandTracker> HandTracker::create(const std::string &modelDir)
{
    const std::string detectorPath = modelDir + "/handdetect.onnx";
    const std::string landmarkPath = modelDir + "/handlandmark-lite.onnx";
    for (const std::string &path : {detectorPath, landmarkPath}) {
        if (!std::ifstream(path).good()) {
            qWarning().noquote() << "Velvix: hand model missing:" << QString::fromStdString(path);
            return nullptr;
        }
    }
    try {
        cv::dnn::Net detector = cv::dnn::readNetFromONNX(detectorPath);
        cv::dnn::Net landmarks = cv::dnn::readNetFromONNX(landmarkPath);
        if (detector.empty() || landmarks.empty())
            throw cv::Exception(0, "empty network", "", "", 0);
        detector.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        landmarks.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        auto tracker = std::unique_ptr<HandTracker>(new HandTracker(std::move(detector), std::move(landmarks)));
        // One trial run of each: models of another shape fail here, not per frame.
        const cv::Mat blank(kDetectorInput, kDetectorInput, CV_8UC1, cv::Scalar(0));
        std::vector<Palm> palms;
        Hand hand;
        if (!tracker->detect(blank, &palms)
            || !tracker->readLandmarks(blank, {{128, 128}, 128, 0}, &hand))
            return nullptr;
        return tracker;
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: hand models unusable in" << QString::fromStdString(modelDir) << e.what();
        return nullptr;
    }
}

std::vector<Palm> HandTracker::detectPalms(const cv::Mat &luma)
{
    std::vector<Palm> palms;
    detect(luma, &palms);
    return palms;
}

bool HandTracker::detect(const cv::Mat &luma, std::vector<Palm> *palms)
{
    palms->clear();
    const float scale = static_cast<float>(kDetectorInput) / static_cast<float>(std::max(luma.cols, luma.rows));
    const int w = std::max(1, static_cast<int>(std::lround(luma.cols * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(luma.rows * scale)));
    const int padX = (kDetectorInput - w) / 2;
    const int padY = (kDetectorInput - h) / 2;
    cv::Mat boxed(kDetectorInput, kDetectorInput, CV_8UC1, cv::Scalar(0));
    cv::resize(luma, boxed(cv::Rect(padX, padY, w, h)), cv::Size(w, h), 0, 0, cv::INTER_AREA);
    cv::Mat out;
    try {
        m_detector.setInput(nhwcBlob(boxed, kDetectorInput, 2.0f / 255.0f, -1.0f));
        out = m_detector.forward();
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: palm detector failed:" << e.what();
        return false;
    }
    if (out.type() != CV_32F || out.total() != static_cast<size_t>(kAnchors) * kDetectorValues) {
        qWarning() << "Velvix: palm detector gives an output of an unexpected shape";
        return false;
    }
    const float *rows = out.ptr<float>();
    std::vector<Palm> candidates;
    for (int i = 0; i < kAnchors; ++i) {
        const float *r = rows + static_cast<ptrdiff_t>(i) * kDetectorValues;
        if (!(r[0] > 0.0f))  // logit: below 0 is a score below 0.5
            continue;
        const float ax = m_anchors[static_cast<size_t>(2 * i)] * kDetectorInput;
        const float ay = m_anchors[static_cast<size_t>(2 * i + 1)] * kDetectorInput;
        const auto toFrame = [&](float x, float y) {
            return cv::Point2f((ax + x - static_cast<float>(padX)) / scale, (ay + y - static_cast<float>(padY)) / scale);
        };
        Palm palm;
        palm.score = 1.0f / (1.0f + std::exp(-std::min(r[0], 50.0f)));
        const cv::Point2f centre = toFrame(r[1], r[2]);
        const float bw = std::abs(r[3]) / scale, bh = std::abs(r[4]) / scale;
        palm.box = cv::Rect2f(centre.x - bw / 2, centre.y - bh / 2, bw, bh);
        for (size_t k = 0; k < palm.points.size(); ++k)
            palm.points[k] = toFrame(r[5 + 2 * k], r[6 + 2 * k]);
        if (palm.score >= kPalmScore && bw > 1 && bh > 1)
            candidates.push_back(palm);
    }
    std::sort(candidates.begin(), candidates.end(), [](const Palm &a, const Palm &b) { return a.score > b.score; });
    for (const Palm &palm : candidates) {
        bool overlaps = false;
        for (const Palm &kept : *palms)
            overlaps = overlaps || iou(kept.box, palm.box) > kNmsOverlap;
        if (!overlaps)
            palms->push_back(palm);
        if (palms->size() >= 8)
            break;
    }
    return true;
}

bool HandTracker::readLandmarks(const cv::Mat &luma, const HandRegion &region, Hand *hand)
{
    hand->presence = 0;
    if (!(region.size > 1))
        return true;
    const cv::Matx23f toFrame = cropToFrame(region, kLandmarkInput);
    cv::Mat crop;
    cv::warpAffine(luma, crop, cv::Mat(toFrame), cv::Size(kLandmarkInput, kLandmarkInput),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
    std::vector<cv::Mat> outs;
    try {
        m_landmarks.setInput(nhwcBlob(crop, kLandmarkInput, 1.0f / 255.0f, 0.0f));
        m_landmarks.forward(outs, std::vector<std::string>{"Identity", "Identity_1", "Identity_2"});
    } catch (const cv::Exception &e) {
        qWarning().noquote() << "Velvix: hand landmark model failed:" << e.what();
        return false;
    }
    if (outs.size() != 3 || outs[0].total() != 63 || outs[1].total() != 1 || outs[2].total() != 1
        || outs[0].type() != CV_32F || outs[1].type() != CV_32F || outs[2].type() != CV_32F) {
        qWarning() << "Velvix: hand landmark model gives outputs of an unexpected shape";
        return false;
    }
    const float *p = outs[0].ptr<float>();
    for (size_t k = 0; k < hand->points.size(); ++k) {
        // The model counts from the crop's edge (pixel i spans i..i+1);
        // toFrame takes pixel centres.
        const cv::Vec3f q(p[3 * k] - 0.5f, p[3 * k + 1] - 0.5f, 1.0f);
        hand->points[k] = {toFrame.row(0).dot(cv::Matx13f(q[0], q[1], q[2])),
                           toFrame.row(1).dot(cv::Matx13f(q[0], q[1], q[2]))};
    }
    hand->presence = std::clamp(outs[1].at<float>(0), 0.0f, 1.0f);
    hand->handedness = std::clamp(outs[2].at<float>(0), 0.0f, 1.0f);
    return true;
}

HandRegion HandTracker::regionFromPalm(const Palm &palm)
{
    // The palm box covers the palm only: the crop is 2.6 times as large and
    // moved half a box towards the fingers.
    HandRegion r;
    r.rotation = uprightRotation(palm.points[0], palm.points[2]);
    const float side = std::max(palm.box.width, palm.box.height);
    const cv::Point2f up(std::sin(r.rotation), -std::cos(r.rotation));
    r.centre = (palm.box.tl() + palm.box.br()) * 0.5f + up * (0.5f * side);
    r.size = 2.6f * side;
    return r;
}

HandRegion HandTracker::regionFromLandmarks(const Hand &hand)
{
    // Bounding box in the hand's own upright frame of the wrist, the thumb
    // and the two lower joints of each finger (not the finger tips: with
    // them a doubled box grows a little every frame and the crop drifts
    // down the arm), doubled, and moved a little towards the fingers.
    HandRegion r;
    r.rotation = uprightRotation(hand.points[0], hand.points[9]);
    const float c = std::cos(r.rotation), s = std::sin(r.rotation);
    const cv::Point2f xAxis(c, s), yAxis(-s, c);
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
    for (int k : {0, 1, 2, 3, 5, 6, 9, 10, 13, 14, 17, 18}) {
        const cv::Point2f p = hand.points[static_cast<size_t>(k)];
        const float u = p.dot(xAxis), v = p.dot(yAxis);
        x0 = std::min(x0, u);
        x1 = std::max(x1, u);
        y0 = std::min(y0, v);
        y1 = std::max(y1, v);
    }
    const float height = y1 - y0;
    r.centre = xAxis * ((x0 + x1) * 0.5f) + yAxis * ((y0 + y1) * 0.5f - 0.1f * height);
    r.size = 2.0f * std::max(x1 - x0, height);
    return r;
}

void HandTracker::resetSlot(Slot &slot)
{
    for (OneEuroFilter &f : slot.filters)
        f = OneEuroFilter(1.0, 6.0);
    slot.last = {};
}

std::shared_ptr<TrackResult> HandTracker::track(const LumaFrame &frame)
{
    if (!frame.valid())
        return nullptr;
    const cv::Mat luma(frame.height, frame.width, CV_8UC1, const_cast<uint8_t *>(frame.pixels->data()));
    if (frame.still) {
        m_slots.clear();
        m_sinceDetection = 0;
    }
    std::vector<Hand> hands;
    std::vector<Slot> slots;
    // Follow the hands of the last frame from their own landmarks.
    for (Slot &slot : m_slots) {
        Hand hand;
        if (!readLandmarks(luma, slot.region, &hand))
            return nullptr;
        if (hand.presence < kPresence)
            continue;
        // Two crops that slid onto one hand: keep the first.
        bool twin = false;
        for (const Hand &other : hands)
            twin = twin || iou(other.box(), hand.box()) > 0.5f;
        if (twin)
            continue;
        slot.region = regionFromLandmarks(hand);
        hands.push_back(hand);
        slots.push_back(slot);
    }
    ++m_sinceDetection;
    const bool detectNow = hands.empty() || (static_cast<int>(hands.size()) < kMaxHands && m_sinceDetection >= kRedetectEvery);
    if (detectNow) {
        m_sinceDetection = 0;
        std::vector<Palm> palms;
        if (!detect(luma, &palms))
            return nullptr;
        for (const Palm &palm : palms) {
            if (static_cast<int>(hands.size()) >= kMaxHands)
                break;
            // A palm inside a hand already followed is that hand.
            const cv::Point2f centre = (palm.box.tl() + palm.box.br()) * 0.5f;
            bool known = false;
            for (const Hand &other : hands)
                known = known || other.box().contains(centre) || iou(other.box(), palm.box) > 0.2f;
            if (known)
                continue;
            Slot slot;
            resetSlot(slot);
            Hand hand;
            if (!readLandmarks(luma, regionFromPalm(palm), &hand))
                return nullptr;
            if (hand.presence < kPresence)
                continue;
            // A new hand gets its second look at once: the crop around the
            // palm box is loose, the one from its landmarks is not.
            Hand refined;
            if (readLandmarks(luma, regionFromLandmarks(hand), &refined) && refined.presence >= kPresence)
                hand = refined;
            // A second palm found on a hand already read (the fingers of a
            // fist, the forearm) gives the same hand again.
            bool twin = false;
            for (const Hand &other : hands)
                twin = twin || iou(other.box(), hand.box()) > 0.3f;
            if (twin)
                continue;
            slot.region = regionFromLandmarks(hand);
            hands.push_back(hand);
            slots.push_back(slot);
        }
    }
    if (!frame.still) {
        // Smoothing in pixels scaled by the palm length, so near and far
        // hands jitter alike.
        const auto now = std::chrono::steady_clock::now();
        for (size_t i = 0; i < hands.size(); ++i) {
            Slot &slot = slots[i];
            const double dt = slot.last == std::chrono::steady_clock::time_point{}
                ? 0.0 : std::chrono::duration<double>(now - slot.last).count();
            slot.last = now;
            const double scale = std::max(8.0, static_cast<double>(hands[i].palmLength()));
            for (size_t k = 0; k < hands[i].points.size(); ++k) {
                cv::Point2f &p = hands[i].points[k];
                p.x = static_cast<float>(slot.filters[2 * k].filter(p.x, dt, scale));
                p.y = static_cast<float>(slot.filters[2 * k + 1].filter(p.y, dt, scale));
            }
        }
        m_slots = std::move(slots);
    } else {
        m_slots.clear();
    }
    auto result = std::make_shared<HandResult>();
    result->frameNumber = frame.frameNumber;
    result->width = frame.width;
    result->height = frame.height;
    for (Hand &hand : hands)
        hand.gesture = classifyGesture(hand.points);
    result->hands = std::move(hands);
    return result;
}

} // namespace velvix::vision
