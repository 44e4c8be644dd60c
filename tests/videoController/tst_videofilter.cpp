#include "../support/FakeEngine.h"
#include "GlTestSupport.h"
#include "VideoFilter.h"

#include <QImage>
#include <QOpenGLFunctions>
#include <QTemporaryDir>

#include <future>

// The frame pipeline with a recording engine on a real (software) OpenGL
// context: frames are delivered on worker threads as the capture worker does.
class TestVideoFilter : public QObject
{
    Q_OBJECT

    struct Rig
    {
        DisplayContext display;
        FakeEngineRegistry registry;
        std::unique_ptr<VideoFilter> filter;
        RenderRecorder rendered;
        explicit Rig(bool initialise = true)
        {
            filter = std::make_unique<VideoFilter>();
            filter->processController().setEngineFactory(registry.factory());
            QObject::connect(filter.get(), &VideoFilter::signalRenderTexture, filter.get(),
                             [this](int t, int w, int h) { rendered.record(t, w, h); }, Qt::DirectConnection);
            if (initialise)
                filter->initializeFilter(&display.context, &display.surface);
        }
        FakeEngine *engine() const { return registry.last(); }
    };

    static void sendFrames(VideoFilter *filter, int count, int w, int h, QVideoFrame::PixelFormat format,
                           size_t bytesPerPixelX2 = 3)
    {
        for (int i = 0; i < count; ++i) {
            QSharedPointer<uchar> frame = makeFrame(size_t(w) * h * bytesPerPixelX2 / 2 + 16);
            filter->slotProcessWin32CameraFrame(frame, w, h, format);
        }
    }

private slots:
    void initTestCase() { QVERIFY(DisplayContext().valid()); }

    void rejectsBadFramesWithTheirReasons()
    {
        Rig rig(false);
        LogCapture log;
        QSharedPointer<uchar> frame = makeFrame(1280 * 720 * 2);

        rig.filter->setUseCameraRender(false);
        rig.filter->slotProcessWin32CameraFrame(frame, 1280, 720, QVideoFrame::Format_NV12);
        QCOMPARE(log.lines().size(), 0); // picture mode: silently ignored
        rig.filter->setUseCameraRender(true);

        rig.filter->slotProcessWin32CameraFrame(QSharedPointer<uchar>(), 1280, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("VideoFilter::slotProcessWin32CameraFrame - Invalid frame data"));
        rig.filter->slotProcessWin32CameraFrame(frame, 0, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("VideoFilter::slotProcessWin32CameraFrame - Invalid resolution: 0 x 720"));
        QVERIFY(!log.has("Updating resolution"));
        // Before initializeFilter there are no textures.
        rig.filter->slotProcessWin32CameraFrame(frame, 1280, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("VideoFilter::slotProcessWin32CameraFrame - OpenGL textures not ready, dropping frame"));
        QCOMPARE(rig.registry.created, 0);
        QCOMPARE(rig.rendered.size(), size_t(0));
        // frame is still ours alone: the pipeline kept no reference.
        QCOMPARE(frame.data() != nullptr, true);
    }

    void initializeCreatesEngineTexturesAndSharedCaptureContext()
    {
        Rig rig;
        QVERIFY(rig.engine());
        QCOMPARE(rig.engine()->createdWidth, 1280);
        QCOMPARE(rig.engine()->createdHeight, 720);
        QVERIFY(rig.filter->cameraTexture() != 0);
        QVERIFY(rig.filter->destinationTexture() != 0);
        QVERIFY(rig.filter->captureContext());
        QVERIFY(QOpenGLContext::areSharing(rig.filter->captureContext(), &rig.display.context));
        // Released again after initialisation.
        QCOMPARE(QOpenGLContext::currentContext(), nullptr);

        // The view initialises again (a new native window): a new engine,
        // fresh textures, and frames keep flowing.
        rig.filter->initializeFilter(&rig.display.context, &rig.display.surface);
        QCOMPARE(rig.registry.events, (std::vector<std::string>{"create 1", "destroy 1", "create 2"}));
        QCOMPARE(rig.registry.contextAtDestroy, std::vector<bool>{true});
        QVERIFY(rig.filter->cameraTexture() != 0);
        runOnWorker([&] { sendFrames(rig.filter.get(), 2, 1280, 720, QVideoFrame::Format_NV12); });
        QCOMPARE(rig.engine()->processCount.load(), 2);

        // Another display context replaces everything tied to the first.
        DisplayContext other;
        rig.filter->initializeFilter(&other.context, &other.surface);
        QCOMPARE(rig.registry.events.back(), std::string("create 3"));
        QVERIFY(QOpenGLContext::areSharing(rig.filter->captureContext(), &other.context));
        sendFrames(rig.filter.get(), 1, 1280, 720, QVideoFrame::Format_NV12);
        QCOMPARE(rig.engine()->processCount.load(), 1);
        rig.filter->initializeFilter(&rig.display.context, &rig.display.surface);
    }

