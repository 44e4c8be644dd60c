// The device-free parts of the V4L2 back end and of the frame layout:
// code mapping, type enumeration over a scripted ioctl, rate and size
// arithmetic, sysfs ids from a fake tree, and row unpadding.

#include "CameraFrameSurface.h"
#include "FrameLayout.h"
#include "PixelFourcc.h"
#include "platform/v4l2/V4l2Enumerate.h"
#include "platform/v4l2/V4l2Platform.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

// A scripted driver: formats with their size and interval answers.
struct ScriptedDriver
{
    struct Format
    {
        uint32_t code;
        std::vector<v4l2_frmsizeenum> sizes; // empty: ENUM_FRAMESIZES unsupported
        std::map<std::pair<uint32_t, uint32_t>, std::vector<v4l2_frmivalenum>> intervals;
    };
    std::vector<Format> formats;
    v4l2_pix_format current{};
    v4l2_fract currentInterval{0, 0};

    int operator()(unsigned long request, void *arg) const
    {
        switch (request) {
        case VIDIOC_ENUM_FMT: {
            auto *d = static_cast<v4l2_fmtdesc *>(arg);
            if (d->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || d->index >= formats.size())
                return EINVAL;
            d->pixelformat = formats[d->index].code;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto *s = static_cast<v4l2_frmsizeenum *>(arg);
            for (const Format &f : formats) {
                if (f.code != s->pixel_format)
                    continue;
                if (s->index >= f.sizes.size())
                    return EINVAL;
                const uint32_t index = s->index;
                *s = f.sizes[index];
                s->index = index;
                return 0;
            }
            return EINVAL;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto *i = static_cast<v4l2_frmivalenum *>(arg);
            for (const Format &f : formats) {
                if (f.code != i->pixel_format)
                    continue;
                const auto it = f.intervals.find({i->width, i->height});
                if (it == f.intervals.end() || i->index >= it->second.size())
                    return EINVAL;
                const v4l2_frmivalenum answer = it->second[i->index];
                i->type = answer.type;
                i->stepwise = answer.stepwise; // the union covers discrete too
                return 0;
            }
            return EINVAL;
        }
        case VIDIOC_G_FMT:
            static_cast<v4l2_format *>(arg)->fmt.pix = current;
            return 0;
        case VIDIOC_G_PARM:
            static_cast<v4l2_streamparm *>(arg)->parm.capture.timeperframe = currentInterval;
            return currentInterval.denominator ? 0 : EINVAL;
        default:
            return ENOTTY;
        }
    }
};

v4l2_frmsizeenum discreteSize(uint32_t w, uint32_t h)
{
    v4l2_frmsizeenum s;
    std::memset(&s, 0, sizeof s);
    s.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    s.discrete = {w, h};
    return s;
}

v4l2_frmivalenum discreteInterval(uint32_t n, uint32_t d)
{
    v4l2_frmivalenum i;
    std::memset(&i, 0, sizeof i);
    i.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    i.discrete = {n, d};
    return i;
}

QString typeText(const CameraMediaType &t)
{
    return QString("%1 %2x%3 %4/%5")
        .arg(fourccToString(t.subtype))
        .arg(t.width)
        .arg(t.height)
        .arg(t.rateNumerator)
        .arg(t.rateDenominator);
}

void writeFile(const std::filesystem::path &p, const std::string &text)
{
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

} // namespace

