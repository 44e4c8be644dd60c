#include "FaceTracker.h"

#include "BlazeFace.h"
#include "OneEuroFilter.h"

#include <QDebug>
#include <QString>

#include <opencv2/calib3d.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace velvix::vision {

namespace {

constexpr int MeshInput = 192;
constexpr float RoiScale = 1.5f;  // the mesh was trained on crops 1.5 x the face
constexpr int IrisInput = 64;
constexpr float IrisScale = 2.3f;  // the iris model's crop: 2.3 x the distance between the eye's corners
constexpr int IrisOutputs = 71 * 3 + Landmark::IrisPoints * 3;  // eye contour and brow, then the iris

// Eye openings of the mesh (MediaPipe's eye contours, 16 points each).
constexpr int RightEyeRing[] = {33, 7, 163, 144, 145, 153, 154, 155, 133, 173, 157, 158, 159, 160, 161, 246};
constexpr int LeftEyeRing[] = {263, 249, 390, 373, 374, 380, 381, 382, 362, 398, 384, 385, 386, 387, 388, 466};

cv::Point2f ringCentre(const std::vector<cv::Point3f> &lm, const int (&ring)[16])
{
    cv::Point2f c(0, 0);
    for (int i : ring)
        c += cv::Point2f(lm[i].x, lm[i].y);
    return c * (1.f / 16);
}

double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

struct Roi {
    cv::Point2f centre;
    float size = 0;
    float angle = 0;  // radians, the face's tilt in the picture
};

// A model's square crop of `side` pixels: picture -> crop turns by -angle
// about `centre`, scales `size` picture pixels to `side`, mirrors if asked
// and puts `centre` in the crop's middle. Crops are cut with warpAffine.
struct Crop {
    cv::Matx23d toCrop;
    cv::Matx23d toPicture;

    Crop(cv::Point2f centre, double size, double angle, int side, bool mirrored = false)
    {
        const double k = side / std::max(size, 1.0);
        const double c = std::cos(angle), s = std::sin(angle), mx = mirrored ? -1 : 1;
        toCrop = cv::Matx23d(mx * c * k, mx * s * k, 0, -s * k, c * k, 0);
        toCrop(0, 2) = side / 2.0 - (toCrop(0, 0) * centre.x + toCrop(0, 1) * centre.y);
        toCrop(1, 2) = side / 2.0 - (toCrop(1, 0) * centre.x + toCrop(1, 1) * centre.y);
        cv::invertAffineTransform(toCrop, toPicture);
    }

    // A model's output point back in the picture. The models count from the
    // crop's edge (pixel i spans i..i+1), warpAffine from pixel centres.
    cv::Point2f picturePoint(float x, float y) const
    {
        const double u = x - 0.5, v = y - 0.5;
        return {float(toPicture(0, 0) * u + toPicture(0, 1) * v + toPicture(0, 2)),
                float(toPicture(1, 0) * u + toPicture(1, 1) * v + toPicture(1, 2))};
    }
};

Roi roiFromLandmarks(const std::vector<cv::Point3f> &lm)
{
    const cv::Point3f a = lm[Landmark::RightEyeOuter], b = lm[Landmark::LeftEyeOuter];
    Roi roi;
    roi.angle = std::atan2(b.y - a.y, b.x - a.x);
    const float c = std::cos(roi.angle), s = std::sin(roi.angle);
    float minU = 1e9f, maxU = -1e9f, minV = 1e9f, maxV = -1e9f;
    for (const cv::Point3f &p : lm) {
        const float u = c * p.x + s * p.y, v = -s * p.x + c * p.y;
        minU = std::min(minU, u);
        maxU = std::max(maxU, u);
        minV = std::min(minV, v);
        maxV = std::max(maxV, v);
    }
    const float cu = (minU + maxU) / 2, cv_ = (minV + maxV) / 2;
    roi.centre = cv::Point2f(c * cu - s * cv_, s * cu + c * cv_);
    roi.size = std::max(maxU - minU, maxV - minV) * RoiScale;
    return roi;
}

Roi roiFromDetection(const FaceDetection &d)
{
    Roi roi;
    roi.centre = cv::Point2f(d.box.x + d.box.width / 2, d.box.y + d.box.height / 2);
    roi.size = std::max(d.box.width, d.box.height) * RoiScale;
    const cv::Point2f e = d.keypoints[1] - d.keypoints[0];
    roi.angle = std::atan2(e.y, e.x);
    return roi;
}

cv::Rect2f boundingBox(const std::vector<cv::Point3f> &lm)
{
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const cv::Point3f &p : lm) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

struct Track {
    int id = 0;
    std::vector<cv::Point3f> raw;     // model output, drives the next crop
    std::vector<cv::Point3f> smooth;  // filtered, what callers get
    std::vector<OneEuroFilter> filters;
    std::vector<cv::Point2f> iris;    // model output, 2 x IrisPoints or empty
    std::vector<OneEuroFilter> irisFilters;
    float score = 0;
};

}  // namespace

