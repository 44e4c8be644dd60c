// Makeup with the real face tracker on the demo portraits: every effect at 0
// is an exact passthrough; lipstick stays inside the lips (annotated by hand
// on demo_image1.jpg, not by the tracker), spares the teeth, moves the lips'
// hue towards the package colour and keeps their shading; every shipped
// package and look visibly changes the face and nothing far from it; the
// makeup follows a shifted picture; no face, no change; bad packages log one
// line and change nothing.
#include "EngineTestSupport.h"

#include "core/VelvixEngine.h"
#include "effects/makeup/MakeupMasks.h"
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



// The lips of demo_image1.jpg (512 x 512), traced by hand on a 12x zoom.
const std::vector<cv::Point> kLips = {{202, 139}, {208, 137}, {215, 137}, {222, 138}, {230, 137},
                                      {237, 137}, {244, 140}, {243, 145}, {239, 151}, {233, 154},
                                      {225, 156}, {216, 155}, {210, 151}, {206, 145}};
constexpr double kFaceWidth = 100.0;  // cheek to cheek at eye height, same picture
const cv::Rect kTeeth(215, 143, 13, 4);

cv::Mat polygonMask(cv::Size size, const std::vector<cv::Point> &polygon, int grow)
{
    cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(255));
    if (grow > 0)
        cv::dilate(mask, mask, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * grow + 1, 2 * grow + 1)));
    return mask;
}

int pixelDifference(const QImage &a, const QImage &b, int x, int y)
{
    const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
    return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
}

// Mean hue angle (a*, b* of CIELAB) and luma of the pixels under a mask.
void labInside(const QImage &picture, const cv::Mat &mask, double *hue, std::vector<double> *luma)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const cv::Mat mat(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar *>(rgb.constBits()),
                      static_cast<size_t>(rgb.bytesPerLine()));
    cv::Mat lab;
    cv::cvtColor(mat, lab, cv::COLOR_RGB2Lab);
    double a = 0, b = 0;
    luma->clear();
    for (int y = 0; y < mask.rows; ++y) {
        for (int x = 0; x < mask.cols; ++x) {
            if (!mask.at<uchar>(y, x))
                continue;
            const cv::Vec3b v = lab.at<cv::Vec3b>(y, x);
            a += v[1] - 128.0;
            b += v[2] - 128.0;
            luma->push_back(v[0]);
        }
    }
    *hue = std::atan2(b, a);
}

double correlation(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = static_cast<double>(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

double hueDistance(double a, double b)
{
    double d = std::fabs(a - b);
    return d > M_PI ? 2 * M_PI - d : d;
}

// Centroid of the pixels that differ by more than 8.
cv::Point2d changedCentroid(const QImage &a, const QImage &b)
{
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (pixelDifference(a, b, x, y) > 8) {
                sx += x;
                sy += y;
                n += 1;
            }
        }
    }
    return n > 0 ? cv::Point2d(sx / n, sy / n) : cv::Point2d(-1, -1);
}

int g_packageLogLines = 0;
QtMessageHandler g_previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Velvix: makeup package for")))
        ++g_packageLogLines;
    g_previousHandler(type, context, message);
}

} // namespace

class TestEngineMakeup : public QObject {
    Q_OBJECT

    EngineRig m_rig;
    Velvix *m_engine = nullptr; // m_rig's

    QImage run(const QImage &picture) { return m_rig.run(picture); }

    int apply(const char *name, int value, const QString &package) { return m_rig.apply(name, value, package); }

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

