// bench_framerate: the whole program's frame rate. Runs the real MainWindow
// on the virtual camera (1280 x 720, paced at 30 fps, showing a still demo
// picture so the trackers find a face and a body) and, per configuration,
// counts for a fixed time:
//  - processed: frames the pipeline handed to the view (signalRenderTexture);
//  - painted: frames the view painted with a texture it had not shown yet.
// Effects go the panel's road: VideoFilter::updateEffect -> ProcessController
// -> the engine. Run under an X server (xvfb-run -a).
//
//   bench_framerate [--seconds S] [--warmup S] [--only TEXT]
//                   [--extra "name=value[,path];name=value[,path]"]...
//                   [--shots DIR]
//
// Each --extra adds a configuration with those settings (paths relative to
// res/), for effects that have no built-in case here. --shots saves what the
// view shows at the end of each configuration (DIR/<n>.png).
#include "TestCameraPlatform.h"

#include "MainWindow.h"
#include "VideoShowWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSurfaceFormat>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Setting {
    std::string name;
    int value = 0;
    std::string path; // relative to res/, may be empty
};

struct Config {
    std::string label;
    std::vector<Setting> settings;
    const char *picture = "demo_image2.jpg";
};

// "name=value[,path]" items separated by ';'.
bool parseSettings(const std::string &text, std::vector<Setting> *out)
{
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(';', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0)
            return false;
        Setting s;
        s.name = item.substr(0, eq);
        const std::string rest = item.substr(eq + 1);
        const size_t comma = rest.find(',');
        char *endPtr = nullptr;
        const std::string number = rest.substr(0, comma);
        s.value = static_cast<int>(std::strtol(number.c_str(), &endPtr, 10));
        if (number.empty() || *endPtr != '\0')
            return false;
        if (comma != std::string::npos)
            s.path = rest.substr(comma + 1);
        out->push_back(s);
    }
    return !out->empty();
}

