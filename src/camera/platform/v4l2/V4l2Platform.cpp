#include "V4l2Platform.h"

#include "PixelFourcc.h"
#include "V4l2Enumerate.h"

#include <QDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr uint32_t kBufferCount = 4;

int xioctl(int fd, unsigned long request, void *arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r == -1 ? errno : 0;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Everything one open node needs; shared by the source, its readers and the
// samples in flight so none of them outlives the descriptors it uses.
struct V4l2Device
{
    std::string path;
    int fd = -1;
    int wakeFd = -1; // eventfd written by flush()

    struct Mapping
    {
        void *start = MAP_FAILED;
        size_t length = 0;
    };
    std::vector<Mapping> buffers;
    bool streaming = false;
    uint32_t width = 0, height = 0, bytesPerLine = 0, pixelFormat = 0;

    bool typesLoaded = false;
    std::vector<CameraMediaType> nativeTypes;

    ~V4l2Device()
    {
        close();
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void stopStreaming()
    {
        if (fd < 0)
            return;
        if (streaming) {
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            xioctl(fd, VIDIOC_STREAMOFF, &type);
            streaming = false;
        }
        for (Mapping &m : buffers) {
            if (m.start != MAP_FAILED)
                ::munmap(m.start, m.length);
        }
        if (!buffers.empty()) {
            v4l2_requestbuffers req;
            std::memset(&req, 0, sizeof req);
            req.count = 0;
            req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            req.memory = V4L2_MEMORY_MMAP;
            xioctl(fd, VIDIOC_REQBUFS, &req);
        }
        buffers.clear();
    }

    void close()
    {
        stopStreaming();
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

    int queueBuffer(uint32_t index)
    {
        v4l2_buffer buf;
        std::memset(&buf, 0, sizeof buf);
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = index;
        return xioctl(fd, VIDIOC_QBUF, &buf);
    }

    int startStreaming()
    {
        if (fd < 0)
            return EBADF;
        v4l2_format fmt;
        std::memset(&fmt, 0, sizeof fmt);
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (int e = xioctl(fd, VIDIOC_G_FMT, &fmt))
            return e;
        width = fmt.fmt.pix.width;
        height = fmt.fmt.pix.height;
        bytesPerLine = fmt.fmt.pix.bytesperline;
        pixelFormat = fmt.fmt.pix.pixelformat;

        v4l2_requestbuffers req;
        std::memset(&req, 0, sizeof req);
        req.count = kBufferCount;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (int e = xioctl(fd, VIDIOC_REQBUFS, &req))
            return e;
        if (req.count == 0)
            return ENOMEM;
        buffers.assign(req.count, Mapping());
        for (uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer buf;
            std::memset(&buf, 0, sizeof buf);
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            int e = xioctl(fd, VIDIOC_QUERYBUF, &buf);
            if (e == 0) {
                void *p = ::mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buf.m.offset);
                if (p == MAP_FAILED)
                    e = errno;
                else
                    buffers[i] = {p, buf.length};
            }
            if (e == 0)
                e = queueBuffer(i);
            if (e != 0) {
                stopStreaming();
                return e;
            }
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (int e = xioctl(fd, VIDIOC_STREAMON, &type)) {
            stopStreaming();
            return e;
        }
        streaming = true;
        return 0;
    }
};

class V4l2Sample final : public CameraSample
{
public:
    V4l2Sample(std::shared_ptr<V4l2Device> device, uint32_t index, size_t bytesUsed)
        : m_device(std::move(device)), m_index(index), m_bytesUsed(bytesUsed)
    {
    }
    ~V4l2Sample() override
    {
        // Hand the buffer back to the driver unless streaming was torn down.
        if (m_device->streaming && m_index < m_device->buffers.size())
            m_device->queueBuffer(m_index);
    }
    int bufferCount() const override { return 1; }
    HRESULT lockBuffer(int index, CameraBufferView *view) override
    {
        if (index != 0 || m_index >= m_device->buffers.size())
            return E_FAIL;
        const auto &m = m_device->buffers[m_index];
        view->data = static_cast<const unsigned char *>(m.start);
        view->length = std::min(m_bytesUsed, m.length);
        view->bytesPerLine = m_device->bytesPerLine;
        return S_OK;
    }
    HRESULT unlockBuffer(int index) override { return index == 0 ? S_OK : E_FAIL; }

private:
    std::shared_ptr<V4l2Device> m_device;
    uint32_t m_index;
    size_t m_bytesUsed;
};

class V4l2Reader final : public CameraReader
{
public:
    explicit V4l2Reader(std::shared_ptr<V4l2Device> device) : m_device(std::move(device)) {}

    HRESULT nativeMediaType(uint32_t index, CameraMediaType *type) override
    {
        if (m_device->fd < 0)
            return hresultFromErrno(EBADF);
        if (!m_device->typesLoaded) {
            const int fd = m_device->fd;
            m_device->nativeTypes = enumerateV4l2MediaTypes([fd](unsigned long req, void *arg) { return xioctl(fd, req, arg); });
            m_device->typesLoaded = true;
        }
        if (index >= m_device->nativeTypes.size())
            return MF_E_NO_MORE_TYPES;
        *type = m_device->nativeTypes[index];
        return S_OK;
    }

    HRESULT setCurrentMediaType(const CameraMediaType &type) override
    {
        V4l2Device &d = *m_device;
        if (d.fd < 0)
            return hresultFromErrno(EBADF);
        if (type.subtype == 0)
            return hresultFromErrno(EINVAL);
        d.stopStreaming(); // S_FMT is refused while buffers exist
        v4l2_format fmt;
        std::memset(&fmt, 0, sizeof fmt);
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.width = type.width;
        fmt.fmt.pix.height = type.height;
        fmt.fmt.pix.pixelformat = type.subtype;
        fmt.fmt.pix.field = V4L2_FIELD_ANY;
        int e = xioctl(d.fd, VIDIOC_S_FMT, &fmt);
        // RGB32 is listed under two codes; try the other before giving up.
        if (e == 0 && fmt.fmt.pix.pixelformat != type.subtype && type.subtype == fourcc::XR24) {
            fmt.fmt.pix.width = type.width;
            fmt.fmt.pix.height = type.height;
            fmt.fmt.pix.pixelformat = fourcc::BGR4;
            e = xioctl(d.fd, VIDIOC_S_FMT, &fmt);
        }
        if (e != 0) {
            qDebug() << "V4L2: VIDIOC_S_FMT failed on" << d.path.c_str() << ":" << errorText(e);
            return hresultFromErrno(e);
        }
        if (pixelFormatFromFourcc(fmt.fmt.pix.pixelformat) != pixelFormatFromFourcc(type.subtype)) {
            qDebug() << "V4L2: driver refused pixel format" << fourccToString(type.subtype) << "on"
                     << d.path.c_str() << ", offers" << fourccToString(fmt.fmt.pix.pixelformat);
            return hresultFromErrno(EINVAL);
        }
        if (type.rateNumerator > 0 && type.rateDenominator > 0) {
            v4l2_streamparm parm;
            std::memset(&parm, 0, sizeof parm);
            parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (xioctl(d.fd, VIDIOC_G_PARM, &parm) == 0 && (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
                parm.parm.capture.timeperframe.numerator = type.rateDenominator;
                parm.parm.capture.timeperframe.denominator = type.rateNumerator;
                if (int pe = xioctl(d.fd, VIDIOC_S_PARM, &parm))
                    qDebug() << "V4L2: VIDIOC_S_PARM failed on" << d.path.c_str() << ":" << errorText(pe);
            }
        }
        return S_OK;
    }

    HRESULT currentMediaType(CameraMediaType *type) override
    {
        V4l2Device &d = *m_device;
        if (d.fd < 0)
            return hresultFromErrno(EBADF);
        v4l2_format fmt;
        std::memset(&fmt, 0, sizeof fmt);
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (int e = xioctl(d.fd, VIDIOC_G_FMT, &fmt))
            return hresultFromErrno(e);
        type->subtype = fmt.fmt.pix.pixelformat;
        type->width = fmt.fmt.pix.width;
        type->height = fmt.fmt.pix.height;
        type->rateNumerator = 0;
        type->rateDenominator = 0;
        v4l2_streamparm parm;
        std::memset(&parm, 0, sizeof parm);
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(d.fd, VIDIOC_G_PARM, &parm) == 0)
            rateFromInterval(parm.parm.capture.timeperframe.numerator, parm.parm.capture.timeperframe.denominator,
                             &type->rateNumerator, &type->rateDenominator);
        return S_OK;
    }

    HRESULT readSample(std::unique_ptr<CameraSample> *sample) override
    {
        sample->reset();
        V4l2Device &d = *m_device;
        if (d.fd < 0)
            return hresultFromErrno(EBADF);
        if (!d.streaming) {
            if (int e = d.startStreaming()) {
                qDebug() << "V4L2: starting the stream failed on" << d.path.c_str() << ":" << errorText(e);
                return hresultFromErrno(e);
            }
        }
        for (;;) {
            pollfd fds[2] = {{d.fd, POLLIN, 0}, {d.wakeFd, POLLIN, 0}};
            const int n = ::poll(fds, 2, -1);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return hresultFromErrno(errno);
            }
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                ssize_t got = ::read(d.wakeFd, &count, sizeof count);
                (void)got;
                return S_OK; // flushed: no sample
            }
            if (!(fds[0].revents & (POLLIN | POLLERR | POLLHUP)))
                continue;
            v4l2_buffer buf;
            std::memset(&buf, 0, sizeof buf);
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            const int e = xioctl(d.fd, VIDIOC_DQBUF, &buf);
            if (e == EAGAIN) {
                if (fds[0].revents & (POLLERR | POLLHUP))
                    return hresultFromErrno(EIO); // an error state with nothing to dequeue
                continue;
            }
            if (e != 0) {
                qDebug() << "V4L2: VIDIOC_DQBUF failed on" << d.path.c_str() << ":" << errorText(e);
                return hresultFromErrno(e);
            }
            if (buf.flags & V4L2_BUF_FLAG_ERROR) {
                // A corrupted frame: give the buffer back and report no sample.
                d.queueBuffer(buf.index);
                return S_OK;
            }
            *sample = std::make_unique<V4l2Sample>(m_device, buf.index, buf.bytesused);
            return S_OK;
        }
    }

    HRESULT flush() override
    {
        const uint64_t one = 1;
        if (m_device->wakeFd < 0)
            return E_FAIL;
        return ::write(m_device->wakeFd, &one, sizeof one) == sizeof one ? S_OK : hresultFromErrno(errno);
    }

private:
    std::shared_ptr<V4l2Device> m_device;
};

class V4l2Source final : public CameraSource
{
public:
    explicit V4l2Source(std::shared_ptr<V4l2Device> device) : m_device(std::move(device)) {}
    HRESULT createReader(std::shared_ptr<CameraReader> *reader) override
    {
        if (m_device->fd < 0)
            return hresultFromErrno(EBADF);
        *reader = std::make_shared<V4l2Reader>(m_device);
        return S_OK;
    }
    void shutdown() override { m_device->close(); }

private:
    std::shared_ptr<V4l2Device> m_device;
};

std::wstring toWide(const std::string &s)
{
    return QString::fromUtf8(s.c_str()).toStdWString();
}

} // namespace

