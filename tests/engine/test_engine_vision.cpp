// How frames reach trackers and results reach effects, with a fake tracker
// and a family that records what it was drawn with: frame numbers, the luma
// the trackers see, results at most one frame old, a bounded wait, no engine
// lock while a tracker runs, and still pictures tracked once per change on
// the calling thread.
#include "EngineTestSupport.h"

#include "core/VelvixEngine.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace enginetest;
using namespace velvix;

namespace {

constexpr int kW = 96;
constexpr int kH = 64;

struct FakeResult : vision::TrackResult {
    uint64_t checksum = 0;
    uint64_t seenAs = 0;
};

uint64_t checksum(const uint8_t *p, size_t n)
{
    uint64_t sum = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i)
        sum = (sum ^ p[i]) * 1099511628211ull;
    return sum;
}

class FakeTracker : public vision::Tracker {
public:
    std::shared_ptr<vision::TrackResult> track(const vision::LumaFrame &frame) override
    {
        calls.fetch_add(1);
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.push_back(std::this_thread::get_id());
            lastStill = frame.still;
            lastDetails = frame.details;
            lastLuma = *frame.pixels;
            lastWidth = frame.width;
        }
        if (duringTrack)
            duringTrack();
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        auto result = std::make_shared<FakeResult>();
        result->checksum = checksum(frame.pixels->data(), frame.pixels->size());
        result->seenAs = frame.frameNumber;
        return result;
    }

    std::atomic<int> calls{0};
    int delayMs = 0;
    std::function<void()> duringTrack;
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    std::vector<uint8_t> lastLuma;
    int lastWidth = 0;
    bool lastStill = false;
    unsigned lastDetails = 0;
};

// Asks for face tracking and records, per frame, which result it was given.
class ProbeFamily : public EffectFamily {
public:
    const char *name() const override { return "probe"; }
    bool apply(const EffectInfo &, int, const char *, const QJsonObject &) override { return false; }
    void clear() override {}
    void release(Gl *) override {}
    unsigned trackersNeeded() const override { return wanted ? vision::trackerBit(vision::FaceTracking) | details : 0; }
    void contribute(ComposeParams &, const FrameContext &frame) const override
    {
        const auto &result = frame.tracking[vision::FaceTracking];
        seen.push_back({frame.frameNumber, result ? result->frameNumber : 0});
    }

    bool wanted = true;
    unsigned details = 0;
    struct Seen {
        uint64_t frame;
        uint64_t result;
    };
    mutable std::vector<Seen> seen;
};

std::vector<unsigned char> frameWithSeed(int seed)
{
    std::vector<unsigned char> frame(kW * kH * 3 / 2, 128);
    for (int i = 0; i < kW * kH; ++i)
        frame[static_cast<size_t>(i)] = static_cast<unsigned char>(16 + (i * 7 + seed * 13) % 200);
    return frame;
}

} // namespace

class TestEngineVision : public QObject {
    Q_OBJECT

    GlEnvironment m_env;
    VelvixEngine *m_engine = nullptr;
    FakeTracker *m_tracker = nullptr;
    ProbeFamily *m_probe = nullptr;

    void makeEngine(int delayMs)
    {
        Velvix *engine = createVelvix("res/", kW, kH);
        QVERIFY(engine);
        m_engine = static_cast<VelvixEngine *>(engine);
        auto tracker = std::make_unique<FakeTracker>();
        tracker->delayMs = delayMs;
        m_tracker = tracker.get();
        m_engine->vision().setTracker(vision::FaceTracking, std::move(tracker));
        auto probe = std::make_unique<ProbeFamily>();
        m_probe = probe.get();
        m_engine->registerFamily(std::move(probe));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
    }

    void cleanup()
    {
        Velvix *engine = m_engine;
        destroyVelvix(&engine);
        m_engine = nullptr;
    }

    void cameraFramesAreNumberedAndTrackedOffThread()
    {
        makeEngine(0);
        const auto caller = std::this_thread::get_id();
        for (int i = 1; i <= 30; ++i) {
            if (i == 16)  // from here on the tracker is asked for a detail
                m_probe->details = vision::FaceIrises;
            const auto frame = frameWithSeed(i);
            const int texture = m_engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
            QVERIFY(texture > 0);
            QVERIFY(m_engine->processTexture(texture, kW, kH) > 0);
            QCOMPARE(m_engine->lastFrameNumber(), uint64_t(i));
            // The tracker saw the caller's own luma plane, byte for byte.
            auto result = std::static_pointer_cast<const FakeResult>(
                m_engine->lastTracking(vision::FaceTracking));
            if (result && result->frameNumber == uint64_t(i))
                QCOMPARE(result->checksum, checksum(frame.data(), size_t(kW) * kH));
        }
        int withResult = 0;
        for (const auto &seen : m_probe->seen) {
            QVERIFY2(seen.result == 0 || seen.result == seen.frame || seen.result + 1 == seen.frame,
                     qPrintable(QStringLiteral("frame %1 drawn with the result of %2").arg(seen.frame).arg(seen.result)));
            withResult += seen.result ? 1 : 0;
        }
        // A fast tracker keeps up: almost every frame has its result.
        QVERIFY2(withResult >= 25, qPrintable(QString::number(withResult)));
        std::lock_guard<std::mutex> lock(m_tracker->mutex);
        for (const auto &id : m_tracker->threads)
            QVERIFY(id != caller);
        QVERIFY(!m_tracker->lastStill);
        QCOMPARE(m_tracker->lastDetails, unsigned(vision::FaceIrises));
    }