    void workerFramesReachEngineWithAContext()
    {
        Rig rig;
        rig.engine()->recordFrames = true;
        Qt::HANDLE workerId = nullptr;
        bool adopted = false;
        bool releasedAfterFrame = false;
        runOnWorker([&] {
            workerId = QThread::currentThreadId();
            sendFrames(rig.filter.get(), 30, 1280, 720, QVideoFrame::Format_NV12);
            sendFrames(rig.filter.get(), 30, 1280, 720, QVideoFrame::Format_YUYV, 4);
            // The capture context moved to this thread and is released
            // between frames.
            adopted = rig.filter->captureContext()->thread() == QThread::currentThread();
            releasedAfterFrame = QOpenGLContext::currentContext() == nullptr;
        });
        QVERIFY(adopted);
        QVERIFY(releasedAfterFrame);
        QCOMPARE(rig.engine()->uploadCount.load(), 60);
        QCOMPARE(rig.engine()->processCount.load(), 60);
        QCOMPARE(rig.engine()->callsWithoutContext.load(), 0);
        for (const EngineCall &call : rig.engine()->snapshot()) {
            if (call.op == "NV12ToRgbTexture" || call.op == "I420ToRgbTexture" || call.op == "processTexture") {
                QCOMPARE(call.thread, workerId);
                QVERIFY(call.hadContext);
            }
        }
        const auto shown = rig.rendered.all();
        QCOMPARE(int(shown.size()), 60);
        QCOMPARE(shown.front().texture, 100 + 5000);
        QCOMPARE(shown.front().width, 1280);
        QCOMPARE(rig.filter->lastOutputTexture(), shown.back().texture);

        // One record circulates: every frame was a pool hit.
        const PoolStatistics stats = rig.filter->framePool().statistics();
        QCOMPARE(stats.misses, 0);
        QCOMPARE(stats.hits, 60);
        QCOMPARE(stats.pooledCount, size_t(5));

        // A later capture thread (a restarted camera) still gets a context.
        runOnWorker([&] { sendFrames(rig.filter.get(), 3, 1280, 720, QVideoFrame::Format_NV12); });
        QCOMPARE(rig.engine()->processCount.load(), 63);
        QCOMPARE(rig.engine()->callsWithoutContext.load(), 0);
    }

    void performanceStatsFollowEveryFrame()
    {
        Rig rig;
        int stats = 0;
        qlonglong memory = 0;
        QObject::connect(rig.filter.get(), &VideoFilter::signalPerformanceStats, rig.filter.get(),
                         [&](double, double, qlonglong m, int dropped) {
                             ++stats;
                             memory = m;
                             QCOMPARE(dropped, 0);
                         },
                         Qt::DirectConnection);
        sendFrames(rig.filter.get(), 4, 1280, 720, QVideoFrame::Format_NV12);
        QCOMPARE(stats, 4);
        QCOMPARE(memory, qlonglong(1280) * 720 * 4);
    }

    void comparisonModeShowsInputWithoutEngine()
    {
        Rig rig;
        rig.filter->setComparisonMode(true);
        runOnWorker([&] { sendFrames(rig.filter.get(), 5, 1280, 720, QVideoFrame::Format_NV12); });
        QCOMPARE(rig.engine()->processCount.load(), 0);
        QCOMPARE(rig.engine()->uploadCount.load(), 5);
        for (const auto &s : rig.rendered.all())
            QVERIFY(s.texture >= 100 && s.texture < 104); // the uploaded input
        rig.filter->setComparisonMode(false);
        sendFrames(rig.filter.get(), 1, 1280, 720, QVideoFrame::Format_NV12);
        QCOMPARE(rig.engine()->processCount.load(), 1);
    }