class TestV4l2Layer : public QObject
{
    Q_OBJECT
private slots:
    void fourccMapping()
    {
        QCOMPARE(pixelFormatFromFourcc(fourcc::NV12), QVideoFrame::Format_NV12);
        QCOMPARE(pixelFormatFromFourcc(fourcc::YUYV), QVideoFrame::Format_YUYV);
        QCOMPARE(pixelFormatFromFourcc(fourcc::YU12), QVideoFrame::Format_YUV420P);
        QCOMPARE(pixelFormatFromFourcc(fourcc::YV12), QVideoFrame::Format_YV12);
        QCOMPARE(pixelFormatFromFourcc(fourcc::UYVY), QVideoFrame::Format_UYVY);
        QCOMPARE(pixelFormatFromFourcc(fourcc::XR24), QVideoFrame::Format_RGB32);
        QCOMPARE(pixelFormatFromFourcc(fourcc::BGR4), QVideoFrame::Format_RGB32);
        QCOMPARE(pixelFormatFromFourcc(fourcc::AR24), QVideoFrame::Format_ARGB32);
        QCOMPARE(pixelFormatFromFourcc(fourcc::RGB3), QVideoFrame::Format_RGB24);
        QCOMPARE(pixelFormatFromFourcc(fourcc::MJPG), QVideoFrame::Format_Invalid);
        QCOMPARE(pixelFormatFromFourcc(makeFourcc('H', '2', '6', '4')), QVideoFrame::Format_Invalid);
        // The codes agree with the kernel's.
        QCOMPARE(fourcc::NV12, uint32_t(V4L2_PIX_FMT_NV12));
        QCOMPARE(fourcc::YUYV, uint32_t(V4L2_PIX_FMT_YUYV));
        QCOMPARE(fourcc::YU12, uint32_t(V4L2_PIX_FMT_YUV420));
        QCOMPARE(fourcc::XR24, uint32_t(V4L2_PIX_FMT_XBGR32));
        QCOMPARE(fourcc::AR24, uint32_t(V4L2_PIX_FMT_ABGR32));
        QCOMPARE(fourcc::RGB3, uint32_t(V4L2_PIX_FMT_RGB24));
        QCOMPARE(fourcc::MJPG, uint32_t(V4L2_PIX_FMT_MJPEG));
        // Every mapped format asks for a code that maps back to it.
        for (auto f : {QVideoFrame::Format_NV12, QVideoFrame::Format_YUYV, QVideoFrame::Format_YUV420P,
                       QVideoFrame::Format_YV12, QVideoFrame::Format_UYVY, QVideoFrame::Format_RGB32,
                       QVideoFrame::Format_ARGB32, QVideoFrame::Format_RGB24})
            QCOMPARE(pixelFormatFromFourcc(fourccFromPixelFormat(f)), f);
        QCOMPARE(fourccFromPixelFormat(QVideoFrame::Format_Jpeg), 0u);
        QCOMPARE(QString(fourccLogName(fourcc::YUYV)), QString("YUY2"));
        QCOMPARE(QString(fourccLogName(fourcc::YU12)), QString("I420"));
        QCOMPARE(QString(fourccLogName(fourcc::MJPG)), QString("Unknown"));
        QCOMPARE(fourccToString(fourcc::MJPG), QString("MJPG"));
    }

    void ratesFromIntervals()
    {
        uint32_t n = 0, d = 0;
        rateFromInterval(1, 30, &n, &d);
        QCOMPARE(QPoint(int(n), int(d)), QPoint(30, 1));
        rateFromInterval(2, 15, &n, &d); // 7.5 fps
        QCOMPARE(QPoint(int(n), int(d)), QPoint(15, 2));
        rateFromInterval(100, 3000, &n, &d);
        QCOMPARE(QPoint(int(n), int(d)), QPoint(30, 1));
        rateFromInterval(0, 30, &n, &d);
        QCOMPARE(QPoint(int(n), int(d)), QPoint(0, 0));

        const auto rates = commonRatesWithin({1, 30}, {1, 15});
        QCOMPARE(rates, (std::vector<uint32_t>{30, 25, 24, 20, 15}));
        QCOMPARE(commonRatesWithin({1, 60}, {1, 5}).size(), size_t(9));
        QVERIFY(commonRatesWithin({0, 0}, {1, 5}).empty());
    }

