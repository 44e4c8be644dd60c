#include "vision/FaceTrackerAdapter.h"

namespace velvix::vision {

std::unique_ptr<FaceTrackerAdapter> FaceTrackerAdapter::create(const std::string &modelDir)
{
    auto tracker = std::make_unique<FaceTracker>(modelDir);
    if (!tracker->isReady())
        return nullptr;
    return std::unique_ptr<FaceTrackerAdapter>(new FaceTrackerAdapter(std::move(tracker)));
}

FaceTrackerAdapter::FaceTrackerAdapter(std::unique_ptr<FaceTracker> tracker) : m_tracker(std::move(tracker)) {}

std::shared_ptr<TrackResult> FaceTrackerAdapter::track(const LumaFrame &frame)
{
    if (!frame.valid())
        return nullptr;
    // A still picture stands alone: no boxes or filter state from before.
    if (frame.still)
        m_tracker->reset();
    m_tracker->setIris((frame.details & FaceIrises) != 0);
    const cv::Mat luma(frame.height, frame.width, CV_8UC1, const_cast<uint8_t *>(frame.pixels->data()));
    auto result = std::make_shared<FaceResult>();
    result->faces = m_tracker->track(luma, static_cast<int64_t>(frame.frameNumber));
    return result;
}

} // namespace velvix::vision