    void failedEngineStepsFallBack()
    {
        Rig rig;
        LogCapture log;
        rig.engine()->processResult = -1;
        sendFrames(rig.filter.get(), 1, 1280, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("VideoFilter::processSingleFrame - velvixProcess failed! InputTex: 100 OutputTex: -1"));
        QCOMPARE(rig.rendered.all().back().texture, 100);

        rig.engine()->uploadResult = -2;
        const size_t before = rig.rendered.size();
        sendFrames(rig.filter.get(), 1, 1280, 720, QVideoFrame::Format_UYVY);
        QVERIFY(log.has("ProcessController::yuvToRgbTexture - Unsupported format: Format_UYVY"));
        QVERIFY(log.has("VideoFilter::processSingleFrame - yuvToRgbTexture failed! Format: Format_UYVY Size: 1280 x "
                        "720 TextureId: -2"));
        QCOMPARE(rig.rendered.size(), before);
    }

    void resolutionChangeRunsOnMainThread()
    {
        Rig rig;
        LogCapture log;
        const Qt::HANDLE mainId = QThread::currentThreadId();
        const GLuint oldCamera = rig.filter->cameraTexture();
        runOnWorker([&] {
            for (int i = 0; i < 20 && rig.rendered.size() == 0; ++i)
                sendFrames(rig.filter.get(), 1, 640, 480, QVideoFrame::Format_NV12);
            sendFrames(rig.filter.get(), 3, 640, 480, QVideoFrame::Format_NV12);
        });
        QVERIFY(log.has("VideoFilter::slotProcessWin32CameraFrame - Updating resolution from 1280 x 720 to 640 x 480"));
        QVERIFY(log.has("VideoFilter::performOpenGLResolutionChange - Successfully updated to 640 x 480"));
        QCOMPARE(rig.filter->processSize(), QSize(640, 480));
        QVERIFY(rig.filter->isUseCameraRender());
        QVERIFY(rig.filter->cameraTexture() != 0);
        Q_UNUSED(oldCamera);

        int resizes = 0;
        for (const EngineCall &call : rig.engine()->snapshot()) {
            if (call.op == "resizeOutput") {
                ++resizes;
                QCOMPARE(call.thread, mainId);
                QVERIFY(call.hadContext);
                QCOMPARE(call.width, 640);
            }
        }
        QCOMPARE(resizes, 1);
        const auto shown = rig.rendered.all();
        QVERIFY(shown.size() >= 3);
        for (const auto &s : shown) {
            QCOMPARE(s.width, 640);
            QCOMPARE(s.height, 480);
        }
    }

    // A frame that passed the size check just before the main thread applied
    // a new size must not be fed to the resized engine.
    void staleFrameIsDroppedAgainstSnow()
    {
        Rig rig;
        LogCapture log;
        std::promise<void> resized;
        std::atomic<bool> resizeWanted{false};
        // The pool logs its 100th hit inside acquire(), after the frame passed
        // the size check: there the worker waits while the main thread
        // changes the size.
        log.hook = [&](const QString &line) {
            if (line.startsWith("[AdaptivePool-FrameDataPool] Pool hit: 100/")) {
                resizeWanted = true;
                resized.get_future().wait();
            }
        };
        runOnWorker([&] { sendFrames(rig.filter.get(), 100, 1280, 720, QVideoFrame::Format_NV12); }, 30000, [&] {
            if (resizeWanted.exchange(false)) {
                rig.filter->setResolution(800, 600);
                resized.set_value();
            }
        });
        log.hook = nullptr;
        QVERIFY(log.has("VideoFilter::processSingleFrame - Frame resolution mismatch! Frame: 1280 x 720 Process: 800 x "
                        "600 Dropping frame to prevent snow"));
        QCOMPARE(rig.engine()->uploadCount.load(), 99);
        QCOMPARE(int(rig.rendered.size()), 99);
        // The record of the dropped frame went back as well.
        QCOMPARE(rig.filter->framePool().statistics().pooledCount, size_t(5));
    }