V4l2Platform::V4l2Platform(std::string devDir, std::string sysfsClassDir)
    : m_devDir(std::move(devDir)), m_sysfsClassDir(std::move(sysfsClassDir))
{
}

HRESULT V4l2Platform::enumerateDevices(std::vector<CameraDeviceInfo> *devices)
{
    devices->clear();
    for (const std::string &path : listVideoNodes(m_devDir)) {
        const std::string node = std::filesystem::path(path).filename().string();
        std::string name;
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            v4l2_capability cap;
            std::memset(&cap, 0, sizeof cap);
            const int e = xioctl(fd, VIDIOC_QUERYCAP, &cap);
            ::close(fd);
            if (e != 0 || !isUsableCaptureDevice(cap))
                continue;
            name.assign(reinterpret_cast<const char *>(cap.card), strnlen(reinterpret_cast<const char *>(cap.card), sizeof cap.card));
        } else {
            // Unreadable nodes (no permission) stay listed under their sysfs
            // name, so the access probe can tell "refused" from "absent".
            if (errno != EACCES && errno != EPERM && errno != EBUSY)
                continue;
            std::ifstream in(std::filesystem::path(m_sysfsClassDir) / node / "name");
            std::getline(in, name);
            if (std::filesystem::exists(std::filesystem::path(m_sysfsClassDir) / node / "index")) {
                std::ifstream idx(std::filesystem::path(m_sysfsClassDir) / node / "index");
                int index = 0;
                if (idx >> index && index != 0)
                    continue; // secondary node of a device (usually its metadata node)
            }
        }
        if (name.empty())
            name = node;
        std::string vid, pid;
        readUsbIds(m_sysfsClassDir, node, &vid, &pid);
        devices->push_back({toWide(name), v4l2SymbolicLink(path, vid, pid)});
    }
    return S_OK;
}

HRESULT V4l2Platform::createSource(const std::wstring &symbolicLink, std::shared_ptr<CameraSource> *source)
{
    const std::string path = v4l2DevicePathFromLink(symbolicLink);
    if (path.empty())
        return hresultFromErrno(ENODEV);
    auto device = std::make_shared<V4l2Device>();
    device->path = path;
    device->fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0) {
        const int e = errno;
        qDebug() << "V4L2: cannot open" << path.c_str() << ":" << errorText(e);
        return hresultFromErrno(e);
    }
    v4l2_capability cap;
    std::memset(&cap, 0, sizeof cap);
    if (int e = xioctl(device->fd, VIDIOC_QUERYCAP, &cap)) {
        qDebug() << "V4L2: VIDIOC_QUERYCAP failed on" << path.c_str() << ":" << errorText(e);
        return hresultFromErrno(e);
    }
    if (!isUsableCaptureDevice(cap)) {
        qDebug() << "V4L2:" << path.c_str() << "is not a streaming video capture device";
        return hresultFromErrno(ENODEV);
    }
    device->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (device->wakeFd < 0)
        return hresultFromErrno(errno);
    *source = std::make_shared<V4l2Source>(device);
    return S_OK;
}