cv::Point2f Face::rightEyeCentre() const { return ringCentre(landmarks, RightEyeRing); }
cv::Point2f Face::leftEyeCentre() const { return ringCentre(landmarks, LeftEyeRing); }
cv::Point2f Face::rightPupil() const { return iris.empty() ? rightEyeCentre() : iris[0]; }
cv::Point2f Face::leftPupil() const { return iris.empty() ? leftEyeCentre() : iris[Landmark::IrisPoints]; }

float Face::irisRadius(int eye) const
{
    if (iris.size() != 2 * size_t(Landmark::IrisPoints) || eye < 0 || eye > 1)
        return 0;
    const cv::Point2f *p = &iris[size_t(eye) * Landmark::IrisPoints];
    float r = 0;
    for (int i = 1; i < Landmark::IrisPoints; ++i)
        r += float(cv::norm(p[i] - p[0]));
    return r / (Landmark::IrisPoints - 1);
}

struct FaceTracker::Impl {
    BlazeFace detector;
    cv::dnn::Net mesh;
    cv::Mat meshBlob;
    cv::dnn::Net iris;
    cv::Mat irisBlob;
    std::vector<Track> tracks;
    int nextId = 1;
    int64_t lastFrame = 0;
    int64_t lastDetect = 0;
    bool started = false;
    bool warnedInput = false;
    bool warnedRun = false;
    size_t nextTile = 0;

    // The short-range detector sees the whole picture at 128 x 128 and misses
    // faces under about an eighth of its width; overlapping square tiles of
    // 60 % of the short side find faces down to about 5 % of it.
    static std::vector<cv::Rect> tiles(cv::Size size)
    {
        std::vector<cv::Rect> out;
        const int side = std::max(BlazeFace::InputSize, std::min(size.width, size.height) * 3 / 5);
        if (side >= std::max(size.width, size.height))
            return out;
        auto starts = [side](int length) {
            std::vector<int> v;
            if (length <= side)
                return std::vector<int>{0};
            const int n = int(std::ceil((length - side) / (0.75 * side))) + 1;
            for (int i = 0; i < n; ++i)
                v.push_back(int(std::lround(double(length - side) * i / (n - 1))));
            return v;
        };
        for (int y : starts(size.height))
            for (int x : starts(size.width))
                out.emplace_back(cv::Rect(x, y, side, side) & cv::Rect(cv::Point(), size));
        return out;
    }

    // The whole picture, then every tile (`allTiles`) or the next one in turn.
    std::vector<FaceDetection> detectFaces(const cv::Mat &image, float minScore, bool allTiles)
    {
        std::vector<FaceDetection> found = detector.detect(image, minScore);
        const std::vector<cv::Rect> grid = tiles(image.size());
        for (size_t n = 0; n < (allTiles ? grid.size() : std::min<size_t>(1, grid.size())); ++n) {
            const cv::Rect tile = grid[allTiles ? n : nextTile++ % grid.size()];
            for (FaceDetection det : detector.detect(image(tile), minScore)) {
                det.box.x += tile.x;
                det.box.y += tile.y;
                for (cv::Point2f &p : det.keypoints)
                    p += cv::Point2f(float(tile.x), float(tile.y));
                found.push_back(det);
            }
        }
        return BlazeFace::suppress(std::move(found), 0.3f);
    }

