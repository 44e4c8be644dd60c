// Two threads with shared contexts drive one engine at once, the way the
// program does (GUI thread: effects and picture mode; capture thread: frame
// uploads and processing), and check every read-back.
#include "EngineTestSupport.h"

#include "velvix/VelvixDll.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <vector>

using namespace enginetest;

namespace {

constexpr int kW = 160;
constexpr int kH = 120;
constexpr int kRunMs = 3000;
const char *const kNoModels = "no-such-resources/";

// A flat I420 frame: Y 126, U 128, V 128 is grey 128 in video range.
std::vector<unsigned char> greyFrame()
{
    std::vector<unsigned char> frame(kW * kH * 3 / 2, 128);
    std::fill(frame.begin(), frame.begin() + kW * kH, 126);
    return frame;
}

bool near(QRgb p, int value, int tolerance)
{
    return std::abs(qRed(p) - value) <= tolerance && std::abs(qGreen(p) - value) <= tolerance
        && std::abs(qBlue(p) - value) <= tolerance;
}

} // namespace

class TestEngineThreads : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void twoContextsHammerOneEngine()
    {
        GlEnvironment gui;
        QVERIFY(gui.create());
        QVERIFY(gui.makeCurrent());
        // A resource folder without face models: this test is about the two
        // GL threads; trackers on threads are test_engine_vision's.
        velvix::Velvix *engine = createVelvix(kNoModels, kW, kH);
        QVERIFY(engine);

        // The two possible looks of a grey frame while the GUI thread toggles brightness.
        QImage grey(kW, kH, QImage::Format_RGBA8888);
        grey.fill(QColor(128, 128, 128));
        const GLuint picture = uploadTexture(gui.gl, grey);
        QCOMPARE(engine->applyEffect("quality.brightness", 60, nullptr, nullptr), 1);
        const int brightId = engine->processTexture(static_cast<int>(picture), kW, kH);
        QVERIFY(brightId > 0);
        const int bright = qRed(readTexture(gui.gl, static_cast<GLuint>(brightId), kW, kH).pixel(5, 5));
        QVERIFY(bright > 150);
        QCOMPARE(engine->clearAllEffects(), 1);

        // Effects that leave flat grey as it is, so that every read-back has
        // one of the two looks while the blur, filter and key passes all run.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile cube(dir.filePath("identity.cube"));
        QVERIFY(cube.open(QIODevice::WriteOnly));
        cube.write("LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
        cube.close();
        QFile package(dir.filePath("template.json"));
        QVERIFY(package.open(QIODevice::WriteOnly));
        package.write("{\"type\":\"green_screen\",\"params\":{\"corrosion\":1}}");
        package.close();
        const QByteArray cubePath = cube.fileName().toUtf8();
        const QByteArray packagePath = package.fileName().toUtf8();

        // The capture thread's context shares objects with the GUI context.
        auto workerSurface = std::make_unique<QOffscreenSurface>();
        workerSurface->setFormat(coreFormat());
        workerSurface->create();
        std::atomic<bool> stop{false};
        std::atomic<int> workerFrames{0};
        std::atomic<int> workerErrors{0};
        QString workerFailure;
        QThread *worker = QThread::create([&]() {
            QOpenGLContext context;
            context.setFormat(coreFormat());
            context.setShareContext(gui.context.get());
            if (!context.create() || !context.makeCurrent(workerSurface.get())) {
                workerFailure = QStringLiteral("worker context");
                workerErrors.fetch_add(1);
                return;
            }
            Gl *gl = context.versionFunctions<Gl>();
            gl->initializeOpenGLFunctions();
            const std::vector<unsigned char> frame = greyFrame();
            while (!stop.load()) {
                const int rgb = engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
                if (rgb <= 0 || !near(readTexture(gl, static_cast<GLuint>(rgb), kW, kH).pixel(kW / 2, kH / 2), 128, 2)) {
                    workerFailure = QStringLiteral("upload %1").arg(rgb);
                    workerErrors.fetch_add(1);
                    break;
                }
                const int out = engine->processTexture(rgb, kW, kH);
                const QRgb p = out > 0 ? readTexture(gl, static_cast<GLuint>(out), kW, kH).pixel(kW / 3, kH / 3) : 0;
                if (out <= 0 || !(near(p, 128, 2) || near(p, bright, 2))) {
                    workerFailure = QStringLiteral("process %1 gave %2").arg(out).arg(qRed(p));
                    workerErrors.fetch_add(1);
                    break;
                }
                workerFrames.fetch_add(1);
            }
            context.doneCurrent();
        });
        worker->start();

        int guiFrames = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kRunMs && workerErrors.load() == 0) {
            const bool on = (guiFrames / 3) % 2 == 0;
            QCOMPARE(engine->applyEffect("quality.brightness", on ? 60 : 0, nullptr, nullptr), 1);
            switch (guiFrames % 4) {
            case 0:
                QCOMPARE(engine->applyEffect("beauty.smooth", on ? 80 : 0, nullptr, nullptr), 1);
                break;
            case 1:
                QCOMPARE(engine->applyEffect("lut", on ? 100 : 0, cubePath.constData(), nullptr), 1);
                break;
            case 2:
                QCOMPARE(engine->applyEffect("segmentation", 0, on ? packagePath.constData() : nullptr, nullptr), 1);
                break;
            default:
                QCOMPARE(engine->applyEffect("beauty.sharpen", on ? 50 : 0, nullptr, nullptr), 1);
                break;
            }
            velvix::VelvixProperty event(6, "event.script.zentasdk.GreenScreenSetGreenParamsV2",
                                         "{\"green_params_v2\":[0.5,0.1,1,0.5,0]}", true);
            QCOMPARE(engine->applyProperty(&event), 1);
            const int out = engine->processTexture(static_cast<int>(picture), kW, kH);
            QVERIFY(out > 0);
            const QRgb p = readTexture(gui.gl, static_cast<GLuint>(out), kW, kH).pixel(kW / 2, kH / 2);
            QVERIFY2(near(p, 128, 2) || near(p, bright, 2), qPrintable(QString::number(qRed(p))));
            if (guiFrames % 10 == 0)
                QCOMPARE(engine->clearAllEffects(), 1);
            ++guiFrames;
        }
        stop.store(true);
        QVERIFY(worker->wait(20000));
        delete worker;
        QVERIFY2(workerErrors.load() == 0, qPrintable(workerFailure));
#if defined(__SANITIZE_THREAD__)
        // Instrumented, the capture thread may get only a few turns.
        QVERIFY(workerFrames.load() > 0);
#else
        QVERIFY(workerFrames.load() > 5);
#endif
        QVERIFY(guiFrames > 5);
        qInfo("GUI frames %d, capture frames %d", guiFrames, workerFrames.load());

        // The worker's context is gone; the engine keeps working on the GUI one.
        QVERIFY(engine->processTexture(static_cast<int>(picture), kW, kH) > 0);
        gui.gl->glDeleteTextures(1, &picture);
        destroyVelvix(&engine);
        QVERIFY(engine == nullptr);
    }

    void captureThreadWithoutContext()
    {
        // The program's capture thread may have no context of its own.
        GlEnvironment gui;
        QVERIFY(gui.create());
        QVERIFY(gui.makeCurrent());
        // A resource folder without face models: this test is about the two
        // GL threads; trackers on threads are test_engine_vision's.
        velvix::Velvix *engine = createVelvix(kNoModels, kW, kH);
        QVERIFY(engine);
        std::atomic<int> lastOutput{0};
        std::atomic<int> failures{0};
        QThread *worker = QThread::create([&]() {
            const std::vector<unsigned char> frame = greyFrame();
            for (int i = 0; i < 40; ++i) {
                const int rgb = engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
                const int out = rgb > 0 ? engine->processTexture(rgb, kW, kH) : 0;
                if (out <= 0 || QOpenGLContext::currentContext() != nullptr)
                    failures.fetch_add(1);
                lastOutput.store(out);
            }
        });
        worker->start();
        // A second context-less thread after the first has ended (thread ids
        // are often reused) must get a working context too.
        QThread *second = nullptr;
        for (int i = 0; !worker->isFinished() && i < 2000; ++i) {
            engine->applyEffect("beauty.smooth", i % 2 ? 60 : 0, nullptr, nullptr);
            QTest::qWait(1);
        }
        QVERIFY(worker->wait(30000));
        delete worker;
        QCOMPARE(failures.load(), 0);
        second = QThread::create([&]() {
            const std::vector<unsigned char> frame = greyFrame();
            const int rgb = engine->I420ToRgbTexture(frame.data(), kW, kH, 1);
            lastOutput.store(rgb > 0 ? engine->processTexture(rgb, kW, kH) : 0);
        });
        second->start();
        QVERIFY(second->wait(30000));
        delete second;
        QVERIFY(lastOutput.load() > 0);
        engine->clearAllEffects();
        // Ordered after the worker's writes by the engine itself.
        const int shown = engine->processTexture(lastOutput.load(), kW, kH);
        QVERIFY(shown > 0);
        QVERIFY(near(readTexture(gui.gl, static_cast<GLuint>(shown), kW, kH).pixel(kW / 2, kH / 2), 128, 2));
        destroyVelvix(&engine);
    }
};

QTEST_MAIN(TestEngineThreads)
#include "test_engine_threads.moc"
