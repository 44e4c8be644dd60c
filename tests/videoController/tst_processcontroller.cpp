#include "../support/FakeEngine.h"
#include "ProcessController.h"
#include "ReferenceI420.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <random>

class TestProcessController : public QObject
{
    Q_OBJECT

private:
    // A controller with a fresh recording engine.
    struct Rig
    {
        FakeEngineRegistry registry;
        ProcessController controller{registry.factory()};
        FakeEngine *engine = nullptr;
        explicit Rig(int w = 1280, int h = 720)
        {
            controller.initProcess(w, h);
            engine = registry.last();
        }
    };

private slots:
    void rangeTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::newRow("motion") << "motion" << 0 << 0;
        QTest::newRow("segmentation") << "segmentation" << 0 << 0;
        QTest::newRow("contrast") << "beauty.imageContrastAlpha" << -100 << 100;
        QTest::newRow("saturation") << "smooth.saturation" << -100 << 100;
        QTest::newRow("chest") << "body.enlargeChestStrength" << -100 << 100;
        for (const char *n : {"eyeDistance", "eyeAngle", "eyeWidth", "eyeHeight", "eyebrowAngle", "eyebrowDistance",
                              "eyebrowHeight", "eyebrowLength", "eyebrowThickness", "eyebrowRidge", "noseWing",
                              "noseHeight", "mouthSize", "mouthHeight", "mouthWidth", "mouthPosition", "smileFace",
                              "chin", "forehead"}) {
            const QString name = QStringLiteral("basicV7.") + QLatin1String(n);
            QTest::newRow(qPrintable(name)) << name << -100 << 100;
        }
        QTest::newRow("similarity") << "green_background_v2.similarity" << 0 << 100;
        QTest::newRow("despill") << "green_background_v2.despill" << 0 << 100;
        QTest::newRow("smooth") << "green_background_v2.smooth" << 1 << 100;
        QTest::newRow("corrosion") << "green_background_v2.corrosion" << 0 << 3;
        QTest::newRow("deshadow") << "green_background_v2.deshadow" << 0 << 5;
        for (const char *n : {"brightness", "contrast", "saturation", "temperature", "tint", "highlights", "shadows"}) {
            const QString name = QStringLiteral("quality.") + QLatin1String(n);
            QTest::newRow(qPrintable(name)) << name << -100 << 100;
        }
        QTest::newRow("one-sided quality control") << "quality.vignette" << 0 << 100;
        QTest::newRow("unknown") << "basicV7.thinFace" << 0 << 100;
        QTest::newRow("empty") << "" << 0 << 100;
        QTest::newRow("case matters") << "Motion" << 0 << 100;
    }
    void rangeTable()
    {
        QFETCH(QString, name);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        const auto range = ProcessController::effectValueRange(name.toStdString());
        QCOMPARE(range.first, minimum);
        QCOMPARE(range.second, maximum);
    }

    void extraInfoText()
    {
        QCOMPARE(ProcessController::extraInfoToJson({}), std::string());
        QCOMPARE(ProcessController::extraInfoToJson({{"b", "[1,2]"}, {"a", "1"}}),
                 std::string(R"({"a":"1","b":[1,2]})"));
        // Only a leading "[" makes an array; an empty value stays a string.
        QCOMPARE(ProcessController::extraInfoToJson({{"k", ""}, {"m", "x[1]"}}), std::string(R"({"k":"","m":"x[1]"})"));

        // Quotes, backslashes and control characters in keys and values are
        // escaped: the engine reads the text with a standard JSON parser.
        const std::map<std::string, std::string> awkward{
            {"bgPath", "C:\\bg \"x\"\\p.png"}, {"k\"ey", "tab\there\nline\x01"}, {"g", "[1,2]"}};
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(
            QByteArray::fromStdString(ProcessController::extraInfoToJson(awkward)), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject object = doc.object();
        QCOMPARE(object.size(), 3);
        for (const auto &entry : awkward) {
            const QJsonValue value = object.value(QString::fromStdString(entry.first));
            if (entry.first == "g")
                QCOMPARE(value.toArray().size(), 2);
            else
                QCOMPARE(value.toString().toStdString(), entry.second);
        }
    }

    void greenParamsScaling()
    {
        QCOMPARE(ProcessController::greenParamsEventJson("[50,60,3,70,80]"),
                 std::string(R"({"green_params_v2":[0.5,0.6,3,0.7,80]})"));
        QCOMPARE(ProcessController::greenParamsEventJson("[12.5, 100, 2.25]"),
                 std::string(R"({"green_params_v2":[0.125,1,2.25]})"));
        QCOMPARE(ProcessController::greenParamsEventJson("[50,x,3]"), std::string());
        QCOMPARE(ProcessController::greenParamsEventJson(""), std::string());
        QCOMPARE(ProcessController::greenParamsEventJson("[]"), std::string());
    }

    void updateEffectSendsPathTextAndGreenEvent()
    {
        Rig rig;
        rig.controller.updateEffect("green_background_v2", 80, "virtual/green",
                                    {{"green_params_v2", "[50,60,3,70,80]"}, {"mode", "2"}});
        rig.controller.updateEffect("beauty.whiten", 40, "", {});
        rig.controller.updateEffect("bad_green", 1, "", {{"green_params_v2", "[a]"}});

        const auto calls = rig.engine->snapshot();
        QCOMPARE(int(calls.size()), 4);
        QCOMPARE(calls[0].op, std::string("applyEffect"));
        QCOMPARE(calls[0].path, rig.controller.resourceDirectory() + "virtual/green");
        QVERIFY(QString::fromStdString(calls[0].path).endsWith("/res/virtual/green"));
        QCOMPARE(calls[0].extra, std::string(R"({"green_params_v2":[50,60,3,70,80],"mode":"2"})"));
        QCOMPARE(calls[1].op, std::string("applyProperty"));
        QCOMPARE(calls[1].value, 6);
        QCOMPARE(calls[1].name, std::string("event.script.zentasdk.GreenScreenSetGreenParamsV2"));
        QCOMPARE(calls[1].extra, std::string(R"({"green_params_v2":[0.5,0.6,3,0.7,80]})"));
        QVERIFY(calls[1].flag);
        QCOMPARE(calls[2].name, std::string("beauty.whiten"));
        QVERIFY(!calls[2].hasPath);
        QVERIFY(calls[2].hasExtra);
        QCOMPARE(calls[2].extra, std::string());
        // A broken parameter list is not sent as an event.
        QCOMPARE(calls[3].name, std::string("bad_green"));
    }

    void segmentationReplayAcrossResize()
    {
        Rig rig;
        rig.controller.updateEffect("segmentation", 1, "segment/bg01", {{"bg", "[1,2]"}});
        rig.controller.setProcessResolution(1280, 720); // same size: nothing
        QCOMPARE(int(rig.engine->snapshot().size()), 1);

        rig.controller.setProcessResolution(640, 480);
        const auto calls = rig.engine->snapshot();
        QCOMPARE(int(calls.size()), 4);
        QCOMPARE(calls[1].op, std::string("applyEffect"));
        QCOMPARE(calls[1].name, std::string("segmentation"));
        QCOMPARE(calls[1].value, 0);
        QVERIFY(!calls[1].hasPath);
        QVERIFY(!calls[1].hasExtra);
        QCOMPARE(calls[2].op, std::string("resizeOutput"));
        QCOMPARE(calls[2].width, 640);
        QCOMPARE(calls[2].height, 480);
        QCOMPARE(calls[3].name, std::string("segmentation"));
        QCOMPARE(calls[3].value, 1);
        QCOMPARE(calls[3].path, rig.controller.resourceDirectory() + "segment/bg01");
        QCOMPARE(calls[3].extra, std::string(R"({"bg":[1,2]})"));
        QCOMPARE(rig.controller.width(), 640);
        QCOMPARE(rig.controller.height(), 480);
    }

    void segmentationReplayCarriesGreenParams()
    {
        Rig rig;
        rig.controller.updateEffect("segmentation", 70, "green/screen", {{"green_params_v2", "[50,60,3,70,80]"}});
        rig.controller.setProcessResolution(1920, 1080);
        const auto ops = rig.engine->ops();
        const std::vector<std::string> expected = {"applyEffect", "applyProperty", "applyEffect",
                                                   "resizeOutput", "applyEffect", "applyProperty"};
        QCOMPARE(ops, expected);
        QCOMPARE(rig.engine->snapshot().back().extra, std::string(R"({"green_params_v2":[0.5,0.6,3,0.7,80]})"));
    }

    void segmentationWithoutPathIsNotReplayed()
    {
        Rig rig;
        rig.controller.updateEffect("segmentation", 0, "", {});
        QCOMPARE(rig.controller.rememberedEffectName(), std::string("segmentation"));
        rig.controller.setProcessResolution(320, 240);
        const std::vector<std::string> expected = {"applyEffect", "resizeOutput"};
        QCOMPARE(rig.engine->ops(), expected);
    }

    void segmentationRememberedBeforeTheEngineExists()
    {
        FakeEngineRegistry registry;
        ProcessController controller(registry.factory());
        controller.updateEffect("segmentation", 5, "seg/a", {});
        controller.initProcess(1280, 720);
        controller.setProcessResolution(640, 360);
        const std::vector<std::string> expected = {"applyEffect", "resizeOutput", "applyEffect"};
        QCOMPARE(registry.last()->ops(), expected);
    }

    void secondInitDestroysFirstEngine()
    {
        FakeEngineRegistry registry;
        {
            ProcessController controller(registry.factory());
            controller.initProcess(1280, 720);
            controller.initProcess(640, 480);
            const std::vector<std::string> expected = {"create 1", "destroy 1", "create 2"};
            QCOMPARE(registry.events, expected);
            QCOMPARE(registry.last()->createdWidth, 640);
            QVERIFY(QString::fromStdString(registry.last()->resourceDir).endsWith("/res/"));
        }
        QCOMPARE(registry.events.back(), std::string("destroy 2"));
        QVERIFY(registry.alive.empty());
    }

    void withoutEngineEverythingFailsSoftly()
    {
        FakeEngineRegistry registry;
        registry.created = 0;
        ProcessController controller(ProcessController::EngineFactory{
            [](const char *, int, int) -> velvix::Velvix * { return nullptr; }, [](velvix::Velvix **) {}});
        controller.initProcess(1280, 720);
        const uchar pixel[8] = {};
        QVERIFY(!controller.hasEngine());
        QCOMPARE(controller.yuvToRgbTexture(pixel, 2, 1, QVideoFrame::Format_NV12), -1);
        QCOMPARE(controller.convertRGBToTexture(pixel, 2, 1, QVideoFrame::Format_RGB32), -1);
        QCOMPARE(controller.convertYUYVToRgbTexture(pixel, 2, 1), -1);
        QCOMPARE(controller.velvixProcess(7, 2, 1), 0);
        controller.updateEffect("beauty.whiten", 10, "x", {});
        controller.clearAllEffects();
        controller.setProcessResolution(2, 2);
        QCOMPARE(controller.width(), 2);
    }

    void routesByPixelFormat()
    {
        Rig rig(4, 2);
        std::vector<uchar> frame(4 * 2 * 4, 128);
        struct Route
        {
            QVideoFrame::PixelFormat format;
            const char *op;
        };
        const Route routes[] = {
            {QVideoFrame::Format_ARGB32, "I420ToRgbTexture"}, {QVideoFrame::Format_RGB32, "I420ToRgbTexture"},
            {QVideoFrame::Format_RGB24, "I420ToRgbTexture"},  {QVideoFrame::Format_YUV420P, "I420ToRgbTexture"},
            {QVideoFrame::Format_YUYV, "I420ToRgbTexture"},   {QVideoFrame::Format_NV12, "NV12ToRgbTexture"},
            {QVideoFrame::Format_UYVY, "I420ToRgbTexture"},   {QVideoFrame::Format_YV12, "I420ToRgbTexture"},
            {QVideoFrame::Format_Invalid, "I420ToRgbTexture"},
        };
        for (const Route &route : routes) {
            const int before = int(rig.engine->snapshot().size());
            QVERIFY(rig.controller.yuvToRgbTexture(frame.data(), 4, 2, route.format) > 0);
            const auto calls = rig.engine->snapshot();
            QCOMPARE(int(calls.size()), before + 1);
            QCOMPARE(calls.back().op, std::string(route.op));
            QCOMPARE(calls.back().value, 1);
            QCOMPARE(calls.back().width, 4);
        }
        QCOMPARE(rig.controller.yuvToRgbTexture(nullptr, 4, 2, QVideoFrame::Format_NV12), -1);
        rig.engine->uploadResult = -3;
        QCOMPARE(rig.controller.yuvToRgbTexture(frame.data(), 4, 2, QVideoFrame::Format_NV12), -3);
        QCOMPARE(rig.controller.yuvToRgbTexture(frame.data(), 4, 2, QVideoFrame::Format_RGB24), -3);
        QCOMPARE(rig.controller.velvixProcess(0, 4, 2), 0);
        QCOMPARE(rig.controller.velvixProcess(9, 4, 2), 5009);
    }

    // What reaches the engine for each packed format is the reference I420,
    // with RGB24 read as R, G, B and RGB32 as B, G, R, x.
    void conversionsReachEngineExactly()
    {
        const int w = 6, h = 4;
        Rig rig(w, h);
        rig.engine->keepUploads = true;
        std::mt19937 rng(5);
        std::vector<uchar> rgb32(size_t(w) * h * 4), rgb24(size_t(w) * h * 3), yuyv(size_t(w) * h * 2);
        for (auto *v : {&rgb32, &rgb24, &yuyv})
            for (auto &b : *v)
                b = uchar(rng());

        rig.controller.yuvToRgbTexture(rgb32.data(), w, h, QVideoFrame::Format_ARGB32);
        QVERIFY(rig.engine->lastUpload == reference::packedToI420(rgb32.data(), w, h, 4, 2, 1, 0));
        rig.controller.yuvToRgbTexture(rgb24.data(), w, h, QVideoFrame::Format_RGB24);
        QVERIFY(rig.engine->lastUpload == reference::packedToI420(rgb24.data(), w, h, 3, 0, 1, 2));
        rig.controller.yuvToRgbTexture(yuyv.data(), w, h, QVideoFrame::Format_YUYV);
        QVERIFY(rig.engine->lastUpload == reference::yuyvToI420(yuyv.data(), w, h));

        // Pure red: Y 82, U 90, V 240 in studio swing.
        const uchar red24[6] = {255, 0, 0, 255, 0, 0};
        const uchar red32[8] = {0, 0, 255, 0, 0, 0, 255, 0};
        for (int pass = 0; pass < 2; ++pass) {
            Rig small(2, 1);
            small.engine->keepUploads = true;
            if (pass == 0)
                small.controller.yuvToRgbTexture(red24, 2, 1, QVideoFrame::Format_RGB24);
            else
                small.controller.yuvToRgbTexture(red32, 2, 1, QVideoFrame::Format_RGB32);
            QCOMPARE(int(small.engine->lastUpload[0]), 82);
            QCOMPARE(int(small.engine->lastUpload[1]), 82);
        }
    }

    void clearAllEffectsReachesEngine()
    {
        Rig rig;
        rig.controller.clearAllEffects();
        QCOMPARE(rig.engine->clearCount.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestProcessController)
#include "tst_processcontroller.moc"
