// Hands frames to the trackers and their results to the effects.
//
// - Video: submit() gives the newest frame to each wanted tracker's worker
//   thread and returns at once; a frame still waiting when a newer one comes
//   is dropped. Results are published latest-wins with their frame number.
//   resultFor(n) returns the result of frame n or n - 1, waiting at most the
//   given budget (one frame interval) for it; an older result is not used.
// - Still pictures: runNow() tracks on the calling thread, so the output
//   depends on the picture alone.
// Nothing here takes the engine's lock; the engine calls in without holding
// it when it may wait.
#pragma once

#include "vision/Tracker.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <vector>
#include <memory>
#include <mutex>
#include <thread>

namespace velvix::vision {

class VisionHub {
public:
    VisionHub();
    ~VisionHub();
    VisionHub(const VisionHub &) = delete;
    VisionHub &operator=(const VisionHub &) = delete;

    // Installs (or with null removes) the tracker of a kind; its worker
    // thread starts with it. Earlier results of that kind are dropped.
    void setTracker(TrackerKind kind, std::unique_ptr<Tracker> tracker);
    // Makes the tracker of a kind on a thread of its own (loading models
    // takes a while) and installs it when done; frames go on meanwhile.
    // A null result installs nothing.
    void installLater(TrackerKind kind, std::function<std::unique_ptr<Tracker>()> factory);
    // Whether an installLater() may still be running; finishLoading() waits
    // for every one (still pictures want their trackers on the first frame).
    bool loading() const;
    void finishLoading();
    // Bits of the kinds that have a tracker.
    unsigned available() const;

    void submit(unsigned kinds, const LumaFrame &frame);
    void runNow(unsigned kinds, const LumaFrame &frame);

    std::shared_ptr<const TrackResult> resultFor(TrackerKind kind, uint64_t frameNumber,
                                                 std::chrono::microseconds budget);
    std::shared_ptr<const TrackResult> latest(TrackerKind kind) const;

    // Frames each worker has skipped because a newer one came first.
    uint64_t droppedFrames(TrackerKind kind) const;

private:
    struct Worker;
    std::shared_ptr<Worker> worker(TrackerKind kind) const;
    std::shared_ptr<Worker> m_workers[TrackerKindCount];
    mutable std::mutex m_mutex; // guards m_workers (the pointers) and m_loaders
    std::vector<std::thread> m_loaders;
};

} // namespace velvix::vision