    static cv::dnn::Net readNet(const std::string &path)
    {
        cv::dnn::Net net;
        try {
            net = cv::dnn::readNetFromONNX(path);
        } catch (const cv::Exception &e) {
            throw std::runtime_error("cannot read " + path + ": " + e.err);
        }
        if (net.empty())
            throw std::runtime_error("cannot read " + path);
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        return net;
    }

    void loadIris(const std::string &path)
    {
        cv::dnn::Net net = readNet(path);
        const int dims[] = {1, IrisInput, IrisInput, 3};
        cv::Mat blob(4, dims, CV_32F, cv::Scalar(0));
        cv::Mat out;
        try {
            net.setInput(blob);
            out = net.forward();
        } catch (const cv::Exception &e) {
            throw std::runtime_error(path + " is not the iris model: " + e.err);
        }
        if (out.total() != size_t(IrisOutputs))
            throw std::runtime_error(path + " is not the iris model (unexpected outputs)");
        iris = net;
        irisBlob = blob;
    }

    // The iris of the eye between corners `a` and `b` (picture left to right).
    // The model knows the subject's right eye only: the left eye's crop is
    // mirrored on the way in and its points on the way out.
    void runIris(const cv::Mat &image, cv::Point2f a, cv::Point2f b, bool mirrored, cv::Point2f *out)
    {
        const Crop eye((a + b) * 0.5f, cv::norm(b - a) * IrisScale, std::atan2(b.y - a.y, b.x - a.x), IrisInput,
                       mirrored);
        cv::Mat crop;
        cv::warpAffine(image, crop, eye.toCrop, cv::Size(IrisInput, IrisInput), cv::INTER_LINEAR,
                       cv::BORDER_REPLICATE);
        cv::Mat plane(IrisInput, IrisInput, CV_32FC3, irisBlob.ptr<float>());
        toModelInput(crop, plane, 0.f, 1.f);
        iris.setInput(irisBlob);
        const cv::Mat result = iris.forward();
        const float *p = result.ptr<float>() + 71 * 3;
        for (int i = 0; i < Landmark::IrisPoints; ++i)
            out[i] = eye.picturePoint(p[3 * i], p[3 * i + 1]);
    }

    void loadMesh(const std::string &path)
    {
        cv::dnn::Net net = readNet(path);
        const int dims[] = {1, MeshInput, MeshInput, 3};
        cv::Mat blob(4, dims, CV_32F, cv::Scalar(0));
        std::vector<cv::Mat> outs;
        try {
            net.setInput(blob);
            net.forward(outs, std::vector<std::string>{"Identity_2", "Identity_1"});
        } catch (const cv::Exception &e) {
            throw std::runtime_error(path + " is not the face mesh: " + e.err);
        }
        if (outs.size() != 2 || outs[0].total() != size_t(Landmark::Count) * 3 || outs[1].total() != 1)
            throw std::runtime_error(path + " is not the face mesh (unexpected outputs)");
        mesh = net;
        meshBlob = blob;
    }

    // Runs the mesh on the rotated square `roi`; landmarks in picture pixels.
    bool runMesh(const cv::Mat &image, const Roi &roi, std::vector<cv::Point3f> &out, float &score)
    {
        if (!(roi.size > 4) || !std::isfinite(roi.centre.x) || !std::isfinite(roi.centre.y))
            return false;
        const Crop face(roi.centre, roi.size, roi.angle, MeshInput);
        cv::Mat crop;
        cv::warpAffine(image, crop, face.toCrop, cv::Size(MeshInput, MeshInput), cv::INTER_LINEAR,
                       cv::BORDER_CONSTANT);
        cv::Mat plane(MeshInput, MeshInput, CV_32FC3, meshBlob.ptr<float>());
        toModelInput(crop, plane, 0.f, 1.f);
        std::vector<cv::Mat> outs;
        mesh.setInput(meshBlob);
        mesh.forward(outs, std::vector<std::string>{"Identity_2", "Identity_1"});
        score = outs[1].ptr<float>()[0];
        const float *p = outs[0].ptr<float>();
        const float depthScale = roi.size / MeshInput;
        out.resize(Landmark::Count);
        for (int i = 0; i < Landmark::Count; ++i) {
            const cv::Point2f q = face.picturePoint(p[3 * i], p[3 * i + 1]);
            out[i] = cv::Point3f(q.x, q.y, p[3 * i + 2] * depthScale);
        }
        return std::isfinite(score);
    }
};

