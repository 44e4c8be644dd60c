#pragma once
// Face tracking for the effect engine: BlazeFace detection, the 468-point
// MediaPipe face mesh, MediaPipe's iris model, One-Euro smoothing and head
// pose.
//
// Usage (one thread at a time per tracker; the tracker holds no locks):
//
//     velvix::vision::FaceTracker tracker("res/models");
//     if (!tracker.isReady()) ...;            // a model is missing or corrupt: logged once
//     for (each frame)
//         std::vector<Face> faces = tracker.track(frame, frameNo);
//
// `track` takes an 8-bit picture: grey (CV_8UC1, e.g. the Y plane of a camera
// frame, no copy or conversion of the whole frame is made), RGB (CV_8UC3) or
// RGBA (CV_8UC4), any size. Landmarks follow every frame from the previous
// frame's landmarks; the detector runs on the first frame, every
// `detectInterval` frames while fewer than `maxFaces` faces are tracked, and
// whenever a face is lost. Frame numbers must increase; a jump backwards or
// a gap larger than `maxGap` starts afresh (new picture, seek).
//
// Coordinates are pixels of the given picture, origin top-left. Landmark
// indices are MediaPipe's face mesh indices (see the `Landmark` constants).

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velvix::vision {

// A few named indices of the 468-point mesh.
namespace Landmark {
constexpr int NoseTip = 4;        // centre of the tip's lobule (1 lies at its lower edge)
constexpr int Chin = 152;
constexpr int RightEyeOuter = 33;   // the subject's right eye: left in an unmirrored picture
constexpr int RightEyeInner = 133;
constexpr int LeftEyeOuter = 263;
constexpr int LeftEyeInner = 362;
constexpr int MouthRight = 61;      // the subject's right mouth corner
constexpr int MouthLeft = 291;
constexpr int Count = 468;
constexpr int IrisPoints = 5;       // per eye: the iris centre, then four points on its rim
}  // namespace Landmark

struct HeadPose {
    bool valid = false;
    cv::Vec3d rvec;         // Rodrigues rotation, camera frame (x right, y down, z forward)
    cv::Vec3d tvec;         // millimetres, from a generic head model and f = max(width, height)
    double yaw = 0;         // degrees; positive when the face turns to its left (picture right)
    double pitch = 0;       // degrees; positive when the face looks up
    double roll = 0;        // degrees; positive when the head tilts clockwise in the picture
};

struct Face {
    int id = 0;                          // stable while the face is tracked
    cv::Rect2f box;                      // bounding box of the landmarks
    std::vector<cv::Point3f> landmarks;  // 468 points: x, y in pixels, z relative depth (pixels)
    float score = 0;                     // face-mesh presence, 0..1
    // 2 x IrisPoints, the subject's right iris first; empty while the iris
    // model is off.
    std::vector<cv::Point2f> iris;
    HeadPose pose;
    int64_t frameNo = 0;                 // the frame these landmarks belong to

    cv::Point2f point(int index) const { return {landmarks[index].x, landmarks[index].y}; }
    // Centre of the subject's right eye opening: steady while the eye looks
    // around, so warps centred on it do not follow the gaze.
    cv::Point2f rightEyeCentre() const;
    cv::Point2f leftEyeCentre() const;
    // Centre of the iris (the opening's centre without the iris model).
    cv::Point2f rightPupil() const;
    cv::Point2f leftPupil() const;
    float irisRadius(int eye) const;     // 0 = right, 1 = left; 0 without the iris model
};

struct FaceTrackerOptions {
    int maxFaces = 4;
    int detectInterval = 10;     // frames between detector runs while fewer than maxFaces
    int maxGap = 30;             // frame-number gap after which tracking restarts
    float detectScore = 0.6f;    // BlazeFace score to accept a new face
    float presenceScore = 0.5f;  // face-mesh presence to keep tracking a face
    bool smooth = true;          // One-Euro filtering of the landmarks
    double fps = 30.0;           // frame rate the filter assumes between frame numbers
    double minCutoff = 0.3;      // One-Euro: Hz at rest (lower removes more jitter)
    double beta = 8.0;           // One-Euro: cutoff gain per face width per second of speed
    bool iris = true;            // run the iris model (per eye about as costly as the mesh)
};

class FaceTracker {
public:
    // Loads "face_detection_front_128x128.onnx" and "facemesh.onnx" from
    // `modelDir`. A missing or unreadable model logs one warning and leaves
    // the tracker off: track() then returns no faces. "iris.onnx" is
    // optional: without it faces come without irises (one warning).
    explicit FaceTracker(const std::string &modelDir, FaceTrackerOptions options = {});
    ~FaceTracker();
    FaceTracker(const FaceTracker &) = delete;
    FaceTracker &operator=(const FaceTracker &) = delete;

    bool isReady() const;
    bool hasIris() const;
    const FaceTrackerOptions &options() const { return m_options; }
    void setIris(bool on) { m_options.iris = on; }

    std::vector<Face> track(const cv::Mat &image, int64_t frameNo);
    // Forgets every face (a new picture follows).
    void reset();

    // Timing of the last track() call, for benchmarks and logs.
    struct Stats {
        double detectMs = 0;   // 0 when the detector did not run
        double meshMs = 0;     // all faces together
        int meshRuns = 0;
        double irisMs = 0;     // both eyes of every face
    };
    Stats lastStats() const { return m_stats; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    FaceTrackerOptions m_options;
    Stats m_stats;
};

// Head pose from 2-D landmarks of the mesh with solvePnP against a generic
// head; exposed for tests.
HeadPose estimateHeadPose(const std::vector<cv::Point3f> &landmarks, cv::Size imageSize);

}  // namespace velvix::vision