std::vector<Config> builtInConfigs()
{
    // The "自然" template's four values, face shape, and smoothing raised.
    const std::vector<Setting> faceChain = {{"beauty.smooth", 80, {}},  {"beauty.whiten", 25, {}},
                                            {"beauty.rosy", 10, {}},    {"beauty.sharpen", 10, {}},
                                            {"shape.thinFace", 60, {}}, {"shape.bigEye", 40, {}},
                                            {"shape.vFace", 30, {}}};
    std::vector<Setting> faceBody = faceChain;
    for (const char *name : {"body.slimWaist", "body.slimLeg", "body.slimArm", "body.longLeg"})
        faceBody.push_back({name, 60, {}});
    return {
        {"everything off", {}},
        {"face chain", faceChain},
        {"person segmentation (blur)", {{"segmentation", 0, "segmentation/blur"}}},
        {"style look + 2D sticker",
         {{"makeup", 80, "style_makeup/glam"}, {"motion", 0, "motion/sunglasses"}}},
        {"face + body", faceBody, "demo_image4 body.jpg"},
    };
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

void pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Result {
    double processedFps = 0, paintedFps = 0, cpuPercent = 0, load = 0;
    int width = 0, height = 0;
    bool ok = false;
};

Result measure(const Config &config, const QString &resDir, double warmupSeconds, double seconds,
               const QString &shot)
{
    qputenv("EFFECTDEMO_VIRTUAL_CAMERA", (resDir + "demoImage/" + config.picture).toUtf8());
    MainWindow window;
    window.resize(1385, 850);
    std::atomic<long> delivered{0};
    std::atomic<int> frameWidth{0}, frameHeight{0};
    long lastPainted = -1;
    long painted = 0;
    // The pipeline emits on the capture thread; count there, not behind the
    // GUI thread's queue.
    QObject::connect(
        &window.videoFilter(), &VideoFilter::signalRenderTexture, &window,
        [&](int texture, int width, int height) {
            if (texture <= 0)
                return;
            frameWidth.store(width, std::memory_order_relaxed);
            frameHeight.store(height, std::memory_order_relaxed);
            delivered.fetch_add(1, std::memory_order_relaxed);
        },
        Qt::DirectConnection);
    QObject::connect(window.videoShowWidget(), &QOpenGLWidget::frameSwapped, &window, [&] {
        const long now = delivered.load(std::memory_order_relaxed);
        if (now != lastPainted && window.videoShowWidget()->textureId() != 0) {
            lastPainted = now;
            ++painted;
        }
    });
    window.show();
    QElapsedTimer limit;
    limit.start();
    while (delivered.load() == 0 && limit.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    Result result;
    if (delivered.load() == 0) {
        std::fprintf(stderr, "bench_framerate: no camera frame within 20 s (%s)\n", config.label.c_str());
        return result;
    }
    for (const Setting &s : config.settings) {
        const QString full = resDir + QString::fromStdString(s.path);
        if (!s.path.empty() && !QFile::exists(full))
            std::fprintf(stderr, "bench_framerate: %s: no resource %s\n", config.label.c_str(), s.path.c_str());
        window.videoFilter().updateEffect(s.name.c_str(), s.value, s.path, {});
    }
    // Models load on threads of their own; let them and the first frames
    // of each tracker settle.
    pump(static_cast<int>(warmupSeconds * 1000));

    const long delivered0 = delivered.load();
    const long painted0 = painted;
    const double cpu0 = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    pump(static_cast<int>(seconds * 1000));
    const double wall = clock.nsecsElapsed() / 1e9;
    result.processedFps = (delivered.load() - delivered0) / wall;
    result.paintedFps = (painted - painted0) / wall;
    result.cpuPercent = 100.0 * (processCpuSeconds() - cpu0) / wall;
    result.load = loadAverage();
    result.width = frameWidth.load();
    result.height = frameHeight.load();
    result.ok = true;
    if (!shot.isEmpty())
        window.videoShowWidget()->grabFramebuffer().save(shot);
    window.close();
    return result;
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

    double seconds = 10, warmup = 4;
    std::string only;
    QString shots;
    std::vector<Config> configs = builtInConfigs();
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            seconds = std::max(1.0, std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--warmup") == 0 && hasValue) {
            warmup = std::max(0.0, std::atof(argv[++i]));
        } else if (std::strcmp(argv[i], "--only") == 0 && hasValue) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--shots") == 0 && hasValue) {
            shots = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--extra") == 0 && hasValue) {
            Config config;
            config.label = argv[++i];
            if (!parseSettings(config.label, &config.settings)) {
                std::fprintf(stderr, "bench_framerate: --extra wants name=value[,path];... not \"%s\"\n", argv[i]);
                return 1;
            }
            configs.push_back(config);
        } else {
            std::fprintf(stderr, "usage: bench_framerate [--seconds S] [--warmup S] [--only TEXT] "
                                 "[--extra \"name=value[,path];...\"]...\n");
            return 1;
        }
    }

    auto platform = std::make_shared<TestCameraPlatform>();
    platform->setCameras({{L"Virtual Camera"}});
    setActiveCameraPlatform(platform);
    const QString resDir = QCoreApplication::applicationDirPath() + "/res/";

    std::printf("Whole program on the virtual camera at 1280 x 720 (paced at 30 fps), %.0f s per\n"
                "configuration after %.0f s of warm-up; %d CPU cores.\n",
                seconds, warmup, QThread::idealThreadCount());
    std::printf("%-34s %10s %10s %9s %6s %10s\n", "configuration", "processed", "painted", "CPU %", "load",
                "frame");
    int failures = 0;
    for (size_t i = 0; i < configs.size(); ++i) {
        const Config &config = configs[i];
        if (!only.empty() && config.label.find(only) == std::string::npos)
            continue;
        const QString shot = shots.isEmpty() ? QString() : QStringLiteral("%1/%2.png").arg(shots).arg(i + 1);
        const Result r = measure(config, resDir, warmup, seconds, shot);
        if (!r.ok) {
            ++failures;
            continue;
        }
        std::printf("%-34s %6.1f fps %6.1f fps %8.0f%% %6.2f %5dx%d\n", config.label.c_str(), r.processedFps,
                    r.paintedFps, r.cpuPercent, r.load, r.width, r.height);
        std::fflush(stdout);
    }
    setActiveCameraPlatform(nullptr);
    return failures == 0 ? 0 : 2;
}
