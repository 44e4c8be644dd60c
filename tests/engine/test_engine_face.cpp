// Face effects with the real face tracker on the demo portraits: every shape
// control at 0 is an exact passthrough; a big-eye setting grows the eyes and
// a thin face narrows the jaw, as a separate tracker measures on the output;
// pixels away from the face stay as they were; a picture without a face is
// left alone; two faces are both reshaped.
#include "EngineTestSupport.h"

#include "core/EffectParams.h"
#include "core/VelvixEngine.h"
#include "vision/FaceTrackerAdapter.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

using namespace enginetest;
using namespace velvix;

namespace {



std::vector<vision::Face> measure(const QImage &picture)
{
    static vision::FaceTracker tracker((appDir() + "/res/models").toStdString());
    tracker.reset();
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                      static_cast<size_t>(grey.bytesPerLine()));
    return tracker.track(mat, 1);
}

double distance(const vision::Face &face, int a, int b)
{
    return cv::norm(face.point(a) - face.point(b));
}

// Area of an eye opening (the mesh's eye ring), in pixels.
double eyeArea(const vision::Face &face, bool right)
{
    static const int kRight[] = {33, 7, 163, 144, 145, 153, 154, 155, 133, 173, 157, 158, 159, 160, 161, 246};
    static const int kLeft[] = {263, 249, 390, 373, 374, 380, 381, 382, 362, 398, 384, 385, 386, 387, 388, 466};
    std::vector<cv::Point2f> ring;
    for (int index : right ? kRight : kLeft)
        ring.push_back(face.point(index));
    return cv::contourArea(ring);
}

// Fine detail in an area: standard deviation of luma minus its 5 x 5 mean.
double detail(const QImage &picture, const cv::Rect &area)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                      static_cast<size_t>(grey.bytesPerLine()));
    cv::Mat f, mean;
    mat.convertTo(f, CV_32F);
    cv::blur(f, mean, cv::Size(5, 5));
    cv::Scalar m, sd;
    cv::meanStdDev(cv::Mat(f - mean)(area), m, sd);
    return sd[0];
}

cv::Rect around(cv::Point2f centre, double halfWidth, double halfHeight)
{
    return cv::Rect(cv::Point(int(centre.x - halfWidth), int(centre.y - halfHeight)),
                    cv::Point(int(centre.x + halfWidth), int(centre.y + halfHeight)));
}

std::vector<const char *> shapeNames()
{
    std::vector<const char *> names;
    size_t count = 0;
    const EffectInfo *table = effectTable(&count);
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(table[i].family, "reshape") == 0)
            names.push_back(table[i].name);
    }
    return names;
}

} // namespace

class TestEngineFace : public QObject {
    Q_OBJECT

    EngineRig m_rig;
    Velvix *m_engine = nullptr; // m_rig's

    QImage run(const QImage &picture) { return m_rig.run(picture); }

