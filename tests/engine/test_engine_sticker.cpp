// 2D stickers with the real face tracker on the demo portraits: a sticker
// follows a shifted picture and turns with a turned one; a mouth-open
// trigger fires on an opened mouth only; the brows-raised and eyes-closed
// rules fire on the tracker's own landmarks of a portrait edited that way
// and not on the portrait as it is; no face, no sticker; bad packages log
// one line and change nothing.
#include "EngineTestSupport.h"
#include "MatImage.h"

#include "core/VelvixEngine.h"
#include "effects/sticker/StickerPackage.h"
#include "vision/FaceTracker.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace enginetest;
using namespace velvix;

namespace {

// The mask of pixels that differ by more than 12 in any channel.
cv::Mat changed(const QImage &a, const QImage &b)
{
    cv::Mat diff, grey;
    cv::absdiff(matOf(a), matOf(b), diff);
    std::vector<cv::Mat> channels;
    cv::split(diff, channels);
    grey = cv::max(cv::max(channels[0], channels[1]), channels[2]);
    return grey > 12;
}

// Centroid and principal-axis angle (degrees) of a mask.
void shapeOf(const cv::Mat &mask, cv::Point2d *centre, double *angle)
{
    const cv::Moments m = cv::moments(mask, true);
    *centre = m.m00 > 0 ? cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) : cv::Point2d(-1, -1);
    *angle = 0.5 * std::atan2(2 * m.mu11, m.mu20 - m.mu02) * 180.0 / CV_PI;
}

// demo_image1.jpg with the jaw dropped: the mouth opened wide.
QImage openMouth(const QImage &picture)
{
    const cv::Mat source = matOf(picture);
    cv::Mat mapX(source.size(), CV_32F), mapY(source.size(), CV_32F);
    const float drop = 16, gapY = 146, centreX = 223;
    for (int y = 0; y < source.rows; ++y) {
        for (int x = 0; x < source.cols; ++x) {
            const float side = std::pow(std::max(0.0f, 1 - std::fabs(x - centreX) / 70.0f), 0.7f);
            const float fade = std::min(1.0f, std::max(0.0f, (250.0f - y) / 40.0f));
            const float down = y < gapY ? 0 : std::min(drop, y - gapY);
            mapX.at<float>(y, x) = static_cast<float>(x);
            mapY.at<float>(y, x) = y - down * side * fade;
        }
    }
    cv::Mat out;
    cv::remap(source, out, mapX, mapY, cv::INTER_LINEAR);
    cv::ellipse(out, cv::Point(223, 152), cv::Size(17, 9), 0, 0, 360, cv::Scalar(60, 30, 40, 255), -1, cv::LINE_AA);
    return imageOf(out);
}

// The tracker's landmarks (pixels) of the first face in a picture.
std::vector<cv::Point2f> landmarksOf(const QImage &picture)
{
    static vision::FaceTracker tracker((appDir() + "/res/models").toStdString());
    tracker.reset();
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                      static_cast<size_t>(grey.bytesPerLine()));
    const std::vector<vision::Face> faces = tracker.track(mat, 1);
    std::vector<cv::Point2f> points;
    if (!faces.empty()) {
        for (const cv::Point3f &p : faces.front().landmarks)
            points.emplace_back(p.x, p.y);
    }
    return points;
}

// Brows lifted by a fifth of the eye distance, up the face (both brows'
// upper and lower edges of the mesh).
void raiseBrows(std::vector<cv::Point2f> &p)
{
    static const int kBrows[] = {70, 63, 105, 66, 107, 46, 53, 52, 65, 55,
                                 300, 293, 334, 296, 336, 276, 283, 282, 295, 285};
    const cv::Point2f axis = (p[263] + p[362]) * 0.5f - (p[33] + p[133]) * 0.5f;
    const cv::Point2f up = cv::Point2f(axis.y, -axis.x) * (axis.x > 0 ? 0.2f : -0.2f);
    for (int index : kBrows)
        p[index] += up;
}