    void stepwiseSizes()
    {
        v4l2_frmsize_stepwise range{320, 1920, 16, 240, 1080, 8};
        auto sizes = commonSizesWithin(range);
        QVERIFY(std::find(sizes.begin(), sizes.end(), std::make_pair(1920u, 1080u)) != sizes.end());
        QVERIFY(std::find(sizes.begin(), sizes.end(), std::make_pair(1280u, 720u)) != sizes.end());
        QVERIFY(std::find(sizes.begin(), sizes.end(), std::make_pair(320u, 240u)) != sizes.end());
        QVERIFY(std::find(sizes.begin(), sizes.end(), std::make_pair(3840u, 2160u)) == sizes.end());
        // A coarse step admits only the sizes on its grid.
        range = {640, 1920, 640, 480, 1080, 600};
        sizes = commonSizesWithin(range);
        QCOMPARE(sizes, (std::vector<std::pair<uint32_t, uint32_t>>{{1920, 1080}, {640, 480}}));
        // A range with no common size offers its maximum.
        range = {100, 110, 1, 100, 110, 1};
        QCOMPARE(commonSizesWithin(range), (std::vector<std::pair<uint32_t, uint32_t>>{{110, 110}}));
    }

    void mediaTypeEnumeration()
    {
        ScriptedDriver drv;
        ScriptedDriver::Format yuyv{fourcc::YUYV, {discreteSize(640, 480), discreteSize(1280, 720)}, {}};
        yuyv.intervals[{640, 480}] = {discreteInterval(1, 30), discreteInterval(1, 15), discreteInterval(2, 15)};
        yuyv.intervals[{1280, 720}] = {discreteInterval(1, 10)};
        v4l2_frmsizeenum step;
        std::memset(&step, 0, sizeof step);
        step.type = V4L2_FRMSIZE_TYPE_STEPWISE;
        step.stepwise = {640, 1280, 640, 480, 720, 240};
        ScriptedDriver::Format mjpg{fourcc::MJPG, {step}, {}};
        v4l2_frmivalenum cont;
        std::memset(&cont, 0, sizeof cont);
        cont.type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
        cont.stepwise = {{1, 30}, {1, 20}, {1, 1}};
        mjpg.intervals[{1280, 720}] = {cont};
        mjpg.intervals[{640, 480}] = {cont};
        // A driver without size or interval enumeration.
        ScriptedDriver::Format nv12{fourcc::NV12, {}, {}};
        drv.formats = {yuyv, mjpg, nv12};
        drv.current.width = 800;
        drv.current.height = 600;
        drv.currentInterval = {1, 25};

        QStringList got;
        for (const CameraMediaType &t : enumerateV4l2MediaTypes(std::cref(drv)))
            got << typeText(t);
        QCOMPARE(got, (QStringList{"YUYV 640x480 30/1", "YUYV 640x480 15/1", "YUYV 640x480 15/2",
                                   "YUYV 1280x720 10/1", "MJPG 1280x720 30/1", "MJPG 1280x720 25/1",
                                   "MJPG 1280x720 24/1", "MJPG 1280x720 20/1", "MJPG 640x480 30/1",
                                   "MJPG 640x480 25/1", "MJPG 640x480 24/1", "MJPG 640x480 20/1",
                                   "NV12 800x600 25/1"}));

        drv.currentInterval = {0, 0}; // rate unknown as well
        const auto types = enumerateV4l2MediaTypes(std::cref(drv));
        QCOMPARE(typeText(types.back()), QString("NV12 800x600 0/0"));

        ScriptedDriver empty;
        QVERIFY(enumerateV4l2MediaTypes(std::cref(empty)).empty());
    }

    void captureNodeFilter()
    {
        v4l2_capability cap;
        std::memset(&cap, 0, sizeof cap);
        cap.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
        cap.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        QVERIFY(isUsableCaptureDevice(cap));
        cap.device_caps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING; // the webcam's metadata node
        QVERIFY(!isUsableCaptureDevice(cap));
        cap.device_caps = V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING; // a codec
        QVERIFY(!isUsableCaptureDevice(cap));
        cap.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE; // no streaming I/O
        QVERIFY(!isUsableCaptureDevice(cap));
        cap.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING; // old driver: no device caps
        cap.device_caps = 0;
        QVERIFY(isUsableCaptureDevice(cap));
    }