FaceTracker::FaceTracker(const std::string &modelDir, FaceTrackerOptions options)
    : m_impl(std::make_unique<Impl>()), m_options(options)
{
    m_options.maxFaces = std::clamp(m_options.maxFaces, 1, 16);
    m_options.detectInterval = std::max(1, m_options.detectInterval);
    m_options.maxGap = std::max(1, m_options.maxGap);
    if (!(m_options.fps > 0))
        m_options.fps = 30;
    try {
        m_impl->detector.load(modelDir + "/face_detection_front_128x128.onnx");
        m_impl->loadMesh(modelDir + "/facemesh.onnx");
    } catch (const std::exception &e) {
        m_impl->detector = BlazeFace();
        m_impl->mesh = cv::dnn::Net();
        qWarning().noquote() << QStringLiteral("Velvix: face tracking off: %1 (run scripts/install-deps.sh)")
                                    .arg(QString::fromStdString(e.what()));
        return;
    }
    try {
        m_impl->loadIris(modelDir + "/iris.onnx");
    } catch (const std::exception &e) {
        m_impl->iris = cv::dnn::Net();
        qWarning().noquote() << QStringLiteral("Velvix: iris tracking off: %1 (run scripts/install-deps.sh)")
                                    .arg(QString::fromStdString(e.what()));
    }
}

FaceTracker::~FaceTracker() = default;

bool FaceTracker::isReady() const { return m_impl->detector.isLoaded() && !m_impl->mesh.empty(); }
bool FaceTracker::hasIris() const { return isReady() && !m_impl->iris.empty(); }

void FaceTracker::reset()
{
    m_impl->tracks.clear();
    m_impl->started = false;
}