    // The GUI thread changes modes and effects while the worker streams:
    // every engine call still has a context and nothing is lost or torn
    // (run under ThreadSanitizer as well).
    void guiControlsWhileStreaming()
    {
        Rig rig;
        rig.engine()->recordFrames = false;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            sendFrames(rig.filter.get(), 150, 1280, 720, QVideoFrame::Format_NV12);
            sendFrames(rig.filter.get(), 50, 1280, 720, QVideoFrame::Format_YUYV, 4);
            done = true;
        });
        int round = 0;
        while (!done) {
            rig.filter->setComparisonMode(round % 2 == 0);
            rig.filter->updateEffect("beauty.whiten", round % 100, "", {{"k", "v"}});
            rig.filter->onPerformanceLevelChanged(PerformanceMonitor::PerformanceLevel(round % 3));
            if (round % 7 == 0)
                rig.filter->clearAllEffects();
            rig.filter->setUseCameraRender(true);
            (void)rig.filter->framePool().statistics();
            QCoreApplication::processEvents();
            ++round;
        }
        worker.join();
        rig.filter->setComparisonMode(false);
        QCOMPARE(rig.engine()->uploadCount.load(), 200);
        QCOMPARE(int(rig.rendered.size()), 200);
        QCOMPARE(rig.engine()->callsWithoutContext.load(), 0);
        QVERIFY(round > 0);
        for (const EngineCall &call : rig.engine()->snapshot())
            QVERIFY(call.hadContext);
        QCOMPARE(rig.filter->framePool().statistics().misses, 0);
    }

    // The view leaves its context current with its own framebuffer bound;
    // whatever an engine call does to the bound framebuffer must not reach it.
    void engineCallsLeaveTheViewsFramebufferAlone()
    {
        Rig rig;
        QVERIFY(rig.display.context.makeCurrent(&rig.display.surface));
        QOpenGLFunctions *gl = rig.display.context.functions();
        GLuint colour = 0, fbo = 0;
        gl->glGenTextures(1, &colour);
        gl->glBindTexture(GL_TEXTURE_2D, colour);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        gl->glGenFramebuffers(1, &fbo);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        // A careless engine detaches the colour buffer of the bound framebuffer.
        rig.engine()->onResize = [gl] {
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        };

        rig.filter->setResolution(640, 360); // GUI thread, context already current
        rig.filter->updateEffect("beauty.whiten", 10, "", {});

        QCOMPARE(QOpenGLContext::currentContext(), &rig.display.context);
        GLint bound = 0, attached = 0;
        gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                                  GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        QCOMPARE(GLuint(bound), fbo);
        QCOMPARE(GLuint(attached), colour);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl->glDeleteFramebuffers(1, &fbo);
        gl->glDeleteTextures(1, &colour);
        rig.engine()->onResize = nullptr;
        rig.display.context.doneCurrent();
    }

    void setResolutionGuards()
    {
        Rig rig;
        LogCapture log;
        rig.filter->setResolution(0, 480);
        QVERIFY(log.has("VideoFilter::setResolution - Invalid resolution: 0 x 480"));
        rig.filter->slotUpdateResolution(QSize(1280, 720));
        QVERIFY(log.has("VideoFilter::setResolution - Starting resolution change to 1280 x 720"));
        QVERIFY(log.has("VideoFilter::setResolution - Resolution unchanged, skipping"));
        QVERIFY(!log.has("performOpenGLResolutionChange"));

        VideoFilter noContext;
        noContext.performOpenGLResolutionChange(640, 480);
        QVERIFY(log.has("VideoFilter::performOpenGLResolutionChange - OpenGL context is null"));
        QVERIFY(noContext.isUseCameraRender());
    }

    void qualityLevelScalesLaterEffects()
    {
        Rig rig;
        rig.filter->onPerformanceLevelChanged(PerformanceMonitor::Medium);
        QCOMPARE(rig.filter->qualityLevel(), 75);
        QCOMPARE(rig.filter->maxQueueDepth(), 2);
        rig.filter->updateEffect("basicV7.chin", -50, "", {});
        rig.filter->updateEffect("beauty.whiten", 100, "", {});
        rig.filter->onPerformanceLevelChanged(PerformanceMonitor::Low);
        QCOMPARE(rig.filter->maxQueueDepth(), 1);
        rig.filter->updateEffect("beauty.whiten", 99, "", {});
        rig.filter->onPerformanceLevelChanged(PerformanceMonitor::High);
        QCOMPARE(rig.filter->maxQueueDepth(), 3);
        rig.filter->updateEffect("beauty.whiten", 99, "", {});

        std::vector<int> values;
        for (const EngineCall &call : rig.engine()->snapshot()) {
            if (call.op == "applyEffect") {
                values.push_back(call.value);
                QVERIFY(call.hadContext);
            }
        }
        QCOMPARE(values, (std::vector<int>{-37, 75, 49, 99}));
    }

    void pictureModeKeepsFullStrength()
    {
        Rig rig;
        QTemporaryDir dir;
        QImage picture(32, 16, QImage::Format_RGB32);
        picture.fill(QColor(10, 200, 30));
        const QString path = dir.filePath("still.png");
        QVERIFY(picture.save(path));
        QVERIFY(rig.filter->loadImage(path));
        QTest::qWait(2300); // two monitor ticks without camera frames
        QCOMPARE(rig.filter->qualityLevel(), 100);
        rig.filter->updateEffect("beauty.whiten", 60, "", {});
        QCOMPARE(rig.engine()->snapshot().back().value, 60);
        // The refresh timer keeps processing the still picture meanwhile.
        QVERIFY(rig.engine()->processCount.load() >= 10);
    }

    void loadImageUploadsAndRefreshes()
    {
        Rig rig;
        QTemporaryDir dir;
        QImage picture(8, 4, QImage::Format_ARGB32);
        picture.fill(QColor(250, 20, 90));
        picture.setPixelColor(0, 0, QColor(1, 2, 3));
        // PNG content behind an extension that makes the toolkit try BMP.
        const QString path = dir.filePath("upload.bmp");
        QVERIFY(picture.save(path, "PNG"));

        LogCapture log;
        // Qt 5.15's own loading already falls back to the content when the
        // extension's reader refuses, so this succeeds at the first step; the
        // later steps are for what that misses.
        QVERIFY(rig.filter->loadImage(path));
        QVERIFY(!log.has("All loading methods failed"));
        QVERIFY(!rig.filter->isUseCameraRender());
        QCOMPARE(rig.filter->processSize(), QSize(8, 4));
        QVERIFY(rig.filter->isImageTimerActive());
        QVERIFY(rig.rendered.size() >= 1);
        QCOMPARE(rig.rendered.all().front().texture, int(rig.filter->cameraTexture()) + 5000);
        QCOMPARE(rig.rendered.all().front().width, 8);

        // The camera texture holds the picture, first row first, in RGBA.
        QVERIFY(rig.display.context.makeCurrent(&rig.display.surface));
        QOpenGLFunctions *gl = rig.display.context.functions();
        GLuint fbo = 0;
        gl->glGenFramebuffers(1, &fbo);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, rig.filter->cameraTexture(), 0);
        uchar rgba[8 * 4 * 4] = {};
        gl->glReadPixels(0, 0, 8, 4, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl->glDeleteFramebuffers(1, &fbo);
        rig.display.context.doneCurrent();
        QCOMPARE(int(rgba[0]), 1);
        QCOMPARE(int(rgba[1]), 2);
        QCOMPARE(int(rgba[2]), 3);
        QCOMPARE(int(rgba[4]), 250);
        QCOMPARE(int(rgba[5]), 20);
        QCOMPARE(int(rgba[6]), 90);

        // Camera frames are ignored in picture mode.
        const int uploads = rig.engine()->uploadCount.load();
        sendFrames(rig.filter.get(), 2, 1280, 720, QVideoFrame::Format_NV12);
        QCOMPARE(rig.engine()->uploadCount.load(), uploads);

        // Comparison shows the untouched picture and pauses the refresh.
        rig.filter->setComparisonMode(true);
        QVERIFY(!rig.filter->isImageTimerActive());
        QCOMPARE(rig.rendered.all().back().texture, int(rig.filter->cameraTexture()));
        rig.filter->setComparisonMode(false);
        QVERIFY(rig.filter->isImageTimerActive());
        QCOMPARE(rig.rendered.all().back().texture, int(rig.filter->cameraTexture()) + 5000);

        rig.filter->setUseCameraRender(true);
        QVERIFY(!rig.filter->isImageTimerActive());
        QVERIFY(log.has("VideoFilter::setUseCameraRender: 切换到相机模式，停止图片更新定时器"));
        const int processed = rig.engine()->processCount.load();
        rig.filter->refreshImageFrame(); // camera mode: nothing
        QCOMPARE(rig.engine()->processCount.load(), processed);
    }

    void loadImageFailures()
    {
        Rig rig;
        QTemporaryDir dir;
        const QString junk = dir.filePath("junk.jpg");
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(64, 'x'));
        file.close();
        LogCapture log;
        QVERIFY(!rig.filter->loadImage(junk));
        QVERIFY(log.has("Detected format: JPEG"));
        QVERIFY(log.has("Alternative loading method also failed:"));
        QVERIFY(log.has("Trying to load as JPEG format..."));
        QVERIFY(log.has("All loading methods failed"));
        QVERIFY(!rig.filter->loadImage(dir.filePath("missing.png")));
        QVERIFY(!rig.filter->isImageTimerActive());

        // Without a context there is no camera texture to upload into.
        Rig bare(false);
        bare.filter->processController().setEngineFactory(bare.registry.factory());
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::white);
        const QString path = dir.filePath("ok.png");
        QVERIFY(picture.save(path));
        QVERIFY(!bare.filter->loadImage(path));
        QVERIFY(log.has("camera TextureId error"));
    }

    void stopThenDestroyClearsEffectsTwice()
    {
        FakeEngineRegistry registry;
        DisplayContext display;
        {
            VideoFilter filter;
            filter.processController().setEngineFactory(registry.factory());
            filter.initializeFilter(&display.context, &display.surface);
            LogCapture log;
            filter.stopProcessing();
            for (const char *line : {"开始停止视频滤镜处理...", "已停止图片更新定时器", "已停止帧处理定时器",
                                     "已清空帧队列，剩余帧数: 0", "已清除所有美颜特效", "=== Final Adaptive Pool Statistics ===",
                                     "=== Adaptive Pool Statistics [FrameDataPool] ===", "[AdaptivePool-FrameDataPool] Pool cleared",
                                     "自适应对象池已清理", "视频滤镜处理已停止"})
                QVERIFY2(log.has(QString::fromUtf8(line)), line);
            QCOMPARE(registry.last()->clearCount.load(), 1);
            QVERIFY(filter.cameraTexture() != 0); // textures stay until destruction
        }
        QCOMPARE(registry.clearsAtDestroy, std::vector<int>{2});
        // The engine goes with a context current, so it can free its objects.
        QCOMPARE(registry.contextAtDestroy, std::vector<bool>{true});
    }

    // The display widget (and its context) goes before the pipeline when the
    // window closes; the engine and textures must go with the context.
    void displayContextGoingFirst()
    {
        FakeEngineRegistry registry;
        VideoFilter filter;
        filter.processController().setEngineFactory(registry.factory());
        {
            DisplayContext display;
            filter.initializeFilter(&display.context, &display.surface);
            sendFrames(&filter, 1, 1280, 720, QVideoFrame::Format_NV12);
        }
        QCOMPARE(registry.destroyed, std::vector<int>{1});
        QCOMPARE(registry.contextAtDestroy, std::vector<bool>{true});
        QCOMPARE(filter.cameraTexture(), GLuint(0));
        QVERIFY(!filter.captureContext());
        LogCapture log;
        sendFrames(&filter, 1, 1280, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("OpenGL textures not ready, dropping frame"));
        filter.updateEffect("beauty.whiten", 10, "", {});
        filter.clearAllEffects();
    }

    void periodicStatisticsLines()
    {
        Rig rig;
        LogCapture log;
        rig.filter->printPoolStatistics();
        QVERIFY(log.has("=== Adaptive Object Pool Statistics ==="));
        QVERIFY(log.has("FrameData Pool Memory: 0 KB"));
        QVERIFY(log.has("Hit Rate: \"0.00\" %") || log.has("Hit Rate: 0.00 %"));
        log.clear();
        sendFrames(rig.filter.get(), 100, 1280, 720, QVideoFrame::Format_NV12);
        QVERIFY(log.has("Zero-copy optimization stats - Frame:"));
        QVERIFY(log.has("BufferSize: 3686400 bytes"));
        QVERIFY(log.has("Pool Stats - FrameData: 5/5 (hit: 100.0%)"));
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestVideoFilter)
#include "tst_videofilter.moc"
