// bench_mainwindow [runs]: under an X server (xvfb-run -a). Prints
//  - start to first frame: from constructing the window (camera platform
//    with one virtual camera) to the first processed camera frame painted
//    by the video view, per run and the median;
//  - one checkCameraStatus call (the window's once-a-second check) over the
//    virtual camera and over the system's cameras: mean and worst of 50.
#include "TestCameraPlatform.h"

#include "MainWindow.h"
#include "VideoShowWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSurfaceFormat>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double startToFirstFrame()
{
    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    window.resize(1385, 850);
    double firstFrame = -1;
    QObject::connect(window.videoShowWidget(), &QOpenGLWidget::frameSwapped, &window, [&] {
        if (firstFrame < 0 && window.videoShowWidget()->textureId() != 0)
            firstFrame = clock.nsecsElapsed() / 1e6;
    });
    window.show();
    QElapsedTimer limit;
    limit.start();
    while (firstFrame < 0 && limit.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return firstFrame;
}

void checkCost(const char *label)
{
    MainWindow window;
    window.permissionCheckTimer()->stop();
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        window.checkCameraStatus();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    double sum = 0;
    for (double t : times)
        sum += t;
    std::printf("checkCameraStatus (%s): mean %.3f ms, worst %.3f ms over %zu calls\n", label,
                sum / times.size(), *std::max_element(times.begin(), times.end()), times.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setVersion(4, 1);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    auto platform = std::make_shared<TestCameraPlatform>();
    platform->setCameras({{L"Virtual Camera"}});
    setActiveCameraPlatform(platform);

    std::vector<double> starts;
    for (int i = 0; i < runs; ++i) {
        const double ms = startToFirstFrame();
        std::printf("start to first frame, run %d: %.1f ms\n", i + 1, ms);
        starts.push_back(ms);
    }
    std::sort(starts.begin(), starts.end());
    std::printf("start to first frame: median %.1f ms over %d runs (goal < 1500 ms)\n", starts[starts.size() / 2],
                runs);

    checkCost("one virtual camera");
    setActiveCameraPlatform(nullptr);
    checkCost("system cameras");
    return 0;
}