std::vector<Face> FaceTracker::track(const cv::Mat &image, int64_t frameNo)
{
    m_stats = Stats();
    if (!isReady())
        return {};
    Impl &d = *m_impl;
    const int ch = image.channels();
    if (image.empty() || image.depth() != CV_8U || (ch != 1 && ch != 3 && ch != 4)) {
        if (!d.warnedInput)
            qWarning() << "Velvix: face tracking needs an 8-bit grey, RGB or RGBA picture";
        d.warnedInput = true;
        return {};
    }
    if (d.started && (frameNo <= d.lastFrame || frameNo - d.lastFrame > m_options.maxGap))
        reset();
    const double dt = d.started ? double(frameNo - d.lastFrame) / m_options.fps : 0.0;

    try {
        // 1. Every tracked face follows from its own previous landmarks.
        bool lost = false;
        std::vector<Track> kept;
        for (Track &t : d.tracks) {
            const auto t0 = std::chrono::steady_clock::now();
            std::vector<cv::Point3f> lm;
            float score = 0;
            const bool ok = d.runMesh(image, roiFromLandmarks(t.raw), lm, score);
            m_stats.meshMs += msSince(t0);
            ++m_stats.meshRuns;
            if (!ok || score < m_options.presenceScore) {
                lost = true;
                continue;
            }
            t.raw = std::move(lm);
            t.score = score;
            kept.push_back(std::move(t));
        }
        // Two tracks that slid onto one face: keep the older.
        std::vector<Track> unique;
        for (Track &t : kept) {
            const cv::Rect2f box = boundingBox(t.raw);
            const bool dup = std::any_of(unique.begin(), unique.end(), [&](const Track &u) {
                return intersectionOverUnion(box, boundingBox(u.raw)) > 0.5f;
            });
            if (!dup)
                unique.push_back(std::move(t));
        }
        d.tracks = std::move(unique);

        // 2. The detector: at the start, when a face was lost, and every few
        //    frames while there is room for more faces.
        const bool room = int(d.tracks.size()) < m_options.maxFaces;
        if (!d.started || lost || d.tracks.empty()
            || (room && frameNo - d.lastDetect >= m_options.detectInterval)) {
            const auto t0 = std::chrono::steady_clock::now();
            const std::vector<FaceDetection> found = d.detectFaces(image, m_options.detectScore, !d.started);
            m_stats.detectMs = msSince(t0);
            d.lastDetect = frameNo;
            for (const FaceDetection &det : found) {
                if (int(d.tracks.size()) >= m_options.maxFaces)
                    break;
                const cv::Point2f c(det.box.x + det.box.width / 2, det.box.y + det.box.height / 2);
                const bool known = std::any_of(d.tracks.begin(), d.tracks.end(),
                                               [&](const Track &t) { return boundingBox(t.raw).contains(c); });
                if (known)
                    continue;
                const auto t1 = std::chrono::steady_clock::now();
                Track t;
                float score = 0;
                // The detector's box is coarse: one more pass from the mesh's own
                // landmarks puts the first result where later frames will be.
                bool ok = d.runMesh(image, roiFromDetection(det), t.raw, score) && score >= m_options.presenceScore;
                if (ok)
                    ok = d.runMesh(image, roiFromLandmarks(t.raw), t.raw, score) && score >= m_options.presenceScore;
                m_stats.meshMs += msSince(t1);
                m_stats.meshRuns += 2;
                if (!ok)
                    continue;
                t.id = d.nextId++;
                t.score = score;
                d.tracks.push_back(std::move(t));
            }
        }

        // 3. Irises, from this frame's eye corners.
        if (d.iris.empty() || !m_options.iris) {
            for (Track &t : d.tracks) {
                t.iris.clear();
                t.irisFilters.clear();
            }
        } else {
            const auto t0 = std::chrono::steady_clock::now();
            for (Track &t : d.tracks) {
                t.iris.resize(2 * size_t(Landmark::IrisPoints));
                const auto at = [&t](int i) { return cv::Point2f(t.raw[i].x, t.raw[i].y); };
                d.runIris(image, at(Landmark::RightEyeOuter), at(Landmark::RightEyeInner), false, &t.iris[0]);
                d.runIris(image, at(Landmark::LeftEyeInner), at(Landmark::LeftEyeOuter), true,
                          &t.iris[Landmark::IrisPoints]);
            }
            m_stats.irisMs = msSince(t0);
        }
    } catch (const cv::Exception &e) {
        if (!d.warnedRun)
            qWarning().noquote() << "Velvix: face tracking failed:" << QString::fromStdString(e.err);
        d.warnedRun = true;
        d.tracks.clear();
        return {};
    }
    d.started = true;
    d.lastFrame = frameNo;

    // 4. Smoothing and pose.
    std::vector<Face> faces;
    faces.reserve(d.tracks.size());
    for (Track &t : d.tracks) {
        const bool fresh = t.filters.empty();
        if (fresh)
            t.filters.assign(size_t(Landmark::Count) * 3, OneEuroFilter(m_options.minCutoff, m_options.beta));
        const cv::Rect2f box = boundingBox(t.raw);
        const double width = std::max(1.f, box.width);
        t.smooth.resize(t.raw.size());
        for (size_t i = 0; i < t.raw.size(); ++i) {
            if (!m_options.smooth) {
                t.smooth[i] = t.raw[i];
                continue;
            }
            const double step = fresh ? 0.0 : dt;
            t.smooth[i].x = float(t.filters[3 * i].filter(t.raw[i].x, step, width));
            t.smooth[i].y = float(t.filters[3 * i + 1].filter(t.raw[i].y, step, width));
            t.smooth[i].z = float(t.filters[3 * i + 2].filter(t.raw[i].z, step, width));
        }
        if (t.irisFilters.size() != 2 * t.iris.size() || fresh)
            t.irisFilters.assign(t.iris.size() * 2, OneEuroFilter(m_options.minCutoff, m_options.beta));
        Face f;
        f.iris = t.iris;
        for (size_t i = 0; m_options.smooth && i < f.iris.size(); ++i) {
            const double step = fresh ? 0.0 : dt;
            f.iris[i].x = float(t.irisFilters[2 * i].filter(t.iris[i].x, step, width));
            f.iris[i].y = float(t.irisFilters[2 * i + 1].filter(t.iris[i].y, step, width));
        }
        f.id = t.id;
        f.landmarks = t.smooth;
        f.box = boundingBox(f.landmarks);
        f.score = t.score;
        f.frameNo = frameNo;
        f.pose = estimateHeadPose(f.landmarks, image.size());
        faces.push_back(std::move(f));
    }
    return faces;
}

