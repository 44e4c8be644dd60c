// Gesture rules on hand-made landmark sets: each gesture is recognised at any
// size, position, in-plane rotation and mirrored (the thumbs-up only upright),
// and near misses (a pointing index, a half-open hand) are no gesture.
#include "HandGesture.h"

#include <QtTest>

#include <cmath>

using namespace velvix::vision;

namespace {

using Hand = std::array<cv::Point2f, 21>;
using Finger = std::array<cv::Point2f, 4>;

// Hand frame: wrist at the origin, fingers pointing up (y down), palm = 1.
const cv::Point2f kKnuckle[5] = {{-0.35f, -0.25f}, {-0.3f, -0.95f}, {0, -1}, {0.25f, -0.92f}, {0.45f, -0.8f}};

Finger straight(int finger, float splayDegrees = 0)
{
    const float a = splayDegrees * float(CV_PI) / 180;
    const cv::Point2f dir(std::sin(a), -std::cos(a));
    const cv::Point2f k = kKnuckle[finger];
    return {k, k + dir * 0.4f, k + dir * 0.65f, k + dir * 0.87f};
}

Finger curled(int finger)
{
    const cv::Point2f k = kKnuckle[finger];
    return {k, k + cv::Point2f(0, -0.35f), k + cv::Point2f(0, -0.2f), k + cv::Point2f(0, 0.05f)};
}

const Finger kThumbOut = {{{-0.35f, -0.25f}, {-0.6f, -0.45f}, {-0.8f, -0.6f}, {-0.95f, -0.72f}}};
const Finger kThumbIn = {{{-0.35f, -0.25f}, {-0.45f, -0.5f}, {-0.3f, -0.7f}, {-0.05f, -0.75f}}};
const Finger kThumbSide = {{{-0.35f, -0.25f}, {-0.6f, -0.3f}, {-0.85f, -0.32f}, {-1.1f, -0.33f}}};

Hand make(const Finger &thumb, const Finger &index, const Finger &middle, const Finger &ring, const Finger &little)
{
    Hand h;
    h[0] = {0, 0};
    const Finger *fingers[5] = {&thumb, &index, &middle, &ring, &little};
    for (int f = 0; f < 5; ++f) {
        for (int j = 0; j < 4; ++j)
            h[size_t(1 + 4 * f + j)] = (*fingers[f])[size_t(j)];
    }
    return h;
}

// Rotated by `degrees`, scaled, moved, optionally mirrored left to right.
Hand place(Hand h, float degrees, float scale, cv::Point2f at, bool mirror)
{
    const float a = degrees * float(CV_PI) / 180;
    for (cv::Point2f &p : h) {
        cv::Point2f q(p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a));
        if (mirror)
            q.x = -q.x;
        p = q * scale + at;
    }
    return h;
}

} // namespace


class TestHandGesture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recognised_data()
    {
        QTest::addColumn<int>("hand");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("open palm") << 0 << int(Gesture::OpenPalm) << true;
        QTest::newRow("fist") << 1 << int(Gesture::Fist) << true;
        QTest::newRow("victory") << 2 << int(Gesture::Victory) << true;
        QTest::newRow("thumbs up") << 3 << int(Gesture::ThumbsUp) << false;
        QTest::newRow("ok") << 4 << int(Gesture::Ok) << true;
        QTest::newRow("finger heart") << 5 << int(Gesture::FingerHeart) << true;
        QTest::newRow("pointing index") << 6 << int(Gesture::None) << true;
        QTest::newRow("half-open hand") << 7 << int(Gesture::None) << true;
    }

    void recognised()
    {
        QFETCH(int, hand);
        QFETCH(int, expected);
        QFETCH(bool, rotates);
        const Finger okIndex = {{kKnuckle[1], {-0.4f, -1.25f}, {-0.5f, -1.2f}, {-0.55f, -1.05f}}};
        const Finger okThumb = {{{-0.35f, -0.25f}, {-0.6f, -0.45f}, {-0.7f, -0.75f}, {-0.6f, -1.0f}}};
        const Finger heartIndex = {{kKnuckle[1], {-0.35f, -1.3f}, {-0.25f, -1.45f}, {-0.1f, -1.5f}}};
        const Finger heartThumb = {{{-0.35f, -0.25f}, {-0.5f, -0.6f}, {-0.35f, -1.0f}, {-0.12f, -1.42f}}};
        // Fingers bent halfway: tips level with the middle joints.
        auto half = [](int f) {
            const cv::Point2f k = kKnuckle[f];
            return Finger{k, k + cv::Point2f(0, -0.4f), k + cv::Point2f(0.1f, -0.5f), k + cv::Point2f(0.2f, -0.4f)};
        };
        const Hand hands[] = {
            make(kThumbOut, straight(1, -8), straight(2), straight(3, 6), straight(4, 12)),
            make(kThumbIn, curled(1), curled(2), curled(3), curled(4)),
            make(kThumbIn, straight(1, -12), straight(2, 10), curled(3), curled(4)),
            // Thumbs up: the hand on its side (fingers to the right), thumb up.
            place(make(kThumbSide, curled(1), curled(2), curled(3), curled(4)), 90, 1, {0, 0}, false),
            make(okThumb, okIndex, straight(2), straight(3, 6), straight(4, 12)),
            make(heartThumb, heartIndex, curled(2), curled(3), curled(4)),
            make(kThumbIn, straight(1), curled(2), curled(3), curled(4)),
            make(kThumbIn, half(1), half(2), half(3), half(4)),
        };
        const Hand &base = hands[hand];
        struct Placement {
            float degrees, scale;
            cv::Point2f at;
            bool mirror;
        };
        const Placement placements[] = {{0, 1, {0, 0}, false}, {0, 90, {640, 360}, false}, {0, 40, {100, 80}, true},
                                        {35, 120, {300, 300}, false}, {-50, 70, {200, 500}, true}, {180, 60, {400, 100}, false}};
        for (const Placement &pl : placements) {
            if (!rotates && pl.degrees != 0)
                continue;
            const Gesture found = classifyGesture(place(base, pl.degrees, pl.scale, pl.at, pl.mirror));
            QVERIFY2(int(found) == expected,
                     qPrintable(QStringLiteral("%1 at %2 degrees%3").arg(gestureName(found)).arg(pl.degrees)
                                    .arg(pl.mirror ? " mirrored" : "")));
        }
    }

    void degenerateHandIsNoGesture()
    {
        Hand collapsed;
        collapsed.fill({5, 5});
        QCOMPARE(int(classifyGesture(collapsed)), int(Gesture::None));
    }
};

QTEST_APPLESS_MAIN(TestHandGesture)
#include "tst_handgesture.moc"