    void slowTrackerNeverHoldsUpAFrameLongerThanOneInterval()
    {
        makeEngine(250);
        QElapsedTimer longest;
        qint64 worst = 0;
        for (int i = 1; i <= 12; ++i) {
            const auto frame = frameWithSeed(i);
            const int texture = m_engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
            QVERIFY(texture > 0);
            longest.start();
            QVERIFY(m_engine->processTexture(texture, kW, kH) > 0);
            worst = std::max(worst, longest.elapsed());
            QThread::msleep(20);  // a 50 fps camera
        }
        // The budget is one frame interval (about 20 ms here, at most 100).
        QVERIFY2(worst < 150, qPrintable(QString::number(worst)));
        for (const auto &seen : m_probe->seen)
            QVERIFY(seen.result == 0 || seen.result + 1 >= seen.frame);
        // Frames that came while the tracker was busy were skipped, not queued.
        QVERIFY(m_tracker->calls.load() < 12);
        QVERIFY(m_engine->vision().droppedFrames(vision::FaceTracking) > 0);
    }

    void trackersRunWithoutTheEngineLock()
    {
        makeEngine(0);
        std::atomic<int> slowCalls{0};
        std::atomic<int> calls{0};
        m_tracker->delayMs = 30;
        VelvixEngine *engine = m_engine;
        m_tracker->duringTrack = [engine, &slowCalls, &calls] {
            // Effect changes while a model runs: these must not wait for the
            // frame that is waiting for the model.
            QElapsedTimer timer;
            timer.start();
            engine->applyEffect("beauty.whiten", 10, nullptr, nullptr);
            calls.fetch_add(1);
            if (timer.elapsed() > 15)
                slowCalls.fetch_add(1);
        };
        for (int i = 1; i <= 15; ++i) {
            const auto frame = frameWithSeed(i);
            const int texture = m_engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
            QVERIFY(texture > 0);
            QVERIFY(m_engine->processTexture(texture, kW, kH) > 0);
            QThread::msleep(30);
        }
        m_engine->vision().setTracker(vision::FaceTracking, nullptr);
        QVERIFY(calls.load() > 0);
        QVERIFY2(slowCalls.load() <= calls.load() / 4,
                 qPrintable(QStringLiteral("%1 of %2").arg(slowCalls.load()).arg(calls.load())));
    }

    void stillPicturesAreTrackedOncePerChangeOnTheCallingThread()
    {
        makeEngine(40);
        QImage picture = syntheticPicture(kW, kH);
        const GLuint texture = uploadTexture(m_env.gl, picture);
        const auto caller = std::this_thread::get_id();
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_engine->processTexture(static_cast<int>(texture), kW, kH) > 0);
        QCOMPARE(m_tracker->calls.load(), 1);
        {
            std::lock_guard<std::mutex> lock(m_tracker->mutex);
            QCOMPARE(m_tracker->threads.back(), caller);
            QVERIFY(m_tracker->lastStill);
            // The read-back luma matches the picture's own (BT.601, +-2).
            QCOMPARE(m_tracker->lastWidth, kW);
            int worst = 0;
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; ++x) {
                    const QRgb p = picture.pixel(x, y);
                    const int luma = qRound(0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p));
                    worst = std::max(worst, std::abs(luma - m_tracker->lastLuma[size_t(y * kW + x)]));
                }
            }
            QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
        }
        // Every frame of the still was drawn with the still's own result,
        // though the tracker takes longer than a frame.
        for (const auto &seen : m_probe->seen)
            QCOMPARE(seen.result, seen.frame);

        // A new picture in the same texture is noticed.
        picture = picture.mirrored(true, false);
        m_env.gl->glBindTexture(GL_TEXTURE_2D, texture);
        const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
        m_env.gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.constBits());
        QVERIFY(m_engine->processTexture(static_cast<int>(texture), kW, kH) > 0);
        QCOMPARE(m_tracker->calls.load(), 2);
        QCOMPARE(m_probe->seen.back().result, m_probe->seen.back().frame);

        // A detail asked for later tracks the same picture again, with it.
        QCOMPARE(m_tracker->lastDetails, 0u);
        m_probe->details = vision::FaceIrises;
        QVERIFY(m_engine->processTexture(static_cast<int>(texture), kW, kH) > 0);
        QCOMPARE(m_tracker->calls.load(), 3);
        QCOMPARE(m_tracker->lastDetails, unsigned(vision::FaceIrises));

        // Nothing wants a tracker: no read-back, no tracking.
        m_probe->wanted = false;
        picture = picture.mirrored(false, true);
        const QImage again = picture.convertToFormat(QImage::Format_RGBA8888);
        m_env.gl->glBindTexture(GL_TEXTURE_2D, texture);
        m_env.gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, again.constBits());
        QVERIFY(m_engine->processTexture(static_cast<int>(texture), kW, kH) > 0);
        QCOMPARE(m_tracker->calls.load(), 3);
        m_env.gl->glDeleteTextures(1, &texture);
    }
};

QTEST_MAIN(TestEngineVision)
#include "test_engine_vision.moc"