HeadPose estimateHeadPose(const std::vector<cv::Point3f> &lm, cv::Size imageSize)
{
    HeadPose pose;
    if (lm.size() != size_t(Landmark::Count) || imageSize.empty())
        return pose;
    // A generic adult head in millimetres: x to the subject's left (picture
    // right), y down, z away from the camera; the nose tip is the origin.
    static const std::vector<cv::Point3d> model = {
        {0.0, 0.0, 0.0},        // nose tip
        {0.0, 63.6, 12.5},      // chin
        {-43.3, -32.7, 26.0},   // right eye, outer corner
        {43.3, -32.7, 26.0},    // left eye, outer corner
        {-28.9, 28.9, 24.1},    // right mouth corner
        {28.9, 28.9, 24.1},     // left mouth corner
    };
    const int idx[] = {Landmark::NoseTip, Landmark::Chin, Landmark::RightEyeOuter,
                       Landmark::LeftEyeOuter, Landmark::MouthRight, Landmark::MouthLeft};
    std::vector<cv::Point2d> image;
    for (int i : idx)
        image.emplace_back(lm[i].x, lm[i].y);
    const double f = std::max(imageSize.width, imageSize.height);
    const cv::Matx33d camera(f, 0, imageSize.width / 2.0, 0, f, imageSize.height / 2.0, 0, 0, 1);
    cv::Mat rvec, tvec;
    // Start from a frontal head in front of the camera: keeps the iterative
    // solver out of the mirrored solution behind it.
    const double eyes = cv::norm(image[3] - image[2]);
    if (!(eyes > 1))
        return pose;
    rvec = (cv::Mat_<double>(3, 1) << 0, 0, 0);
    tvec = (cv::Mat_<double>(3, 1) << (image[0].x - camera(0, 2)) * (86.6 * f / eyes) / f,
            (image[0].y - camera(1, 2)) * (86.6 * f / eyes) / f, 86.6 * f / eyes);
    if (!cv::solvePnP(model, image, camera, cv::noArray(), rvec, tvec, true, cv::SOLVEPNP_ITERATIVE))
        return pose;
    cv::Matx33d r;
    cv::Rodrigues(rvec, r);
    pose.rvec = cv::Vec3d(rvec.at<double>(0), rvec.at<double>(1), rvec.at<double>(2));
    pose.tvec = cv::Vec3d(tvec.at<double>(0), tvec.at<double>(1), tvec.at<double>(2));
    // The face looks along -z of its model; in the camera that is -r.col(2).
    const cv::Vec3d fwd(-r(0, 2), -r(1, 2), -r(2, 2));
    constexpr double deg = 180.0 / M_PI;
    pose.yaw = std::atan2(fwd[0], -fwd[2]) * deg;
    pose.pitch = std::atan2(-fwd[1], -fwd[2]) * deg;
    pose.roll = std::atan2(r(1, 0), r(0, 0)) * deg;
    pose.valid = std::isfinite(pose.yaw) && std::isfinite(pose.pitch) && std::isfinite(pose.roll)
                 && pose.tvec[2] > 0;
    return pose;
}

}  // namespace velvix::vision