// Upper lids lowered onto the lower ones.
void closeEyes(std::vector<cv::Point2f> &p)
{
    static const int kRightLid[] = {246, 161, 160, 159, 158, 157, 173};
    static const int kLeftLid[] = {466, 388, 387, 386, 385, 384, 398};
    const cv::Point2f right = (p[145] - p[159]) * 0.95f, left = (p[374] - p[386]) * 0.95f;
    for (int index : kRightLid)
        p[index] += right;
    for (int index : kLeftLid)
        p[index] += left;
}

int g_logLines = 0;
QtMessageHandler g_previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Velvix: sticker package not used")))
        ++g_logLines;
    g_previousHandler(type, context, message);
}

} // namespace

class TestEngineSticker : public QObject {
    Q_OBJECT

    EngineRig m_rig;
    Velvix *m_engine = nullptr; // m_rig's

    QImage run(const QImage &picture) { return m_rig.run(picture); }

    int sticker(const QString &package) { return m_rig.apply("motion", 0, package); }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(appDir() + "/res/models/facemesh.onnx"))
            QSKIP("face models not set up (scripts/models/setup_models.py)");
        QVERIFY(m_rig.create());
        m_engine = m_rig.engine();
        g_previousHandler = qInstallMessageHandler(countingHandler);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previousHandler);
        m_rig.destroy();
    }

    void init() { m_engine->clearAllEffects(); }

    void stickerFollowsAShiftedAndATurnedFace()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        QCOMPARE(sticker("motion/sunglasses"), 1);
        cv::Point2d centre, shiftedCentre, turnedCentre;
        double angle = 0, shiftedAngle = 0, turnedAngle = 0;
        shapeOf(changed(run(picture), picture), &centre, &angle);

        cv::Mat shifted = cv::Mat::zeros(512, 512, CV_8UC4);
        matOf(picture)(cv::Rect(0, 0, 462, 512)).copyTo(shifted(cv::Rect(50, 0, 462, 512)));
        const QImage shiftedPicture = imageOf(shifted);
        shapeOf(changed(run(shiftedPicture), shiftedPicture), &shiftedCentre, &shiftedAngle);
        QVERIFY2(std::fabs(shiftedCentre.x - centre.x - 50) < 2 && std::fabs(shiftedCentre.y - centre.y) < 2,
                 qPrintable(QStringLiteral("(%1, %2) -> (%3, %4)").arg(centre.x).arg(centre.y)
                                .arg(shiftedCentre.x).arg(shiftedCentre.y)));

        // Turned by 20 degrees about the face: the glasses turn with it.
        cv::Mat turned;
        cv::warpAffine(matOf(picture), turned, cv::getRotationMatrix2D(cv::Point2f(223, 120), 20, 1.0),
                       cv::Size(512, 512), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 255));
        const QImage turnedPicture = imageOf(turned);
        shapeOf(changed(run(turnedPicture), turnedPicture), &turnedCentre, &turnedAngle);
        QVERIFY2(std::fabs(std::fabs(turnedAngle - angle) - 20) < 3,
                 qPrintable(QStringLiteral("%1 -> %2 degrees").arg(angle).arg(turnedAngle)));
    }

    void mouthOpenTriggerFiresOnAnOpenMouthOnly_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<bool>("fires");
        QTest::newRow("opened mouth") << "open" << true;
        QTest::newRow("smile") << "demo_image1.jpg" << false;
        QTest::newRow("closed mouth") << "demo_image2.jpg" << false;
    }

    void mouthOpenTriggerFiresOnAnOpenMouthOnly()
    {
        QFETCH(QString, picture);
        QFETCH(bool, fires);
        const QImage input = picture == QLatin1String("open") ? openMouth(demoPicture("demo_image1.jpg"))
                                                              : demoPicture(picture.toUtf8().constData());
        QCOMPARE(sticker("motion/rainbow_mouth"), 1);
        const int count = cv::countNonZero(changed(run(input), input));
        QVERIFY2(fires ? count > 500 : count == 0, qPrintable(QString::number(count)));
    }

    // On the landmarks rather than on pictures: a warp that makes the mesh
    // read raised brows or shut eyes on these portraits breaks them first.
    void browAndBlinkTriggersFollowTheLandmarks_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<bool>("brows");
        QTest::addColumn<bool>("eyes");
        for (const char *picture : {"demo_image1.jpg", "demo_image2.jpg"}) {
            for (int edit = 0; edit < 4; ++edit) {
                const bool brows = edit & 1, eyes = edit & 2;
                QTest::addRow("%s, brows %s, eyes %s", picture, brows ? "raised" : "at rest", eyes ? "closed" : "open")
                    << picture << brows << eyes;
            }
        }
    }

    void browAndBlinkTriggersFollowTheLandmarks()
    {
        QFETCH(QString, picture);
        QFETCH(bool, brows);
        QFETCH(bool, eyes);
        std::vector<cv::Point2f> points = landmarksOf(demoPicture(picture.toUtf8().constData()));
        QCOMPARE(points.size(), size_t(468));
        if (brows)
            raiseBrows(points);
        if (eyes)
            closeEyes(points);
        const FaceTriggers triggers = faceTriggers(points);
        QVERIFY2(triggers.browsRaised == brows && triggers.eyesClosed == eyes && !triggers.mouthOpen,
                 qPrintable(QStringLiteral("brow height %1, eye opening %2, mouth opening %3")
                                .arg(triggers.browHeight).arg(triggers.eyeOpening).arg(triggers.mouthOpening)));
    }

    void noFaceNoSticker()
    {
        const QImage picture = syntheticPicture(320, 240).convertToFormat(QImage::Format_RGBA8888);
        QCOMPARE(sticker("motion/crown"), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
        QCOMPARE(sticker(QString()), 1);  // off
        const QImage face = demoPicture("demo_image2.jpg");
        QCOMPARE(maxDifference(run(face), face), 0);
    }

    void badPackagesLogOneLineAndChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("text");  // template.json; empty: no file
        QTest::addColumn<QSize>("imageSize");  // of a.png beside it
        const QSize small(64, 32);
        QTest::newRow("missing") << QByteArray() << small;
        QTest::newRow("not json") << QByteArray("{\"layers\": [") << small;
        QTest::newRow("no layers") << QByteArray("{\"layers\": []}") << small;
        QTest::newRow("image missing") << QByteArray("{\"layers\":[{\"image\":\"b.png\",\"anchor\":\"nose\"}]}") << small;
        QTest::newRow("image outside") << QByteArray("{\"layers\":[{\"image\":\"../a.png\",\"anchor\":\"nose\"}]}") << small;
        QTest::newRow("bad anchor") << QByteArray("{\"layers\":[{\"image\":\"a.png\",\"anchor\":\"ear\"}]}") << small;
        QTest::newRow("bad trigger")
            << QByteArray("{\"layers\":[{\"image\":\"a.png\",\"anchor\":\"nose\",\"trigger\":\"sneeze\"}]}") << small;
        QTest::newRow("width") << QByteArray("{\"layers\":[{\"image\":\"a.png\",\"anchor\":\"nose\",\"width\":1e9}]}")
                               << small;
        QTest::newRow("image too large")
            << QByteArray("{\"layers\":[{\"image\":\"a.png\",\"anchor\":\"nose\"}]}") << QSize(4096, 8);
    }

    void badPackagesLogOneLineAndChangeNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QSize, imageSize);
        QTemporaryDir dir;
        const QString folder = dir.path() + "/bad";
        QVERIFY(QDir().mkpath(folder));
        QImage art(imageSize, QImage::Format_ARGB32);
        art.fill(Qt::red);
        QVERIFY(art.save(folder + "/a.png"));
        QVERIFY(art.save(dir.path() + "/a.png"));
        if (!text.isEmpty()) {
            QFile file(folder + "/template.json");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        const QImage picture = demoPicture("demo_image1.jpg");
        const QByteArray path = folder.toUtf8();
        g_logLines = 0;
        QCOMPARE(m_engine->applyEffect("motion", 0, path.constData(), nullptr), 0);
        QCOMPARE(g_logLines, 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }
};

QTEST_MAIN(TestEngineSticker)
#include "test_engine_sticker.moc"
