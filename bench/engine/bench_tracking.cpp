// Face tracker cost per frame at 1280 x 720 on the CPU: the luma plane of the
// first demo portrait (one face) and of a 2 x 2 tile of portraits (four
// faces), tracked frame after frame as the engine does (landmarks from the
// previous frame, detection every few frames). Prints the median and the 95th
// percentile of the process CPU time (OpenCV's own threads included) and of the wall time.
// The body tracker (demo body picture in a 1280 x 720 frame) is measured next
// to the bare forward pass of its model in the same run, and so is each hand
// model (drawn open hand in a 1280 x 720 frame): the palm detector with its
// letterbox and decoding, the landmark model with its turned crop, and the
// whole hand tracker per frame as a video runs it.
//
//   bench_tracking [--frames N] [--opencv-threads N]
#include "vision/BodyTracker.h"
#include "vision/FaceTracker.h"
#include "vision/HandTracker.h"

#include <opencv2/core/utility.hpp>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Timing {
    std::vector<double> cpu, wall;
    template <typename F> void run(int index, F &&step)
    {
        const double c0 = processCpuMs();
        const auto w0 = std::chrono::steady_clock::now();
        step();
        const double w = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
        if (index >= 5) {  // the first runs build the networks' buffers
            cpu.push_back(processCpuMs() - c0);
            wall.push_back(w);
        }
    }
};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

