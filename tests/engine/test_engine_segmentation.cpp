// Portrait segmentation with the real selfie model on the demo portraits:
// the mask covers the person (IoU against outlines drawn by hand); background
// blur keeps the face and takes the fine detail out of the background; a
// picture background shows the picture far from the person; the custom
// picture follows the package chosen last; strength 0 and an empty path are
// exact passthroughs; frame size changes; a missing or corrupt model leaves
// the effect off with one log line.
#include "EngineTestSupport.h"

#include "core/VelvixEngine.h"
#include "vision/FaceTracker.h"
#include "vision/SelfieSegmenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cmath>

using namespace enginetest;
using namespace velvix;

namespace {

QString resDir() { return resPath(QString()); }

cv::Mat greyOf(const QImage &picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar *>(grey.constBits()),
                   static_cast<size_t>(grey.bytesPerLine())).clone();
}

// Person (255) / background (0) at the picture's size, from the model alone.
cv::Mat modelMask(const QImage &picture)
{
    static auto segmenter = vision::SelfieSegmenter::create((resDir() + "models/selfie.onnx").toStdString());
    if (!segmenter)
        return cv::Mat();
    cv::Mat p = segmenter->probabilities(greyOf(picture)), big;
    cv::resize(p, big, cv::Size(picture.width(), picture.height()), 0, 0, cv::INTER_LINEAR);
    cv::Mat mask = big > 0.5f;
    return mask;
}

// Outlines of the person drawn by hand on each demo portrait (picture
// pixels, clockwise from the bottom left).
cv::Mat handMask(const char *name, cv::Size size)
{
    std::vector<cv::Point> outline;
    if (QByteArray(name) == "demo_image1.jpg") {
        // The astronaut with her helmet (held at the lower right).
        outline = {{10, 511},  {12, 330},  {20, 265},  {50, 240},  {100, 205}, {120, 175},
                   {150, 140}, {152, 70},  {170, 30},  {210, 15},  {260, 15},  {290, 35},
                   {302, 80},  {298, 130}, {292, 165}, {302, 200}, {305, 240}, {330, 255},
                   {355, 280}, {368, 330}, {420, 342}, {465, 365}, {492, 410}, {500, 511}};
    } else {
        // Grace Hopper: head, cap and shoulders.
        outline = {{10, 599},  {20, 440},  {60, 395},  {130, 365}, {155, 340}, {155, 290},
                   {145, 230}, {145, 130}, {152, 80},  {185, 45},  {250, 27},  {320, 35},
                   {360, 60},  {375, 110}, {375, 180}, {372, 260}, {360, 310}, {375, 355},
                   {440, 380}, {500, 410}, {511, 430}, {511, 599}};
    }
    cv::Mat mask(size, CV_8UC1, cv::Scalar(0));
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(255));
    return mask;
}

double iou(const cv::Mat &a, const cv::Mat &b)
{
    const double inter = cv::countNonZero(a & b);
    const double uni = cv::countNonZero(a | b);
    return uni > 0 ? inter / uni : 0.0;
}

// Pixels at least `margin` pixels inside the person (true) or the background.
cv::Mat deepInside(const cv::Mat &mask, bool person, int margin)
{
    cv::Mat m = person ? mask.clone() : (mask == 0);
    cv::erode(m, m, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * margin + 1, 2 * margin + 1)));
    return m;
}

// Energy of the fine detail: mean square of luma minus its 5 x 5 mean.
double highFrequency(const QImage &picture, const cv::Mat &where)
{
    cv::Mat f, mean;
    greyOf(picture).convertTo(f, CV_32F);
    cv::blur(f, mean, cv::Size(5, 5));
    cv::Mat d = f - mean;
    return cv::mean(d.mul(d), where)[0];
}

// The background picture as the frame should show it: aspect-filled
// (covering, centred, cropped), sampled bilinearly at each pixel's centre.
QRgb aspectFilled(const QImage &bg, int width, int height, int x, int y)
{
    const double frameAspect = double(width) / height, bgAspect = double(bg.width()) / bg.height();
    double sx = 1, sy = 1;
    if (bgAspect > frameAspect)
        sx = frameAspect / bgAspect;
    else
        sy = bgAspect / frameAspect;
    const double u = (x + 0.5) / width * sx + (1 - sx) / 2, v = (y + 0.5) / height * sy + (1 - sy) / 2;
    const double px = u * bg.width() - 0.5, py = v * bg.height() - 0.5;
    const int x0 = std::clamp(int(std::floor(px)), 0, bg.width() - 1), y0 = std::clamp(int(std::floor(py)), 0, bg.height() - 1);
    const int x1 = std::min(x0 + 1, bg.width() - 1), y1 = std::min(y0 + 1, bg.height() - 1);
    const double fx = std::clamp(px - x0, 0.0, 1.0), fy = std::clamp(py - y0, 0.0, 1.0);
    auto mix = [&](int shift) {
        auto c = [&](int xx, int yy) { return double((bg.pixel(xx, yy) >> shift) & 0xff); };
        return int(std::lround((c(x0, y0) * (1 - fx) + c(x1, y0) * fx) * (1 - fy)
                               + (c(x0, y1) * (1 - fx) + c(x1, y1) * fx) * fy));
    };
    return qRgb(mix(16), mix(8), mix(0));
}