    // Every shipped package and look: at 0 an exact passthrough; at 100 a
    // visible change on the face and none in the far corners.
    void everyPackageChangesTheFaceOnly_data()
    {
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QString>("package");
        for (const QString &folder : QDir(resPath("makeup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString kind = folder.section('_', 0, 0);
            QTest::newRow(qPrintable(folder)) << "makeup." + kind << "makeup/" + folder;
        }
        for (const QString &folder : QDir(resPath("light_makeup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QTest::newRow(qPrintable("light " + folder)) << "light.makeup" << "light_makeup/" + folder;
        for (const QString &folder : QDir(resPath("style_makeup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QTest::newRow(qPrintable("style " + folder)) << "makeup" << "style_makeup/" + folder;
    }

    void everyPackageChangesTheFaceOnly()
    {
        QFETCH(QString, effect);
        QFETCH(QString, package);
        const QByteArray name = effect.toUtf8();
        const QImage picture = demoPicture("demo_image1.jpg");
        QCOMPARE(apply(name.constData(), 0, package), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
        QCOMPARE(apply(name.constData(), 100, QString()), 1);  // strength alone keeps the package
        const QImage out = run(picture);
        double changed = 0;
        for (int y = 60; y < 230; ++y)
            for (int x = 140; x < 300; ++x)
                changed += pixelDifference(out, picture, x, y) > 6;
        QVERIFY2(changed > 40, qPrintable(QString::number(changed)));
        // Styled looks bring a filter for the whole picture.
        if (effect != QLatin1String("makeup")) {
            const QRect corners[] = {QRect(0, 0, 100, 40), QRect(400, 400, 112, 112), QRect(0, 400, 100, 112)};
            for (const QRect &corner : corners)
                QCOMPARE(maxDifference(out.copy(corner), picture.copy(corner)), 0);
        }
        // Back at 0, the look's filter and face shape are gone too.
        QCOMPARE(apply(name.constData(), 0, QString()), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    // A styled look switches on its filter and face shape through their own
    // families, and a look without them switches them off again.
    void styledLookSetsFilterAndShape()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        QCOMPARE(apply("makeup", 100, "style_makeup/glam"), 1);
        const QImage glam = run(picture);
        QVERIFY(maxDifference(glam.copy(0, 0, 100, 40), picture.copy(0, 0, 100, 40)) > 3);  // the filter
        QCOMPARE(apply("makeup", 100, "style_makeup/fresh"), 1);  // warm filter, no face shape
        const QImage fresh = run(picture);
        m_engine->clearAllEffects();
        QCOMPARE(m_engine->applyEffect("lut", 30, resPath("lut/warm.png").toUtf8().constData(), nullptr), 1);
        const QImage filterOnly = run(picture);
        // Away from the face only the filter acts, and the glam look's thin
        // face is gone (the jaw line area matches the filter alone).
        QVERIFY(maxDifference(fresh.copy(0, 0, 100, 40), filterOnly.copy(0, 0, 100, 40)) <= 1);
        QVERIFY(maxDifference(fresh.copy(165, 175, 25, 35), filterOnly.copy(165, 175, 25, 35)) <= 1);
    }

    void lipstickStaysOnTheLipsAndKeepsTheirShading()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        QCOMPARE(apply("makeup.lipstick", 80, "makeup/lipstick_berry"), 1);
        const QImage out = run(picture);
        const cv::Size size(picture.width(), picture.height());
        const cv::Mat inside = polygonMask(size, kLips, 0);
        const cv::Mat allowed = polygonMask(size, kLips, int(std::ceil(0.03 * kFaceWidth)));
        int changedInside = 0, insideCount = 0, strayed = 0;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const int d = pixelDifference(out, picture, x, y);
                if (inside.at<uchar>(y, x)) {
                    ++insideCount;
                    changedInside += d > 4;
                } else if (!allowed.at<uchar>(y, x) && d > 2) {
                    ++strayed;
                }
            }
        }
        QCOMPARE(strayed, 0);
        QVERIFY2(changedInside > insideCount / 3, qPrintable(QStringLiteral("%1 of %2").arg(changedInside).arg(insideCount)));
        // The teeth of the smiling mouth keep their colour.
        const Rgb before = meanColour(picture, QRect(kTeeth.x, kTeeth.y, kTeeth.width, kTeeth.height));
        const Rgb after = meanColour(out, QRect(kTeeth.x, kTeeth.y, kTeeth.width, kTeeth.height));
        QVERIFY(std::fabs(before.g - after.g) < 6 && std::fabs(before.r - after.r) < 6);

        // Hue towards the package colour (#8E2048), shading kept.
        const cv::Mat lips = polygonMask(size, kLips, 0);
        cv::Mat core;
        cv::erode(lips, core, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
        cv::Mat teeth = cv::Mat::zeros(size, CV_8UC1);
        teeth(kTeeth) = 255;
        core.setTo(0, teeth);
        double hueBefore = 0, hueAfter = 0;
        std::vector<double> lumaBefore, lumaAfter;
        labInside(picture, core, &hueBefore, &lumaBefore);
        labInside(out, core, &hueAfter, &lumaAfter);
        cv::Mat swatch(1, 1, CV_8UC3, cv::Scalar(0x8E, 0x20, 0x48)), swatchLab;
        cv::cvtColor(swatch, swatchLab, cv::COLOR_RGB2Lab);
        const cv::Vec3b target = swatchLab.at<cv::Vec3b>(0, 0);
        const double hueTarget = std::atan2(target[2] - 128.0, target[1] - 128.0);
        QVERIFY2(hueDistance(hueAfter, hueTarget) < hueDistance(hueBefore, hueTarget) - 0.1,
                 qPrintable(QStringLiteral("%1 -> %2, target %3").arg(hueBefore).arg(hueAfter).arg(hueTarget)));
        const double r = correlation(lumaBefore, lumaAfter);
        QVERIFY2(r > 0.8, qPrintable(QString::number(r)));
    }

    void makeupFollowsAShiftedFace()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        QImage shifted(picture.size(), picture.format());
        shifted.fill(Qt::black);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x + 50 < picture.width(); ++x)
                shifted.setPixel(x + 50, y, picture.pixel(x, y));
        QCOMPARE(apply("makeup.lipstick", 100, "makeup/lipstick_red"), 1);
        const cv::Point2d a = changedCentroid(run(picture), picture);
        const cv::Point2d b = changedCentroid(run(shifted), shifted);
        QVERIFY(a.x > 0 && b.x > 0);
        QVERIFY2(std::fabs(b.x - a.x - 50) < 2 && std::fabs(b.y - a.y) < 2,
                 qPrintable(QStringLiteral("(%1, %2) -> (%3, %4)").arg(a.x).arg(a.y).arg(b.x).arg(b.y)));
    }

    void noFaceLeavesThePictureAlone()
    {
        const QImage picture = syntheticPicture(320, 240).convertToFormat(QImage::Format_RGBA8888);
        QCOMPARE(apply("light.makeup", 100, "light_makeup/evening"), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    // A face turned aside fades its makeup out instead of painting regions
    // that slid off the face.
    void turnedFaceFadesOut()
    {
        const QImage grey = demoPicture("demo_image1.jpg").convertToFormat(QImage::Format_Grayscale8);
        vision::FaceTracker tracker((appDir() + "/res/models").toStdString());
        const cv::Mat mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                          static_cast<size_t>(grey.bytesPerLine()));
        const std::vector<vision::Face> faces = tracker.track(mat, 1);
        QVERIFY(!faces.empty());
        std::vector<cv::Point2f> points;
        for (const cv::Point3f &p : faces[0].landmarks)
            points.emplace_back(p.x, p.y);
        MakeupMasks front, turned;
        QVERIFY(buildMakeupMasks(points, cv::Size(512, 512), 1u, &front));
        QVERIFY(front.fade > 0.99f);
        // Squash the face's left half towards the nose, as a profile does.
        const cv::Point2f nose = points[4];
        for (cv::Point2f &p : points) {
            if ((p.x - nose.x) * (points[454].x - nose.x) > 0)
                p.x = nose.x + (p.x - nose.x) * 0.15f;
        }
        QVERIFY(buildMakeupMasks(points, cv::Size(512, 512), 1u, &turned));
        QVERIFY2(turned.fade < 0.2f, qPrintable(QString::number(turned.fade)));
    }

    void badPackagesLogOneLineAndChangeNothing_data()
    {
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QByteArray>("text");  // template.json; empty: no file
        QTest::newRow("missing") << "makeup.lipstick" << QByteArray();
        QTest::newRow("not json") << "makeup.lipstick" << QByteArray("{\"kind\": \"lipstick\", ");
        QTest::newRow("other kind") << "makeup.lipstick"
                                    << QByteArray("{\"kind\":\"blush\",\"color\":\"#FF0000\",\"blend\":\"colour\",\"opacity\":1}");
        QTest::newRow("bad colour") << "makeup.blush"
                                    << QByteArray("{\"kind\":\"blush\",\"color\":\"red\",\"blend\":\"colour\",\"opacity\":1}");
        QTest::newRow("bad blend") << "makeup.blush"
                                   << QByteArray("{\"kind\":\"blush\",\"color\":\"#FF0000\",\"blend\":\"dodge\",\"opacity\":1}");
        QTest::newRow("opacity") << "makeup.blush"
                                 << QByteArray("{\"kind\":\"blush\",\"color\":\"#FF0000\",\"blend\":\"normal\",\"opacity\":3}");
        QTest::newRow("wrong region") << "makeup.eyeliner"
                                      << QByteArray("{\"kind\":\"eyeliner\",\"region\":\"lips\",\"color\":\"#000000\",\"blend\":\"normal\",\"opacity\":1}");
        QTest::newRow("huge") << "makeup.blush" << QByteArray(100 * 1024, ' ');
        QTest::newRow("look escapes res/makeup")
            << "light.makeup" << QByteArray("{\"effects\":[{\"effect\":\"makeup.lipstick\",\"package\":\"../x\",\"strength\":50}]}");
        QTest::newRow("style filter outside res")
            << "makeup" << QByteArray("{\"makeup\":[{\"effect\":\"makeup.lipstick\",\"package\":\"lipstick_red\",\"strength\":50}],\"filter\":{\"path\":\"../../etc/x.png\",\"strength\":50}}");
        QTest::newRow("style shape not a shape")
            << "makeup" << QByteArray("{\"makeup\":[{\"effect\":\"makeup.lipstick\",\"package\":\"lipstick_red\",\"strength\":50}],\"shape\":{\"beauty.smooth\":50}}");
        QTest::newRow("look names unknown effect")
            << "light.makeup" << QByteArray("{\"effects\":[{\"effect\":\"makeup.hat\",\"package\":\"lipstick_red\",\"strength\":50}]}");
    }

    void badPackagesLogOneLineAndChangeNothing()
    {
        QFETCH(QString, effect);
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        const QString folder = dir.path() + "/light_makeup/bad";
        QVERIFY(QDir().mkpath(folder));
        // A good package beside it, so looks fail for their own fault.
        QVERIFY(QDir().mkpath(dir.path() + "/makeup/lipstick_red"));
        QVERIFY(QFile::copy(resPath("makeup/lipstick_red/template.json"), dir.path() + "/makeup/lipstick_red/template.json"));
        if (!text.isEmpty()) {
            QFile file(folder + "/template.json");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        } else {
            QVERIFY(QDir(folder).removeRecursively());
        }
        const QImage picture = demoPicture("demo_image1.jpg");
        const QByteArray name = effect.toUtf8(), path = folder.toUtf8();
        g_packageLogLines = 0;
        QCOMPARE(m_engine->applyEffect(name.constData(), 100, path.constData(), nullptr), 0);
        QCOMPARE(g_packageLogLines, 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }
};

QTEST_MAIN(TestEngineMakeup)
#include "test_engine_makeup.moc"