QImage frameOf(const QImage &portrait, int tiles)
{
    QImage frame(1280, 720, QImage::Format_Grayscale8);
    frame.fill(Qt::gray);
    QPainter painter(&frame);
    const int w = 1280 / tiles;
    const int h = 720 / tiles;
    for (int y = 0; y < tiles; ++y) {
        for (int x = 0; x < tiles; ++x) {
            const QImage scaled = portrait.scaled(w, h, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            painter.drawImage(x * w + (w - scaled.width()) / 2, y * h + (h - scaled.height()) / 2, scaled);
        }
    }
    painter.end();
    return frame;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int frames = 200;
    int threads = 0;  // OpenCV's own choice, as in the program
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(10, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--opencv-threads") == 0)
            threads = std::max(1, std::atoi(argv[i + 1]));
    }
    if (threads > 0)
        cv::setNumThreads(threads);
    std::printf("OpenCV threads: %d\n", cv::getNumThreads());
    const QString dir = QCoreApplication::applicationDirPath();
    const QImage portrait = QImage(dir + "/res/demoImage/demo_image1.jpg").convertToFormat(QImage::Format_Grayscale8);
    if (portrait.isNull()) {
        std::fprintf(stderr, "bench_tracking: no demo portrait\n");
        return 1;
    }
    std::printf("Face tracking at 1280 x 720, %d frames each; ms per frame\n", frames);
    std::printf("%-10s %6s   %10s %10s   %10s %10s   %10s %10s\n", "case", "faces", "CPU median", "CPU p95",
                "wall med.", "wall p95", "mesh med.", "iris med.");
    // The engine asks for irises only while the landmark view is on.
    const std::pair<int, bool> cases[] = {{1, false}, {1, true}, {2, false}};
    for (const auto &[tiles, irises] : cases) {
        velvix::vision::FaceTrackerOptions options;
        options.iris = irises;
        velvix::vision::FaceTracker tracker((dir + "/res/models").toStdString(), options);
        if (!tracker.isReady()) {
            std::fprintf(stderr, "bench_tracking: models missing in res/models\n");
            return 1;
        }
        const QImage frame = frameOf(portrait, tiles);
        const cv::Mat mat(frame.height(), frame.width(), CV_8UC1, const_cast<uchar *>(frame.constBits()),
                          static_cast<size_t>(frame.bytesPerLine()));
        std::vector<double> cpu, wall, iris, mesh;
        size_t faces = 0;
        for (int i = 0; i < frames + 5; ++i) {
            const double c0 = processCpuMs();
            const auto w0 = std::chrono::steady_clock::now();
            faces = tracker.track(mat, i + 1).size();
            const double w = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
            if (i >= 5) {  // the first frames build the networks' buffers
                cpu.push_back(processCpuMs() - c0);
                wall.push_back(w);
                iris.push_back(tracker.lastStats().irisMs);
                mesh.push_back(tracker.lastStats().meshMs);
            }
        }
        std::printf("%-10s %6zu   %10.2f %10.2f   %10.2f %10.2f   %10.2f %10.2f\n",
                    tiles == 1 ? (irises ? "one+irises" : "one") : "2 x 2", faces, percentile(cpu, 0.5),
                    percentile(cpu, 0.95), percentile(wall, 0.5), percentile(wall, 0.95), percentile(mesh, 0.5),
                    percentile(iris, 0.5));
    }
    // Body: the whole tracker (letterbox, inference, decoding, smoothing)
    // against the model's bare forward pass on a ready input.
    const QImage body = QImage(dir + "/res/demoImage/demo_image4 body.jpg").convertToFormat(QImage::Format_Grayscale8);
    auto bodyTracker = velvix::vision::BodyTracker::create((dir + "/res/models").toStdString());
    if (body.isNull() || !bodyTracker) {
        std::fprintf(stderr, "bench_tracking: body picture or model missing\n");
        return 1;
    }
    const QImage bodyFrame = frameOf(body, 1);
    velvix::vision::LumaFrame luma;
    luma.width = bodyFrame.width();
    luma.height = bodyFrame.height();
    auto pixels = std::make_shared<std::vector<uint8_t>>();
    for (int y = 0; y < bodyFrame.height(); ++y)
        pixels->insert(pixels->end(), bodyFrame.constScanLine(y), bodyFrame.constScanLine(y) + bodyFrame.width());
    luma.pixels = pixels;
    cv::dnn::Net bare = cv::dnn::readNetFromONNX((dir + "/res/models/movenet-lightning.onnx").toStdString());
    const int shape[] = {1, 192, 192, 3};
    cv::Mat blob(4, shape, CV_32F, cv::Scalar(128));
    std::vector<double> trackCpu, trackWall, bareCpu, bareWall;
    size_t people = 0;
    for (int i = 0; i < frames + 5; ++i) {
        luma.frameNumber = static_cast<uint64_t>(i + 1);
        double c0 = processCpuMs();
        auto w0 = std::chrono::steady_clock::now();
        auto result = std::dynamic_pointer_cast<velvix::vision::BodyResult>(bodyTracker->track(luma));
        double w = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
        double c = processCpuMs() - c0;
        people = result ? result->people.size() : 0;
        if (i >= 5) {
            trackCpu.push_back(c);
            trackWall.push_back(w);
        }
        std::vector<cv::Mat> outs;
        c0 = processCpuMs();
        w0 = std::chrono::steady_clock::now();
        bare.setInput(blob);
        bare.forward(outs, std::vector<std::string>{"heatmap", "center", "regress", "offset"});
        w = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
        c = processCpuMs() - c0;
        if (i >= 5) {
            bareCpu.push_back(c);
            bareWall.push_back(w);
        }
    }
    std::printf("\nBody tracking (MoveNet lightning) at 1280 x 720, %d frames; ms per frame\n", frames);
    std::printf("%-10s %6s   %10s %10s   %10s %10s\n", "case", "people", "CPU median", "CPU p95", "wall med.",
                "wall p95");
    std::printf("%-10s %6zu   %10.2f %10.2f   %10.2f %10.2f\n", "tracker", people, percentile(trackCpu, 0.5),
                percentile(trackCpu, 0.95), percentile(trackWall, 0.5), percentile(trackWall, 0.95));
    std::printf("%-10s %6s   %10.2f %10.2f   %10.2f %10.2f\n", "forward", "-", percentile(bareCpu, 0.5),
                percentile(bareCpu, 0.95), percentile(bareWall, 0.5), percentile(bareWall, 0.95));

    // Hands: each model inside the tracker next to its bare forward pass.
    const QImage hand = QImage(dir + "/res/demoImage/hand_open_palm.png").convertToFormat(QImage::Format_Grayscale8);
    auto handTracker = velvix::vision::HandTracker::create((dir + "/res/models").toStdString());
    if (hand.isNull() || !handTracker) {
        std::fprintf(stderr, "bench_tracking: hand picture or models missing\n");
        return 1;
    }
    const QImage handFrame = frameOf(hand, 1);
    const cv::Mat handMat(handFrame.height(), handFrame.width(), CV_8UC1, const_cast<uchar *>(handFrame.constBits()),
                          static_cast<size_t>(handFrame.bytesPerLine()));
    velvix::vision::LumaFrame handLuma;
    handLuma.width = handFrame.width();
    handLuma.height = handFrame.height();
    auto handPixels = std::make_shared<std::vector<uint8_t>>();
    for (int y = 0; y < handFrame.height(); ++y)
        handPixels->insert(handPixels->end(), handFrame.constScanLine(y), handFrame.constScanLine(y) + handFrame.width());
    handLuma.pixels = handPixels;
    const std::vector<velvix::vision::Palm> palms = handTracker->detectPalms(handMat);
    if (palms.empty()) {
        std::fprintf(stderr, "bench_tracking: no palm found in the hand picture\n");
        return 1;
    }
    const velvix::vision::HandRegion region = velvix::vision::HandTracker::regionFromPalm(palms[0]);
    cv::dnn::Net bareDetector = cv::dnn::readNetFromONNX((dir + "/res/models/handdetect.onnx").toStdString());
    cv::dnn::Net bareLandmarks = cv::dnn::readNetFromONNX((dir + "/res/models/handlandmark-lite.onnx").toStdString());
    const int detectorShape[] = {1, 256, 256, 3};
    const int landmarkShape[] = {1, 224, 224, 3};
    const cv::Mat detectorBlob(4, detectorShape, CV_32F, cv::Scalar(0.1));
    const cv::Mat landmarkBlob(4, landmarkShape, CV_32F, cv::Scalar(0.5));
    const std::vector<std::string> landmarkOutputs{"Identity", "Identity_1", "Identity_2"};
    Timing detector, detectorForward, landmarks, landmarkForward, tracking;
    size_t found = 0, hands = 0;
    for (int i = 0; i < frames + 5; ++i) {
        detector.run(i, [&] { found = handTracker->detectPalms(handMat).size(); });
        detectorForward.run(i, [&] {
            bareDetector.setInput(detectorBlob);
            bareDetector.forward();
        });
        velvix::vision::Hand read;
        landmarks.run(i, [&] { handTracker->readLandmarks(handMat, region, &read); });
        landmarkForward.run(i, [&] {
            std::vector<cv::Mat> outs;
            bareLandmarks.setInput(landmarkBlob);
            bareLandmarks.forward(outs, landmarkOutputs);
        });
        handLuma.frameNumber = static_cast<uint64_t>(i + 1);
        tracking.run(i, [&] {
            auto result = std::dynamic_pointer_cast<velvix::vision::HandResult>(handTracker->track(handLuma));
            hands = result ? result->hands.size() : 0;
        });
    }
    std::printf("\nHand models at 1280 x 720 (one drawn hand), %d runs; ms per inference\n", frames);
    std::printf("%-22s %6s   %10s %10s   %10s %10s   %8s\n", "case", "found", "CPU median", "CPU p95", "wall med.",
                "wall p95", "added");
    const auto row = [](const char *name, size_t count, const Timing &t, const Timing *forward) {
        const double added = forward ? 100.0 * (percentile(t.cpu, 0.5) / percentile(forward->cpu, 0.5) - 1.0) : 0.0;
        std::printf("%-22s %6zu   %10.2f %10.2f   %10.2f %10.2f   ", name, count, percentile(t.cpu, 0.5),
                    percentile(t.cpu, 0.95), percentile(t.wall, 0.5), percentile(t.wall, 0.95));
        if (forward)
            std::printf("%7.1f%%\n", added);
        else
            std::printf("%8s\n", "-");
    };
    row("palm detector", found, detector, &detectorForward);
    row("  bare forward", 0, detectorForward, nullptr);
    row("hand landmarks", 1, landmarks, &landmarkForward);
    row("  bare forward", 0, landmarkForward, nullptr);
    row("tracker per frame", hands, tracking, nullptr);
    return 0;
}
