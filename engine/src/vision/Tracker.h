// What every tracker (faces now; bodies and hands later) looks like to the
// engine: it gets the luma plane of one frame and returns a result stamped
// with that frame's number. Trackers run on the vision hub's worker threads,
// or on the calling thread for still pictures; one tracker is never called
// from two threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velvix::vision {

struct LumaFrame {
    uint64_t frameNumber = 0;
    int width = 0;
    int height = 0;
    // width x height bytes, rows tightly packed, row 0 = top of the picture.
    std::shared_ptr<const std::vector<uint8_t>> pixels;
    // A still picture: the tracker should forget what it learnt from earlier
    // frames (filters, last boxes), so the same picture gives the same result.
    bool still = false;
    // TrackerDetail bits: costly extras asked for this frame.
    unsigned details = 0;

    bool valid() const
    {
        return pixels && width > 0 && height > 0
            && pixels->size() >= static_cast<size_t>(width) * static_cast<size_t>(height);
    }
};

// One tracker's findings for one frame; concrete trackers derive from it.
struct TrackResult {
    virtual ~TrackResult() = default;
    uint64_t frameNumber = 0;
    int width = 0;   // size of the frame the coordinates refer to
    int height = 0;
};

// The kinds of tracker the engine knows; effect families ask for them by bit.
enum TrackerKind : unsigned {
    FaceTracking = 0,
    PersonSegmentation = 1,
    BodyTracking = 2,
    HandTracking = 3,
    TrackerKindCount = 4,
};
constexpr unsigned trackerBit(TrackerKind kind) { return 1u << static_cast<unsigned>(kind); }

// Extras a tracker works out only while an effect needs them; families ask
// for them in the same mask as the kinds, above the kinds' bits.
enum TrackerDetail : unsigned {
    FaceIrises = 1u << 16,  // the iris model: as costly per eye as the face mesh
};
constexpr unsigned TrackerDetailBits = 0xffff0000u;

class Tracker {
public:
    virtual ~Tracker() = default;
    // Null when the frame could not be looked at (logged by the tracker);
    // an empty result (no faces) is not a failure.
    virtual std::shared_ptr<TrackResult> track(const LumaFrame &frame) = 0;
};

} // namespace velvix::vision
