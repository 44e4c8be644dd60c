// Body tracking and body shaping on the demo body picture: the keypoints
// land where a person marked them; every body control at 0 is an exact
// passthrough and at full strength changes the picture; a slimmer waist has
// less coat across the waist; the leg stretch keeps a line across the
// picture straight; pixels away from the person stay; the skeleton is
// drawn on the keypoints; a picture without a person is left alone.
#include "EngineTestSupport.h"
#include "MatImage.h"

#include "core/EffectParams.h"
#include "core/VelvixEngine.h"
#include "vision/BodyTracker.h"

#include <QCoreApplication>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace enginetest;
using namespace velvix;

namespace {


QImage bodyPicture()
{
    return demoPicture(QStringLiteral("demo_image4 body.jpg"));
}

std::vector<vision::BodyPose> measure(const QImage &picture)
{
    static auto tracker = vision::BodyTracker::create((appDir() + "/res/models").toStdString());
    auto result = std::dynamic_pointer_cast<vision::BodyResult>(tracker->track(enginetest::stillLuma(picture)));
    return result ? result->people : std::vector<vision::BodyPose>{};
}

std::vector<const char *> bodyNames()
{
    std::vector<const char *> names;
    size_t count = 0;
    const EffectInfo *table = effectTable(&count);
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(table[i].family, "body") == 0)
            names.push_back(table[i].name);
    }
    return names;
}

// Dark (coat) pixels in a band of rows.
int darkPixels(const QImage &picture, int top, int bottom)
{
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < picture.width(); ++x)
            count += qGray(picture.pixel(x, y)) < 50 ? 1 : 0;
    }
    return count;
}

} // namespace

class TestEngineBody : public QObject {
    Q_OBJECT

    EngineRig m_rig;
    Velvix *m_engine = nullptr; // m_rig's

    QImage run(const QImage &picture) { return m_rig.run(picture); }