std::atomic<int> g_segmentationOffLines{0};
QtMessageHandler g_previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QStringLiteral("person segmentation off")))
        ++g_segmentationOffLines;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

class TestEngineSegmentation : public QObject {
    Q_OBJECT

    GlEnvironment m_env;
    Velvix *m_engine = nullptr;

    QImage run(Velvix *engine, const QImage &picture)
    {
        engine->resizeOutput(picture.width(), picture.height());
        return processPicture(m_env.gl, engine, picture);
    }
    QImage run(const QImage &picture) { return run(m_engine, picture); }

    int package(const char *name, const char *extra = nullptr)
    {
        const QByteArray path = (resDir() + "segmentation/" + name).toUtf8();
        return m_engine->applyEffect("segmentation", 0, path.constData(), extra);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(resDir() + "models/selfie.onnx"))
            QSKIP("segmentation model not set up (scripts/models/setup_models.py)");
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
        m_engine = createVelvix(resDir().toUtf8().constData(), 512, 512);
        QVERIFY(m_engine);
    }

    void cleanupTestCase() { destroyVelvix(&m_engine); }

    void init() { m_engine->clearAllEffects(); }

    void maskCoversThePerson_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("astronaut") << "demo_image1.jpg";
        QTest::newRow("hopper") << "demo_image2.jpg";
    }
    void maskCoversThePerson()
    {
        QFETCH(QString, name);
        const QImage picture = demoPicture(name.toUtf8().constData());
        const cv::Mat model = modelMask(picture);
        const double overlap = iou(model, handMask(name.toUtf8().constData(), model.size()));
        qInfo("%s: IoU %.3f", qPrintable(name), overlap);
        QVERIFY2(overlap > 0.9, qPrintable(QString::number(overlap)));
    }

    void blurKeepsTheFaceAndSoftensTheBackground_data() { maskCoversThePerson_data(); }
    void blurKeepsTheFaceAndSoftensTheBackground()
    {
        QFETCH(QString, name);
        const QImage picture = demoPicture(name.toUtf8().constData());
        vision::FaceTracker faces((resDir() + "models").toStdString());
        const auto found = faces.track(greyOf(picture), 1);
        QCOMPARE(int(found.size()), 1);
        const cv::Point2f centre = (found[0].rightEyeCentre() + found[0].leftEyeCentre()) * 0.5f;
        const float eyes = float(cv::norm(found[0].rightEyeCentre() - found[0].leftEyeCentre()));
        // Eyes, nose, mouth and cheeks; not the background beside the chin.
        const QRect face(int(centre.x - 0.7f * eyes), int(centre.y - 0.4f * eyes), int(1.4f * eyes), int(1.2f * eyes));

        QCOMPARE(package("blur"), 1);
        const QImage out = run(picture);
        QVERIFY(!out.isNull());
        int worst = 0;
        for (int y = face.top(); y <= face.bottom(); ++y)
            for (int x = face.left(); x <= face.right(); ++x)
                for (int shift : {16, 8, 0})
                    worst = std::max(worst, std::abs(int((picture.pixel(x, y) >> shift) & 0xff)
                                                     - int((out.pixel(x, y) >> shift) & 0xff)));
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("face changed by %1").arg(worst)));
        const cv::Mat background = deepInside(modelMask(picture), false, 12);
        QVERIFY(cv::countNonZero(background) > 5000);
        const double before = highFrequency(picture, background), after = highFrequency(out, background);
        qInfo("%s: background detail %.1f -> %.1f", qPrintable(name), before, after);
        QVERIFY(after <= 0.5 * before);
    }

    // A smooth picture (sub-pixel differences in where the GPU samples do
    // not count) of another aspect than the frame, so the fill crops it.
    void pictureShowsFarFromThePerson()
    {
        const QImage picture = demoPicture("demo_image2.jpg");
        QTemporaryDir dir;
        QImage bg(1600, 900, QImage::Format_RGB32);
        for (int y = 0; y < bg.height(); ++y)
            for (int x = 0; x < bg.width(); ++x)
                bg.setPixel(x, y, qRgb(x * 255 / 1599, y * 255 / 899, int(128 + 90 * std::sin(x / 150.0 + y / 200.0))));
        const QString path = dir.filePath("gradient.png");
        QVERIFY(bg.save(path));
        const QByteArray extra = QStringLiteral("{\"bgPath\":\"%1\",\"bgType\":\"0\"}").arg(path).toUtf8();
        const QByteArray blur = (resDir() + "segmentation/blur").toUtf8();
        QCOMPARE(m_engine->applyEffect("segmentation", 0, blur.constData(), extra.constData()), 1);
        const QImage out = run(picture);
        const cv::Mat far = deepInside(modelMask(picture), false, 24);
        int worst = 0, count = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (!far.at<uchar>(y, x))
                    continue;
                ++count;
                const QRgb want = aspectFilled(bg, picture.width(), picture.height(), x, y), got = out.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                                  std::abs(qBlue(want) - qBlue(got))});
            }
        }
        QVERIFY(count > 5000);
        QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
    }

    void shippedPicturePackagesLoad()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        for (const char *name : {"sunset", "city_lights", "bright_room", "mountain_lake"}) {
            QCOMPARE(package(name), 1);
            QVERIFY2(maxDifference(run(picture), picture) > 50, name);
        }
    }

    // The upload control sends only "bgPath": it goes over the person mask
    // after a person package, over the chroma key after a green-screen one.
    void customPictureFollowsThePackageChosenLast()
    {
        const QImage picture = demoPicture("demo_image2.jpg");
        QTemporaryDir dir;
        const QString custom = dir.filePath("custom.png");
        QImage red(320, 240, QImage::Format_RGB32);
        red.fill(qRgb(200, 30, 40));
        QVERIFY(red.save(custom));
        const QByteArray extra = QStringLiteral("{\"bgPath\":\"%1\",\"bgType\":\"0\"}").arg(custom).toUtf8();
        const cv::Mat far = deepInside(modelMask(picture), false, 24);
        cv::Point probe(-1, -1);
        for (int y = 0; y < far.rows && probe.x < 0; ++y)
            for (int x = 0; x < far.cols; ++x)
                if (far.at<uchar>(y, x)) {
                    probe = cv::Point(x, y);
                    break;
                }
        QVERIFY(probe.x >= 0);

        QCOMPARE(package("blur"), 1);
        QCOMPARE(m_engine->applyEffect("segmentation", 0, nullptr, extra.constData()), 1);
        QCOMPARE(run(picture).pixel(probe.x, probe.y), qRgba(200, 30, 40, 255));

        QCOMPARE(package("green_studio"), 1);
        QCOMPARE(m_engine->applyEffect("segmentation", 0, nullptr, extra.constData()), 1);
        // No green in the portrait: the key leaves it as it is.
        const QImage keyed = run(picture);
        QVERIFY(std::abs(qRed(keyed.pixel(probe.x, probe.y)) - qRed(picture.pixel(probe.x, probe.y))) <= 2);
    }

    // The ability shows the refined mask itself: white on the person, black
    // on the background, and the same outline as the hand-drawn one.
    void maskAbilityShowsTheMask_data() { maskCoversThePerson_data(); }
    void maskAbilityShowsTheMask()
    {
        QFETCH(QString, name);
        const QImage picture = demoPicture(name.toUtf8().constData());
        QCOMPARE(m_engine->applyEffect("atomic.portraitSegment", 100, nullptr, nullptr), 1);
        const QImage out = run(picture);
        cv::Mat shown(out.height(), out.width(), CV_8UC1);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const QRgb c = out.pixel(x, y);
                QVERIFY(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
                shown.at<uchar>(y, x) = qRed(c) > 127 ? 255 : 0;
            }
        const double overlap = iou(shown, handMask(name.toUtf8().constData(), shown.size()));
        qInfo("%s: shown mask IoU %.3f", qPrintable(name), overlap);
        QVERIFY(overlap > 0.9);
        QCOMPARE(m_engine->applyEffect("atomic.portraitSegment", 0, nullptr, nullptr), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    void strengthZeroAndEmptyPathArePassthroughs()
    {
        const QImage picture = demoPicture("demo_image1.jpg");
        QTemporaryDir dir;
        QFile manifest(dir.filePath("template.json"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write(R"({"type": "person", "background": "blur", "strength": 0})");
        manifest.close();
        QCOMPARE(m_engine->applyEffect("segmentation", 0, dir.path().toUtf8().constData(), nullptr), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);

        QCOMPARE(package("blur"), 1);
        QVERIFY(maxDifference(run(picture), picture) > 10);
        QCOMPARE(m_engine->applyEffect("segmentation", 0, "", nullptr), 1);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    void frameSizeChangesKeepWorking()
    {
        const QImage picture = demoPicture("demo_image2.jpg");
        QCOMPARE(package("sunset"), 1);
        for (QSize size : {QSize(512, 600), QSize(640, 360), QSize(300, 400), QSize(512, 600)}) {
            const QImage scaled = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const QImage out = run(scaled);
            QCOMPARE(out.size(), size);
            // The top corners are background in every size: the sunset sky.
            const QRgb corner = out.pixel(2, 2);
            QVERIFY2(qBlue(corner) > qRed(corner), qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
            QVERIFY(maxDifference(out, scaled) > 20);
        }
    }

    // Camera frames: the mask comes from the worker thread (time-smoothed),
    // across a change of the camera's size.
    void cameraFramesGetTheirBackgroundReplaced()
    {
        for (QSize size : {QSize(640, 360), QSize(480, 640)}) {
            const QImage frame = demoPicture("demo_image2.jpg")
                                     .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                     .convertToFormat(QImage::Format_RGB32);
            // BT.601 limited range, chroma of the top-left pixel of each block.
            std::vector<uchar> i420(size_t(size.width()) * size.height() * 3 / 2);
            uchar *u = i420.data() + size.width() * size.height();
            uchar *v = u + (size.width() / 2) * (size.height() / 2);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const QRgb c = frame.pixel(x, y);
                    const double r = qRed(c), g = qGreen(c), b = qBlue(c);
                    i420[size_t(y) * size.width() + x] = uchar(std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255));
                    if (x % 2 == 0 && y % 2 == 0 && x / 2 < size.width() / 2 && y / 2 < size.height() / 2) {
                        const size_t k = size_t(y / 2) * (size.width() / 2) + x / 2;
                        u[k] = uchar(std::lround(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255));
                        v[k] = uchar(std::lround(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255));
                    }
                }
            m_engine->resizeOutput(size.width(), size.height());
            auto show = [&]() {
                const int rgb = m_engine->I420ToRgbTexture(i420.data(), size.width(), size.height(), 1);
                const int shown = rgb > 0 ? m_engine->processTexture(rgb, size.width(), size.height()) : 0;
                return shown > 0 ? readTexture(m_env.gl, GLuint(shown), size.width(), size.height()) : QImage();
            };
            m_engine->applyEffect("segmentation", 0, "", nullptr);
            const QImage plain = show();
            QVERIFY(!plain.isNull());
            QCOMPARE(package("sunset"), 1);
            int changed = 0;
            for (int i = 0; i < 12; ++i) {
                const QImage out = show();
                QVERIFY(!out.isNull());
                changed += maxDifference(out, plain) > 40;
                QThread::msleep(30);
            }
            qInfo("%dx%d: %d of 12 camera frames replaced", size.width(), size.height(), changed);
            // The background is replaced once the worker's masks arrive.
            QVERIFY2(changed >= 6, qPrintable(QString::number(changed)));
        }
    }

    void missingOrCorruptModelLeavesTheEffectOff_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("corrupt") << QByteArray("this is not an onnx file\x01\x02\x03", 27);
        QTest::newRow("truncated") << QByteArray("\x08\x07\x12\x04", 4);
    }
    void missingOrCorruptModelLeavesTheEffectOff()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("models"));
        if (!content.isEmpty()) {
            QFile model(dir.filePath("models/selfie.onnx"));
            QVERIFY(model.open(QIODevice::WriteOnly));
            model.write(content);
        }
        Velvix *engine = createVelvix((dir.path() + "/").toUtf8().constData(), 512, 512);
        QVERIFY(engine);
        g_segmentationOffLines = 0;
        g_previousHandler = qInstallMessageHandler(countingHandler);
        const QByteArray path = (resDir() + "segmentation/blur").toUtf8();
        QCOMPARE(engine->applyEffect("segmentation", 0, path.constData(), nullptr), 1);
        const QImage picture = demoPicture("demo_image1.jpg");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(maxDifference(run(engine, picture), picture), 0);
        qInstallMessageHandler(g_previousHandler);
        QCOMPARE(g_segmentationOffLines.load(), 1);
        destroyVelvix(&engine);
    }
};

QTEST_MAIN(TestEngineSegmentation)
#include "test_engine_segmentation.moc"
