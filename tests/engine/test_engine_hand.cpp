// Hand tracking and the hand effects on the drawn hand pictures
// (scripts/hands/draw_hands.py): the real palm detector and landmark model
// put 21 landmarks inside the hand's marked box and the rules name the
// gesture; missing or corrupt models switch hand effects off without a
// crash; every hand effect leaves a picture without a hand (or at 0) exactly
// as it was; a gesture sticker shows only with its own gesture; the
// skeleton is drawn on the landmarks.
#include "EngineTestSupport.h"
#include "MatImage.h"

#include "core/VelvixEngine.h"
#include "vision/HandTracker.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace enginetest;
using namespace velvix;

namespace {


QImage handPicture(const QString &gesture)
{
    return QImage(appDir() + "/res/demoImage/hand_" + gesture + ".png").convertToFormat(QImage::Format_RGBA8888);
}

std::vector<vision::Hand> measure(const QImage &picture)
{
    static auto tracker = vision::HandTracker::create((appDir() + "/res/models").toStdString());
    auto result = std::dynamic_pointer_cast<vision::HandResult>(tracker->track(enginetest::stillLuma(picture)));
    return result ? result->hands : std::vector<vision::Hand>{};
}

} // namespace

class TestEngineHand : public QObject {
    Q_OBJECT

    GlEnvironment m_env;
    Velvix *m_engine = nullptr;

    QImage run(Velvix *engine, const QImage &picture)
    {
        engine->resizeOutput(picture.width(), picture.height());
        const GLuint input = uploadTexture(m_env.gl, picture);
        const int output = engine->processTexture(static_cast<int>(input), picture.width(), picture.height());
        QImage result = output > 0 ? readTexture(m_env.gl, static_cast<GLuint>(output), picture.width(), picture.height())
                                   : QImage();
        m_env.gl->glDeleteTextures(1, &input);
        return result;
    }
    QImage run(const QImage &picture) { return run(m_engine, picture); }