    void sysfsUsbIds()
    {
        namespace fs = std::filesystem;
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const fs::path root = tmp.path().toStdString();
        const fs::path usbDevice = root / "devices/pci0000:00/usb1/1-1";
        writeFile(usbDevice / "idVendor", "046D\n");
        writeFile(usbDevice / "idProduct", "082d\n");
        fs::create_directories(usbDevice / "1-1:1.0");
        const fs::path classDir = root / "class/video4linux";
        fs::create_directories(classDir / "video0");
        fs::create_symlink(usbDevice / "1-1:1.0", classDir / "video0/device");
        // A platform (non-USB) device and a node without a device link.
        fs::create_directories(root / "devices/platform/vivid.0");
        fs::create_directories(classDir / "video1");
        fs::create_symlink(root / "devices/platform/vivid.0", classDir / "video1/device");
        fs::create_directories(classDir / "video2");

        std::string vid, pid;
        QVERIFY(readUsbIds(classDir.string(), "video0", &vid, &pid));
        QCOMPARE(QString::fromStdString(vid), QString("046d"));
        QCOMPARE(QString::fromStdString(pid), QString("082d"));
        QVERIFY(!readUsbIds(classDir.string(), "video1", &vid, &pid));
        QVERIFY(!readUsbIds(classDir.string(), "video2", &vid, &pid));
        QVERIFY(!readUsbIds(classDir.string(), "video9", &vid, &pid));

        const std::wstring link = v4l2SymbolicLink("/dev/video0", "046d", "082d");
        QVERIFY(link == L"v4l2:/dev/video0#vid_046d&pid_082d");
        QCOMPARE(QString::fromStdString(v4l2DevicePathFromLink(link)), QString("/dev/video0"));
        QVERIFY(v4l2SymbolicLink("/dev/video3", "", "") == L"v4l2:/dev/video3");
        QCOMPARE(QString::fromStdString(v4l2DevicePathFromLink(L"virtual:camera#vid_0000&pid_0000")), QString());
    }

    void videoNodesInNumericOrder()
    {
        QTemporaryDir tmp;
        // A number too long for any node (a stray file) is not a node and must not throw.
        for (const char *name : {"video10", "video2", "video0", "videox", "vbi0", "video", "video99999999999999999999"})
            std::ofstream((tmp.path() + "/" + name).toStdString()) << "";
        QStringList got;
        for (const std::string &p : listVideoNodes(tmp.path().toStdString()))
            got << QString::fromStdString(std::filesystem::path(p).filename().string());
        QCOMPARE(got, (QStringList{"video0", "video2", "video10"}));
    }

    void platformWithoutDevices()
    {
        QTemporaryDir tmp;
        V4l2Platform platform(tmp.path().toStdString(), tmp.path().toStdString());
        std::vector<CameraDeviceInfo> devices;
        QCOMPARE(platform.enumerateDevices(&devices), S_OK);
        QVERIFY(devices.empty());
        std::shared_ptr<CameraSource> source;
        QCOMPARE(platform.createSource(L"fake:0", &source), hresultFromErrno(ENODEV));
        // Not a video device: the capability query fails.
        QVERIFY(hrFailed(platform.createSource(L"v4l2:/dev/null", &source)));
        QCOMPARE(platform.createSource(L"v4l2:/nonexistent/video0", &source), hresultFromErrno(ENOENT));
        QVERIFY(!source);
    }