    void set(const char *name, int value) { QCOMPARE(m_engine->applyEffect(name, value, nullptr, nullptr), 1); }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(appDir() + "/res/models/facemesh.onnx"))
            QSKIP("face models not set up (scripts/models/setup_models.py)");
        QVERIFY(m_rig.create());
        m_engine = m_rig.engine();
    }

    void cleanupTestCase() { m_rig.destroy(); }

    void init() { m_engine->clearAllEffects(); }

    void everyShapeControlAtZeroIsAPassthrough()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        for (const char *name : shapeNames()) {
            const int strong = std::strncmp(name, "basicV7.", 8) == 0 ? -100 : 100;
            set(name, strong);
            QVERIFY2(maxDifference(run(picture), picture) > 1, name);
            set(name, 0);
            QVERIFY2(maxDifference(run(picture), picture) == 0, name);
        }
    }

    void bigEyeGrowsTheEyesAndThinFaceNarrowsTheJaw()
    {
        for (const char *name : {"demo_image1.jpg", "demo_image2.jpg"}) {
            const QImage picture = demoPicture(name);
            const auto before = measure(picture);
            QCOMPARE(int(before.size()), 1);
            set("shape.bigEye", 100);
            const auto bigger = measure(run(picture));
            QCOMPARE(int(bigger.size()), 1);
            // Behind the glasses of the second portrait the mesh does not
            // follow the eye opening; the eyes are measured on the first.
            for (bool right : {true, false}) {
                const double ratio = eyeArea(bigger[0], right) / eyeArea(before[0], right);
                qInfo("%s: eye area x %.3f", name, ratio);
                if (std::strcmp(name, "demo_image1.jpg") == 0)
                    QVERIFY2(ratio > 1.12, qPrintable(QStringLiteral("%1: eye area x %2").arg(name).arg(ratio)));
            }
            set("shape.bigEye", 0);
            set("shape.thinFace", 100);
            const auto thinner = measure(run(picture));
            QCOMPARE(int(thinner.size()), 1);
            const double jaw = distance(thinner[0], 172, 397) / distance(before[0], 172, 397);
            qInfo("%s: jaw width x %.3f", name, jaw);
            QVERIFY2(jaw < 0.97, qPrintable(QStringLiteral("%1: jaw width x %2").arg(name).arg(jaw)));
        }
    }

    void pixelsAwayFromTheFaceStayUnchanged()
    {
        const QImage picture = demoPicture("demo_image2.jpg");
        const auto faces = measure(picture);
        QCOMPARE(int(faces.size()), 1);
        const cv::Point2f centre = (faces[0].rightEyeCentre() + faces[0].leftEyeCentre()) * 0.5f;
        const double eyeDistance = cv::norm(faces[0].rightEyeCentre() - faces[0].leftEyeCentre());
        for (const char *name : shapeNames())
            set(name, std::strncmp(name, "basicV7.", 8) == 0 ? 100 : 100);
        const QImage out = run(picture);
        int far = 0;
        int worst = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (std::hypot(x + 0.5 - centre.x, y + 0.5 - centre.y) < 3.5 * eyeDistance)
                    continue;
                ++far;
                const QRgb a = picture.pixel(x, y);
                const QRgb b = out.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        }
        QVERIFY(far > 10000);
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
        QVERIFY(maxDifference(out, picture) > 10);
    }

    // With a colour effect on, the warp is folded into the colour pass (the
    // frame is sampled at the moved positions); the result must be what
    // warping first and colouring the warped picture gives.
    void warpInTheColourPassMatchesWarpThenColour_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("big eyes + contrast") << "shape.bigEye" << "quality.contrast" << 2;
        QTest::newRow("thin face + filter colour") << "shape.thinFace" << "quality.temperature" << 2;
        // Sharpening reads neighbours one pixel apart at the moved position.
        QTest::newRow("chin + sharpen") << "basicV7.chin" << "beauty.sharpen" << 6;
    }
    void warpInTheColourPassMatchesWarpThenColour()
    {
        QFETCH(QString, shape);
        QFETCH(QString, colour);
        QFETCH(int, tolerance);
        const QImage picture = demoPicture("demo_image1.jpg");
        set(shape.toUtf8().constData(), 80);
        const QImage warped = run(picture);
        set(colour.toUtf8().constData(), 60);
        const QImage together = run(picture);
        set(shape.toUtf8().constData(), 0);
        const QImage twoSteps = run(warped);
        QVERIFY(maxDifference(warped, picture) > 10);
        const int difference = maxDifference(together, twoSteps);
        QVERIFY2(difference <= tolerance, qPrintable(QString::number(difference)));
    }

    void smoothingFlattensWrinklesAndKeepsTheEyes()
    {
        const QImage picture = demoPicture("demo_image2.jpg");
        const auto faces = measure(picture);
        QCOMPARE(int(faces.size()), 1);
        const vision::Face &face = faces[0];
        const double iod = cv::norm(face.rightEyeCentre() - face.leftEyeCentre());
        // Wrinkled skin: forehead, both cheeks; eyes: the eye openings. The
        // forehead strip stays clear of the cap's brim a few pixels above,
        // an edge the smoothing keeps on purpose.
        const cv::Rect skin[] = {around(face.point(151), 0.35 * iod, 0.09 * iod),
                                 around(face.point(50), 0.15 * iod, 0.15 * iod),
                                 around(face.point(280), 0.15 * iod, 0.15 * iod)};
        const cv::Rect eyes[] = {around(face.rightEyeCentre(), 0.22 * iod, 0.1 * iod),
                                 around(face.leftEyeCentre(), 0.22 * iod, 0.1 * iod)};
        set("beauty.smooth", 100);
        const QImage out = run(picture);
        for (const cv::Rect &area : skin) {
            const double ratio = detail(out, area) / detail(picture, area);
            qInfo("wrinkles at %d,%d: x %.2f", area.x, area.y, ratio);
            QVERIFY2(ratio <= 0.5, qPrintable(QString::number(ratio)));
        }
        for (const cv::Rect &area : eyes) {
            const double ratio = detail(out, area) / detail(picture, area);
            qInfo("eye at %d,%d: x %.2f", area.x, area.y, ratio);
            QVERIFY2(ratio >= 0.9, qPrintable(QString::number(ratio)));
        }
    }

    void atomicAbilitiesDrawOnTheFaceOnly_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"atomic.faceLandmarks", "atomic.faceMesh", "atomic.headPose"})
            QTest::newRow(name) << QString(name);
    }

    void atomicAbilitiesDrawOnTheFaceOnly()
    {
        QFETCH(QString, name);
        const QImage picture = demoPicture("demo_image2.jpg");
        const auto faces = measure(picture);
        QCOMPARE(int(faces.size()), 1);
        const QRect face = QRect(int(faces[0].box.x), int(faces[0].box.y), int(faces[0].box.width),
                                 int(faces[0].box.height)).adjusted(-40, -40, 40, 40);
        set(name.toUtf8().constData(), 100);
        const QImage out = run(picture);
        int drawn = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (out.pixel(x, y) == picture.pixel(x, y))
                    continue;
                QVERIFY2(face.contains(x, y), qPrintable(QStringLiteral("%1 drew at %2,%3").arg(name).arg(x).arg(y)));
                ++drawn;
            }
        }
        QVERIFY2(drawn > 100, qPrintable(QString::number(drawn)));
    }

    void noFaceLeavesThePictureAlone()
    {
        const QImage picture = syntheticPicture(320, 240).convertToFormat(QImage::Format_RGBA8888);
        for (const char *name : shapeNames())
            set(name, 100);
        for (const char *name : {"atomic.faceLandmarks", "atomic.faceMesh", "atomic.headPose"})
            set(name, 100);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    void twoFacesAreBothReshaped()
    {
        // The first portrait twice, the second one mirrored.
        QImage pair(1024, 512, QImage::Format_RGBA8888);
        pair.fill(Qt::white);
        {
            QPainter painter(&pair);
            painter.drawImage(0, 0, demoPicture("demo_image1.jpg"));
            painter.drawImage(512, 0, demoPicture("demo_image1.jpg").mirrored(true, false));
        }
        const auto faces = measure(pair);
        QCOMPARE(int(faces.size()), 2);
        set("shape.bigEye", 100);
        const QImage out = run(pair);
        const auto after = measure(out);
        QCOMPARE(int(after.size()), 2);
        for (const auto &face : faces) {
            // The same face after the effect: the one nearest in place.
            const vision::Face *match = &after[0];
            for (const auto &candidate : after) {
                if (cv::norm(candidate.point(4) - face.point(4)) < cv::norm(match->point(4) - face.point(4)))
                    match = &candidate;
            }
            const double ratio = eyeArea(*match, true) / eyeArea(face, true);
            QVERIFY2(ratio > 1.08, qPrintable(QStringLiteral("eye area x %1").arg(ratio)));
        }
    }
};

QTEST_MAIN(TestEngineFace)
#include "test_engine_face.moc"
