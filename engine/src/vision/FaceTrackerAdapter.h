// The face tracker as the engine's trackers look: FaceTracker (detection,
// 468-point mesh, filtering, head pose) behind vision::Tracker, its faces
// published as a FaceResult.
#pragma once

#include "vision/FaceTracker.h"
#include "vision/Tracker.h"

#include <memory>
#include <string>
#include <vector>

namespace velvix::vision {

struct FaceResult : TrackResult {
    std::vector<Face> faces;  // coordinates in pixels of a width x height frame
};

class FaceTrackerAdapter final : public Tracker {
public:
    // Null when the models in `modelDir` are missing or unusable (logged).
    static std::unique_ptr<FaceTrackerAdapter> create(const std::string &modelDir);

    std::shared_ptr<TrackResult> track(const LumaFrame &frame) override;

private:
    explicit FaceTrackerAdapter(std::unique_ptr<FaceTracker> tracker);
    std::unique_ptr<FaceTracker> m_tracker;
};

} // namespace velvix::vision