    void packedSizes()
    {
        QCOMPARE(packedFrameSize(QVideoFrame::Format_NV12, 1280, 720), size_t(1280 * 720 * 3 / 2));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_YUV420P, 640, 480), size_t(640 * 480 * 3 / 2));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_YUYV, 640, 480), size_t(640 * 480 * 2));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_RGB32, 10, 10), size_t(400));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_RGB24, 10, 10), size_t(300));
        // Odd sizes round the chroma up.
        QCOMPARE(packedFrameSize(QVideoFrame::Format_NV12, 5, 3), size_t(15 + 6 * 2));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_YV12, 5, 3), size_t(15 + 2 * 3 * 2));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_Invalid, 640, 480), size_t(0));
        QCOMPARE(packedFrameSize(QVideoFrame::Format_NV12, 0, 480), size_t(0));
    }

    void rowUnpadding()
    {
        // I420 6x4 with 8 bytes per luma row (4 per chroma row).
        const int w = 6, h = 4;
        const size_t bpl = 8;
        std::vector<unsigned char> src(bpl * h + 2 * (bpl / 2) * (h / 2), 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                src[y * bpl + x] = static_cast<unsigned char>(10 * y + x);
        unsigned char *u = src.data() + bpl * h;
        unsigned char *v = u + (bpl / 2) * (h / 2);
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                u[y * 4 + x] = static_cast<unsigned char>(100 + 10 * y + x);
                v[y * 4 + x] = static_cast<unsigned char>(200 + 10 * y + x);
            }
        const auto planes = planesOfContiguousBuffer(QVideoFrame::Format_YUV420P, w, h, bpl, src.data(), src.size());
        QCOMPARE(planes.size(), size_t(3));
        std::vector<unsigned char> out(packedFrameSize(QVideoFrame::Format_YUV420P, w, h), 0);
        QVERIFY(copyPlanesPacked(QVideoFrame::Format_YUV420P, w, h, planes, out.data()));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                QCOMPARE(int(out[y * w + x]), 10 * y + x);
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                QCOMPARE(int(out[w * h + y * 3 + x]), 100 + 10 * y + x);
                QCOMPARE(int(out[w * h + 6 + y * 3 + x]), 200 + 10 * y + x);
            }
        QVERIFY(std::find(out.begin(), out.end(), 0xEE) == out.end());

        // The last row needs no padding; a buffer shorter than that is
        // refused, not over-read.
        QCOMPARE(planesOfContiguousBuffer(QVideoFrame::Format_YUV420P, w, h, bpl, src.data(), src.size() - 1).size(), size_t(3));
        QVERIFY(planesOfContiguousBuffer(QVideoFrame::Format_YUV420P, w, h, bpl, src.data(), src.size() - 2).empty());
        QVERIFY(planesOfContiguousBuffer(QVideoFrame::Format_Jpeg, w, h, bpl, src.data(), src.size()).empty());
        QVERIFY(!copyPlanesPacked(QVideoFrame::Format_NV12, w, h, planes, out.data()));
    }

    void toolkitFramesArePacked()
    {
        // A mapped NV12 frame whose rows carry 16 bytes of padding.
        const int w = 32, h = 8, bpl = 48;
        QVideoFrame frame(bpl * h * 3 / 2, QSize(w, h), bpl, QVideoFrame::Format_NV12);
        QVERIFY(frame.map(QAbstractVideoBuffer::WriteOnly));
        for (int i = 0; i < bpl * h * 3 / 2; ++i)
            frame.bits()[i] = static_cast<uchar>((i % bpl) < w ? (i / bpl) : 0xEE);
        frame.unmap();
        const QSharedPointer<uchar> packed = CameraFrameSurface::packFrame(frame);
        QVERIFY(packed);
        for (int row = 0; row < h + h / 2; ++row)
            for (int x : {0, w - 1})
                QCOMPARE(int(packed.data()[row * w + x]), row);

        // RGB32 with padding.
        QVideoFrame rgb(16 * 2, QSize(3, 2), 16, QVideoFrame::Format_RGB32);
        QVERIFY(rgb.map(QAbstractVideoBuffer::WriteOnly));
        std::memset(rgb.bits(), 0xEE, 32);
        std::memset(rgb.bits(), 1, 12);
        std::memset(rgb.bits() + 16, 2, 12);
        rgb.unmap();
        const QSharedPointer<uchar> p = CameraFrameSurface::packFrame(rgb);
        QVERIFY(p);
        for (int i = 0; i < 24; ++i)
            QCOMPARE(int(p.data()[i]), i < 12 ? 1 : 2);

        CameraFrameSurface surface;
        QSignalSpy spy(&surface, &CameraFrameSurface::signalCameraFrameAvailable);
        QVERIFY(surface.present(frame));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1).toInt(), w);
        QVERIFY(surface.present(QVideoFrame(100, QSize(10, 10), 10, QVideoFrame::Format_Jpeg)));
        QCOMPARE(spy.count(), 1); // not a layout the road carries
    }
};

QTEST_GUILESS_MAIN(TestV4l2Layer)
#include "tst_v4l2layer.moc"