    int sticker(const QString &package)
    {
        const QByteArray path = (appDir() + "/res/gesture/" + package).toUtf8();
        return m_engine->applyEffect("motion", 0, path.constData(), nullptr);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(appDir() + "/res/models/handdetect.onnx"))
            QSKIP("hand models not set up (scripts/models/setup_models.py)");
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
        m_engine = createVelvix((appDir() + "/res/").toUtf8().constData(), 640, 480);
        QVERIFY(m_engine);
    }

    void cleanupTestCase() { destroyVelvix(&m_engine); }

    void init() { m_engine->clearAllEffects(); }

    void landmarksAndGesture_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QRectF>("marked");
        // The hand's box marked by hand once on each 640 x 480 picture
        // (finger tips to the wrist crease, a few pixels of margin).
        QTest::newRow("open palm") << "open_palm" << QRectF(180, 120, 210, 265);
        QTest::newRow("victory") << "victory" << QRectF(240, 120, 145, 265);
        QTest::newRow("fist") << "fist" << QRectF(250, 212, 135, 158);
        QTest::newRow("thumbs up") << "thumbs_up" << QRectF(235, 200, 155, 175);
        QTest::newRow("ok") << "ok" << QRectF(205, 120, 185, 265);
        QTest::newRow("finger heart") << "finger_heart" << QRectF(205, 160, 180, 225);
    }

    void landmarksAndGesture()
    {
        QFETCH(QString, gesture);
        QFETCH(QRectF, marked);
        const auto hands = measure(handPicture(gesture));
        QCOMPARE(int(hands.size()), 1);
        for (size_t k = 0; k < hands[0].points.size(); ++k) {
            const cv::Point2f p = hands[0].points[k];
            QVERIFY2(marked.contains(p.x, p.y), qPrintable(QStringLiteral("point %1 at %2, %3").arg(k).arg(p.x).arg(p.y)));
        }
        QCOMPARE(QString::fromLatin1(vision::gestureName(hands[0].gesture)), gesture);
    }

    void followsTheHandFromFrameToFrame()
    {
        // A video: the hand moves 6 px right a frame. After the first frame
        // the crops come from the landmarks; the hand is never lost.
        auto tracker = vision::HandTracker::create((appDir() + "/res/models").toStdString());
        QVERIFY(tracker);
        const QImage picture = handPicture("open_palm");
        for (int n = 0; n < 8; ++n) {
            QImage moved(picture.size(), picture.format());
            moved.fill(picture.pixel(0, picture.height() - 1));
            QPainter(&moved).drawImage(6 * n, 0, picture);
            vision::LumaFrame frame = enginetest::stillLuma(moved);
            frame.still = false;
            frame.frameNumber = uint64_t(n + 1);
            auto result = std::dynamic_pointer_cast<vision::HandResult>(tracker->track(frame));
            QVERIFY(result);
            QCOMPARE(int(result->hands.size()), 1);
            QVERIFY2(result->hands[0].gesture == vision::Gesture::OpenPalm,
                     qPrintable(QStringLiteral("frame %1: %2").arg(n).arg(vision::gestureName(result->hands[0].gesture))));
            const cv::Rect2f box = result->hands[0].box();
            // Within 5 % of the hand's height of the marked box, moved along.
            const QRectF marked = QRectF(180, 120, 210 + 6 * n, 265).adjusted(-13, -13, 13, 13);
            QVERIFY2(marked.contains(QRectF(box.x, box.y, box.width, box.height)),
                     qPrintable(QStringLiteral("frame %1: %2, %3 .. %4, %5").arg(n).arg(box.x).arg(box.y)
                                    .arg(box.br().x).arg(box.br().y)));
        }
    }

    void missingOrCorruptModelsSwitchHandsOff()
    {
        QTemporaryDir dir;
        QVERIFY(!vision::HandTracker::create(dir.path().toStdString()));
        for (const char *name : {"/handdetect.onnx", "/handlandmark-lite.onnx"}) {
            QFile junk(dir.path() + name);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(4096, '\x5a'));
        }
        QVERIFY(!vision::HandTracker::create(dir.path().toStdString()));
        // An engine whose resource folder has such models: hand effects
        // leave the picture as it is.
        QVERIFY(QDir(dir.path()).mkdir("models"));
        for (const char *name : {"/handdetect.onnx", "/handlandmark-lite.onnx"})
            QVERIFY(QFile::copy(dir.path() + name, dir.path() + "/models" + name));
        Velvix *engine = createVelvix((dir.path() + "/").toUtf8().constData(), 640, 480);
        QVERIFY(engine);
        QCOMPARE(engine->applyEffect("atomic.handSkeleton", 100, nullptr, nullptr), 1);
        const QImage picture = handPicture("victory");
        QCOMPARE(maxDifference(run(engine, picture), picture), 0);
        QCOMPARE(maxDifference(run(engine, picture), picture), 0);
        destroyVelvix(&engine);
        QVERIFY(m_env.makeCurrent());
    }

    void noHandOrZeroIsAPassthrough_data()
    {
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QString>("package");
        QTest::newRow("skeleton") << "atomic.handSkeleton" << QString();
        QTest::newRow("open palm sticker") << "motion" << "open_palm_sparkles";
        QTest::newRow("victory sticker") << "motion" << "victory_stars";
    }

    void noHandOrZeroIsAPassthrough()
    {
        QFETCH(QString, effect);
        QFETCH(QString, package);
        const QImage hand = handPicture(package.startsWith("victory") ? "victory" : "open_palm");
        const QImage empty = syntheticPicture(640, 480);
        QVERIFY(measure(empty).empty());
        if (package.isEmpty())
            QCOMPARE(m_engine->applyEffect(qPrintable(effect), 100, nullptr, nullptr), 1);
        else
            QCOMPARE(sticker(package), 1);
        QVERIFY(maxDifference(run(hand), hand) > 40);
        QCOMPARE(maxDifference(run(empty), empty), 0);
        // Off: value 0, or the sticker category without a package.
        QCOMPARE(m_engine->applyEffect(qPrintable(effect), 0, nullptr, nullptr), 1);
        QCOMPARE(maxDifference(run(hand), hand), 0);
    }

    void gestureStickerOnlyWithItsGesture_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("gesture");
        QTest::newRow("open palm") << "open_palm_sparkles" << "open_palm";
        QTest::newRow("fist") << "fist_power" << "fist";
        QTest::newRow("victory") << "victory_stars" << "victory";
        QTest::newRow("thumbs up") << "thumbs_up_like" << "thumbs_up";
        QTest::newRow("ok") << "ok_ring" << "ok";
        QTest::newRow("finger heart") << "finger_heart_love" << "finger_heart";
    }

    void gestureStickerOnlyWithItsGesture()
    {
        QFETCH(QString, package);
        QFETCH(QString, gesture);
        for (const char *shown : {"open_palm", "fist", "victory", "thumbs_up", "ok", "finger_heart"}) {
            // Chosen afresh for each picture: nothing held from the last one.
            QCOMPARE(sticker(package), 1);
            const QImage picture = handPicture(shown);
            const QImage out = run(picture);
            if (gesture != QLatin1String(shown)) {
                QVERIFY2(maxDifference(out, picture) == 0, shown);
                continue;
            }
            QVERIFY(maxDifference(out, picture) > 60);
            // The artwork sits at the hand (within three palm lengths of it),
            // not elsewhere in the picture.
            const auto hands = measure(picture);
            QCOMPARE(int(hands.size()), 1);
            const cv::Rect2f box = hands[0].box();
            const float reach = 3 * hands[0].palmLength();
            const QRect around = QRectF(box.x - reach, box.y - reach, box.width + 2 * reach, box.height + 2 * reach)
                                     .toAlignedRect().intersected(picture.rect());
            const auto withoutHand = [&](QImage image) {
                for (int y = around.top(); y <= around.bottom(); ++y) {
                    for (int x = around.left(); x <= around.right(); ++x)
                        image.setPixel(x, y, 0);
                }
                return image;
            };
            QCOMPARE(maxDifference(withoutHand(out), withoutHand(picture)), 0);
        }
    }

    void skeletonDrawnOnTheLandmarks()
    {
        const QImage picture = handPicture("open_palm");
        const auto hands = measure(picture);
        QCOMPARE(int(hands.size()), 1);
        QCOMPARE(m_engine->applyEffect("atomic.handSkeleton", 100, nullptr, nullptr), 1);
        const QImage out = run(picture);
        for (const cv::Point2f &p : hands[0].points) {
            const QRgb c = out.pixel(int(p.x), int(p.y));
            QVERIFY2(qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) < 110, qPrintable(QStringLiteral("%1, %2").arg(p.x).arg(p.y)));
        }
    }
};

QTEST_MAIN(TestEngineHand)
#include "test_engine_hand.moc"