    void set(const char *name, int value) { QCOMPARE(m_engine->applyEffect(name, value, nullptr, nullptr), 1); }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(appDir() + "/res/models/movenet-lightning.onnx"))
            QSKIP("body model not set up (scripts/models/setup_models.py)");
        QVERIFY(m_rig.create());
        m_engine = m_rig.engine();
    }

    void cleanupTestCase() { m_rig.destroy(); }

    void init() { m_engine->clearAllEffects(); }

    void keypointsWhereMarked_data()
    {
        QTest::addColumn<int>("point");
        QTest::addColumn<QPointF>("marked");
        // Marked by hand on the 512 x 512 picture (the man faces right; his
        // right side is towards the camera).
        QTest::newRow("nose") << int(vision::Nose) << QPointF(247, 160);
        QTest::newRow("right ear") << int(vision::RightEar) << QPointF(190, 138);
        QTest::newRow("right shoulder") << int(vision::RightShoulder) << QPointF(95, 172);
        QTest::newRow("right wrist") << int(vision::RightWrist) << QPointF(198, 240);
    }

    void keypointsWhereMarked()
    {
        QFETCH(int, point);
        QFETCH(QPointF, marked);
        const auto people = measure(bodyPicture());
        QCOMPARE(int(people.size()), 1);
        const vision::BodyPose &pose = people[0];
        // The body runs from the top of the head (y 65) to the bottom edge.
        const double tolerance = 0.05 * (512 - 65);
        const cv::Point2f found = pose.points[size_t(point)];
        QVERIFY(pose.has(point, 0.2f));
        QVERIFY2(std::hypot(found.x - marked.x(), found.y - marked.y()) <= tolerance,
                 qPrintable(QStringLiteral("found %1, %2").arg(found.x).arg(found.y)));
    }

    void everyBodyControlAtZeroIsAPassthrough()
    {
        const QImage picture = bodyPicture();
        for (const char *name : bodyNames()) {
            set(name, 100);
            QVERIFY2(maxDifference(run(picture), picture) > 1, name);
            set(name, 0);
            QVERIFY2(maxDifference(run(picture), picture) == 0, name);
        }
    }

    void slimWaistNarrowsTheCoat()
    {
        const QImage picture = bodyPicture();
        const auto people = measure(picture);
        QCOMPARE(int(people.size()), 1);
        const auto &p = people[0].points;
        const float shoulders = (p[vision::LeftShoulder].y + p[vision::RightShoulder].y) / 2;
        const float hips = (p[vision::LeftHip].y + p[vision::RightHip].y) / 2;
        const int waist = int(shoulders + 0.72f * (hips - shoulders));
        const int before = darkPixels(picture, waist - 20, waist + 20);
        set("body.slimWaist", 100);
        const int after = darkPixels(run(picture), waist - 20, waist + 20);
        qInfo("coat pixels across the waist: %d -> %d", before, after);
        QVERIFY(after < before * 0.95);
    }

    void longLegKeepsALineAcrossStraight()
    {
        QImage picture = bodyPicture();
        {
            QPainter painter(&picture);
            painter.fillRect(QRect(0, 440, picture.width(), 3), Qt::red);
        }
        set("body.longLeg", 100);
        const QImage out = run(picture);
        // The centre of the red line in every column.
        double top = 1e9, bottom = -1e9;
        for (int x = 0; x < out.width(); ++x) {
            double sum = 0, weight = 0;
            for (int y = 0; y < out.height(); ++y) {
                const QRgb c = out.pixel(x, y);
                const double red = std::max(0, qRed(c) - std::max(qGreen(c), qBlue(c)));
                sum += red * y;
                weight += red;
            }
            QVERIFY(weight > 0);
            top = std::min(top, sum / weight);
            bottom = std::max(bottom, sum / weight);
        }
        qInfo("line at %.2f..%.2f", top, bottom);
        QVERIFY(top > 442.0);  // moved down: the legs are longer
        QVERIFY(bottom - top <= 1.0);
    }

    void pixelsAwayFromThePersonStay()
    {
        const QImage picture = bodyPicture();
        for (const char *name : bodyNames()) {
            if (std::strcmp(name, "body.longLeg") != 0)
                set(name, 100);
        }
        const QImage out = run(picture);
        QVERIFY(maxDifference(out, picture) > 1);
        // The sky and buildings right of the man, and the grass below the camera.
        QCOMPARE(maxDifference(out.copy(380, 0, 132, 512), picture.copy(380, 0, 132, 512)), 0);
    }

    void skeletonDrawnOnTheKeypoints()
    {
        const QImage picture = bodyPicture();
        const auto people = measure(picture);
        QCOMPARE(int(people.size()), 1);
        set("atomic.bodySkeleton", 100);
        const QImage out = run(picture);
        int marked = 0;
        for (int k = 0; k < vision::BodyPointCount; ++k) {
            if (!people[0].has(k, 0.2f))
                continue;
            const cv::Point2f p = people[0].points[size_t(k)];
            if (p.x < 0 || p.y < 0 || p.x >= out.width() || p.y >= out.height())
                continue;
            const QRgb c = out.pixel(int(p.x), int(p.y));
            QVERIFY2(qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) < 110, qPrintable(QString::number(k)));
            ++marked;
        }
        QVERIFY(marked >= 8);
        set("atomic.bodySkeleton", 0);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    void noPersonNoChange()
    {
        // Buildings and grass beside the man, without him.
        const QImage picture = bodyPicture().copy(330, 0, 182, 512).scaled(364, 1024);
        QVERIFY(measure(picture).empty());
        for (const char *name : bodyNames())
            set(name, 100);
        set("atomic.bodySkeleton", 100);
        QCOMPARE(maxDifference(run(picture), picture), 0);
        // Nor a blank frame.
        QImage blank(320, 240, QImage::Format_RGBA8888);
        blank.fill(Qt::gray);
        QCOMPARE(maxDifference(run(blank), blank), 0);
    }
};

QTEST_MAIN(TestEngineBody)
#include "test_engine_body.moc"
