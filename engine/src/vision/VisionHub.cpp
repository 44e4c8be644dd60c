#include "vision/VisionHub.h"

namespace velvix::vision {

struct VisionHub::Worker {
    explicit Worker(std::unique_ptr<Tracker> t) : tracker(std::move(t))
    {
        thread = std::thread([this] { run(); });
    }
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        wake.notify_all();
        thread.join();
    }

    void run()
    {
        for (;;) {
            LumaFrame frame;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stop || hasPending; });
                if (stop)
                    return;
                frame = std::move(pending);
                hasPending = false;
            }
            trackAndPublish(frame);
        }
    }

    void trackAndPublish(const LumaFrame &frame)
    {
        std::shared_ptr<TrackResult> result;
        {
            std::lock_guard<std::mutex> lock(trackMutex);
            result = tracker->track(frame);
        }
        if (result) {
            result->frameNumber = frame.frameNumber;
            result->width = frame.width;
            result->height = frame.height;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            // Latest wins: a slow still-picture run never replaces a newer
            // camera frame's result, nor the other way round.
            if (frame.frameNumber >= done) {
                done = frame.frameNumber;
                if (result || !latest || latest->frameNumber < frame.frameNumber)
                    latest = result;
            }
        }
        published.notify_all();
    }

    std::unique_ptr<Tracker> tracker;
    std::mutex trackMutex;  // one track() at a time
    std::mutex mutex;       // everything below
    std::condition_variable wake;
    std::condition_variable published;
    bool stop = false;
    bool hasPending = false;
    LumaFrame pending;
    uint64_t done = 0;      // newest frame number whose tracking finished
    std::shared_ptr<const TrackResult> latest;
    uint64_t dropped = 0;
    std::thread thread;
};

VisionHub::VisionHub() = default;

VisionHub::~VisionHub()
{
    finishLoading();
    for (auto &worker : m_workers)
        worker.reset();
}

bool VisionHub::loading() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_loaders.empty();
}

void VisionHub::finishLoading()
{
    std::vector<std::thread> loaders;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        loaders.swap(m_loaders);
    }
    for (std::thread &loader : loaders)
        loader.join();
}

void VisionHub::installLater(TrackerKind kind, std::function<std::unique_ptr<Tracker>()> factory)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loaders.emplace_back([this, kind, factory = std::move(factory)] {
        if (std::unique_ptr<Tracker> tracker = factory())
            setTracker(kind, std::move(tracker));
    });
}

std::shared_ptr<VisionHub::Worker> VisionHub::worker(TrackerKind kind) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_workers[kind];
}

void VisionHub::setTracker(TrackerKind kind, std::unique_ptr<Tracker> tracker)
{
    std::shared_ptr<Worker> fresh = tracker ? std::make_shared<Worker>(std::move(tracker)) : nullptr;
    std::shared_ptr<Worker> old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        old = std::move(m_workers[kind]);
        m_workers[kind] = std::move(fresh);
    }
    // `old` stops (and joins) here, outside the lock.
}

unsigned VisionHub::available() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    unsigned bits = 0;
    for (unsigned kind = 0; kind < TrackerKindCount; ++kind) {
        if (m_workers[kind])
            bits |= 1u << kind;
    }
    return bits;
}

void VisionHub::submit(unsigned kinds, const LumaFrame &frame)
{
    if (!frame.valid())
        return;
    for (unsigned kind = 0; kind < TrackerKindCount; ++kind) {
        if (!(kinds & (1u << kind)))
            continue;
        std::shared_ptr<Worker> w = worker(static_cast<TrackerKind>(kind));
        if (!w)
            continue;
        {
            std::lock_guard<std::mutex> lock(w->mutex);
            if (w->hasPending)
                ++w->dropped;
            w->pending = frame;
            w->hasPending = true;
        }
        w->wake.notify_one();
    }
}

void VisionHub::runNow(unsigned kinds, const LumaFrame &frame)
{
    if (!frame.valid())
        return;
    for (unsigned kind = 0; kind < TrackerKindCount; ++kind) {
        if (!(kinds & (1u << kind)))
            continue;
        if (std::shared_ptr<Worker> w = worker(static_cast<TrackerKind>(kind)))
            w->trackAndPublish(frame);
    }
}

std::shared_ptr<const TrackResult> VisionHub::resultFor(TrackerKind kind, uint64_t frameNumber,
                                                        std::chrono::microseconds budget)
{
    std::shared_ptr<Worker> w = worker(kind);
    if (!w)
        return nullptr;
    const uint64_t oldest = frameNumber > 0 ? frameNumber - 1 : 0;
    std::unique_lock<std::mutex> lock(w->mutex);
    w->published.wait_for(lock, budget, [&] { return w->done >= oldest || w->stop; });
    if (w->latest && w->latest->frameNumber >= oldest && w->latest->frameNumber <= frameNumber)
        return w->latest;
    return nullptr;
}

std::shared_ptr<const TrackResult> VisionHub::latest(TrackerKind kind) const
{
    std::shared_ptr<Worker> w = worker(kind);
    if (!w)
        return nullptr;
    std::lock_guard<std::mutex> lock(w->mutex);
    return w->latest;
}

uint64_t VisionHub::droppedFrames(TrackerKind kind) const
{
    std::shared_ptr<Worker> w = worker(kind);
    if (!w)
        return 0;
    std::lock_guard<std::mutex> lock(w->mutex);
    return w->dropped;
}

} // namespace velvix::vision
