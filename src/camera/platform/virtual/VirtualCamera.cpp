#include "VirtualCamera.h"

#include "FrameLayout.h"
#include "PixelFourcc.h"

#include <QDebug>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

const char kEnvName[] = "EFFECTDEMO_VIRTUAL_CAMERA";
const wchar_t kLink[] = L"virtual:camera#vid_0000&pid_0000";
const uint32_t kSubtypes[] = {fourcc::NV12, fourcc::YUYV, fourcc::YU12};
const uint32_t kSizes[][2] = {{640, 480}, {1280, 720}, {1920, 1080}};
const uint32_t kRates[] = {30, 15, 10};
constexpr int kCounterBits = 16;
constexpr int kCounterBlock = 16;
// How far the stream may fall behind its clock before ticks are skipped
// rather than delivered late: absorbs short stalls of a loaded machine
// without building up latency behind a slow consumer.
constexpr auto kCatchUpLimit = std::chrono::milliseconds(150);

struct Yuv
{
    uint8_t y, u, v;
};

Yuv rgbToYuv(int r, int g, int b)
{
    // BT.601, limited range: what webcams deliver.
    const int y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    const int u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    const int v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
    return {static_cast<uint8_t>(std::clamp(y, 0, 255)), static_cast<uint8_t>(std::clamp(u, 0, 255)),
            static_cast<uint8_t>(std::clamp(v, 0, 255))};
}

// A full-resolution YUV 4:4:4 picture, packed into the stream's layout.
struct Yuv444
{
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;
    void resize(int w, int h)
    {
        width = w;
        height = h;
        y.assign(static_cast<size_t>(w) * h, 16);
        u.assign(static_cast<size_t>(w) * h, 128);
        v.assign(static_cast<size_t>(w) * h, 128);
    }
    void set(int x, int yy, Yuv c)
    {
        const size_t i = static_cast<size_t>(yy) * width + x;
        y[i] = c.y;
        u[i] = c.u;
        v[i] = c.v;
    }
};

void packInto(const Yuv444 &src, QVideoFrame::PixelFormat format, std::vector<uint8_t> &dst)
{
    const int w = src.width, h = src.height;
    dst.assign(packedFrameSize(format, w, h), 0);
    uint8_t *out = dst.data();
    auto chroma = [&](const std::vector<uint8_t> &plane, int cx, int cy) {
        // Average of the 2x2 block (edges clamp).
        const int x0 = cx * 2, y0 = cy * 2;
        const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
        const int sum = plane[static_cast<size_t>(y0) * w + x0] + plane[static_cast<size_t>(y0) * w + x1]
            + plane[static_cast<size_t>(y1) * w + x0] + plane[static_cast<size_t>(y1) * w + x1];
        return static_cast<uint8_t>((sum + 2) / 4);
    };
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (format == QVideoFrame::Format_NV12 || format == QVideoFrame::Format_YUV420P) {
        std::memcpy(out, src.y.data(), src.y.size());
        uint8_t *c = out + src.y.size();
        if (format == QVideoFrame::Format_NV12) {
            for (int cy = 0; cy < ch; ++cy)
                for (int cx = 0; cx < cw; ++cx) {
                    *c++ = chroma(src.u, cx, cy);
                    *c++ = chroma(src.v, cx, cy);
                }
        } else {
            uint8_t *cv = c + static_cast<size_t>(cw) * ch;
            for (int cy = 0; cy < ch; ++cy)
                for (int cx = 0; cx < cw; ++cx) {
                    *c++ = chroma(src.u, cx, cy);
                    *cv++ = chroma(src.v, cx, cy);
                }
        }
        return;
    }
    // YUYV: Y0 U Y1 V, chroma averaged horizontally.
    for (int yy = 0; yy < h; ++yy) {
        for (int cx = 0; cx < cw; ++cx) {
            const size_t i0 = static_cast<size_t>(yy) * w + cx * 2;
            const size_t i1 = static_cast<size_t>(yy) * w + std::min(cx * 2 + 1, w - 1);
            *out++ = src.y[i0];
            *out++ = static_cast<uint8_t>((src.u[i0] + src.u[i1] + 1) / 2);
            *out++ = src.y[i1];
            *out++ = static_cast<uint8_t>((src.v[i0] + src.v[i1] + 1) / 2);
        }
    }
}

void buildScene(Yuv444 &s, int w, int h)
{
    s.resize(w, h);
    // 75% colour bars over the top three quarters, a grey ramp below.
    static const int bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                   {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    const int barsHeight = h * 3 / 4;
    for (int yy = 0; yy < h; ++yy) {
        for (int x = 0; x < w; ++x) {
            if (yy < barsHeight) {
                const int *c = bars[std::min(6, x * 7 / w)];
                s.set(x, yy, rgbToYuv(c[0], c[1], c[2]));
            } else {
                const int g = x * 255 / std::max(1, w - 1);
                s.set(x, yy, rgbToYuv(g, g, g));
            }
        }
    }
}

bool buildPicture(Yuv444 &s, int w, int h, const QString &path)
{
    QImage img(path);
    if (img.isNull())
        return false;
    // Scaling may change the format, so convert last.
    img = img.scaled(w, h, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
              .convertToFormat(QImage::Format_RGB888);
    const int ox = (img.width() - w) / 2, oy = (img.height() - h) / 2;
    s.resize(w, h);
    for (int yy = 0; yy < h; ++yy) {
        const uchar *row = img.constScanLine(yy + oy);
        for (int x = 0; x < w; ++x) {
            const uchar *p = row + (x + ox) * 3;
            s.set(x, yy, rgbToYuv(p[0], p[1], p[2]));
        }
    }
    return true;
}

// Writes one luma value into a rectangle of a packed frame (chroma is left
// as it is, so the rectangle keeps the background's tint only where the
// background is coloured; the test scene draws it over neutral chroma).
void fillLuma(uint8_t *frame, QVideoFrame::PixelFormat format, int w, int h, int x0, int y0, int rw, int rh,
              uint8_t luma)
{
    const int x1 = std::min(w, x0 + rw), y1 = std::min(h, y0 + rh);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    for (int yy = y0; yy < y1; ++yy) {
        if (format == QVideoFrame::Format_YUYV) {
            uint8_t *row = frame + static_cast<size_t>(yy) * (((w + 1) / 2) * 4);
            for (int x = x0; x < x1; ++x)
                row[x * 2] = luma;
        } else {
            std::memset(frame + static_cast<size_t>(yy) * w + x0, luma, static_cast<size_t>(x1 - x0));
        }
    }
}

void fillNeutralChroma(uint8_t *frame, QVideoFrame::PixelFormat format, int w, int h, int x0, int y0, int rw,
                       int rh)
{
    const int x1 = std::min(w, x0 + rw), y1 = std::min(h, y0 + rh);
    if (format == QVideoFrame::Format_YUYV) {
        for (int yy = y0; yy < y1; ++yy) {
            uint8_t *row = frame + static_cast<size_t>(yy) * (((w + 1) / 2) * 4);
            for (int x = x0 & ~1; x < x1; x += 2) {
                row[x * 2 + 1] = 128;
                row[x * 2 + 3] = 128;
            }
        }
        return;
    }
    const int cw = (w + 1) / 2, chh = (h + 1) / 2;
    uint8_t *c = frame + static_cast<size_t>(w) * h;
    for (int cy = y0 / 2; cy < std::min(chh, (y1 + 1) / 2); ++cy) {
        for (int cx = x0 / 2; cx < std::min(cw, (x1 + 1) / 2); ++cx) {
            if (format == QVideoFrame::Format_NV12) {
                c[static_cast<size_t>(cy) * cw * 2 + cx * 2] = 128;
                c[static_cast<size_t>(cy) * cw * 2 + cx * 2 + 1] = 128;
            } else {
                c[static_cast<size_t>(cy) * cw + cx] = 128;
                c[static_cast<size_t>(cw) * chh + static_cast<size_t>(cy) * cw + cx] = 128;
            }
        }
    }
}

class VirtualSample final : public CameraSample
{
public:
    VirtualSample(const uint8_t *data, size_t length) : m_data(data), m_length(length) {}
    int bufferCount() const override { return 1; }
    HRESULT lockBuffer(int index, CameraBufferView *view) override
    {
        if (index != 0)
            return E_FAIL;
        view->data = m_data;
        view->length = m_length;
        view->bytesPerLine = 0;
        return S_OK;
    }
    HRESULT unlockBuffer(int index) override { return index == 0 ? S_OK : E_FAIL; }

private:
    const uint8_t *m_data;
    size_t m_length;
};

struct VirtualDevice
{
    std::mutex mutex;
    std::condition_variable wake;
    bool flushed = false;
    bool closed = false;
};

class VirtualReader final : public CameraReader
{
public:
    explicit VirtualReader(std::shared_ptr<VirtualDevice> device)
        : m_device(std::move(device)), m_picturePath(qEnvironmentVariable(kEnvName))
    {
        m_current = {fourcc::NV12, 640, 480, 30, 1};
    }

    HRESULT nativeMediaType(uint32_t index, CameraMediaType *type) override
    {
        const uint32_t perSubtype = std::size(kSizes) * std::size(kRates);
        if (index >= std::size(kSubtypes) * perSubtype)
            return MF_E_NO_MORE_TYPES;
        const uint32_t s = index / perSubtype;
        const uint32_t z = (index % perSubtype) / std::size(kRates);
        const uint32_t r = index % std::size(kRates);
        *type = {kSubtypes[s], kSizes[z][0], kSizes[z][1], kRates[r], 1};
        return S_OK;
    }

    HRESULT setCurrentMediaType(const CameraMediaType &type) override
    {
        if (isClosed())
            return hresultFromErrno(ENODEV);
        const bool subtypeOk = std::find(std::begin(kSubtypes), std::end(kSubtypes), type.subtype) != std::end(kSubtypes);
        bool sizeOk = false;
        for (const auto &s : kSizes)
            sizeOk = sizeOk || (s[0] == type.width && s[1] == type.height);
        if (!subtypeOk || !sizeOk)
            return hresultFromErrno(EINVAL);
        m_current = type;
        // Any whole rate from 1 to 60 is paced; others fall back to 30.
        if (m_current.rateDenominator == 0 || m_current.rateNumerator == 0
            || m_current.rateNumerator > 60 * m_current.rateDenominator) {
            m_current.rateNumerator = 30;
            m_current.rateDenominator = 1;
        }
        m_frame.clear(); // rebuilt on the next read
        m_restart = true;
        return S_OK;
    }

    HRESULT currentMediaType(CameraMediaType *type) override
    {
        if (isClosed())
            return hresultFromErrno(ENODEV);
        *type = m_current;
        return S_OK;
    }

    HRESULT readSample(std::unique_ptr<CameraSample> *sample) override
    {
        sample->reset();
        if (m_frame.empty())
            prepareFrames();
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(m_current.rateDenominator) / m_current.rateNumerator));
        Clock::time_point now = Clock::now();
        if (m_restart) {
            m_start = now;
            m_tick = 0;
            m_restart = false;
        }
        Clock::time_point due = m_start + period * m_tick;
        if (now - due > kCatchUpLimit) {
            // Fell behind: skip to the latest tick that has passed.
            m_tick = static_cast<int64_t>((now - m_start) / period);
            due = m_start + period * m_tick;
        }
        {
            std::unique_lock<std::mutex> lock(m_device->mutex);
            m_device->wake.wait_until(lock, due, [this] { return m_device->flushed || m_device->closed; });
            if (m_device->closed)
                return hresultFromErrno(ENODEV);
            if (m_device->flushed) {
                m_device->flushed = false;
                m_restart = true; // a stopped stream starts on a fresh clock
                return S_OK;
            }
        }
        renderTick();
        ++m_tick;
        *sample = std::make_unique<VirtualSample>(m_frame.data(), m_frame.size());
        return S_OK;
    }

    HRESULT flush() override
    {
        {
            std::lock_guard<std::mutex> lock(m_device->mutex);
            m_device->flushed = true;
        }
        m_device->wake.notify_all();
        return S_OK;
    }

private:
    bool isClosed()
    {
        std::lock_guard<std::mutex> lock(m_device->mutex);
        return m_device->closed;
    }

    void prepareFrames()
    {
        const int w = static_cast<int>(m_current.width), h = static_cast<int>(m_current.height);
        m_format = pixelFormatFromFourcc(m_current.subtype);
        Yuv444 picture;
        m_isScene = !(QFileInfo(m_picturePath).isFile() && buildPicture(picture, w, h, m_picturePath));
        if (m_isScene && !m_picturePath.isEmpty() && QFileInfo(m_picturePath).isFile())
            qDebug() << "VirtualCamera: cannot read picture" << m_picturePath << "- showing the test scene";
        if (m_isScene)
            buildScene(picture, w, h);
        packInto(picture, m_format, m_background);
        m_frame = m_background;
    }

    void renderTick()
    {
        if (!m_isScene)
            return; // a still picture stays as packed
        const int w = static_cast<int>(m_current.width), h = static_cast<int>(m_current.height);
        // Restore the background under last tick's drawing, then draw anew.
        restore(m_lastBox);
        restore(m_lastStrip);
        const int box = std::max(16, h / 8) & ~1;
        const int travel = std::max(1, w - box);
        const int pos = static_cast<int>((m_tick * 8) % (2 * travel));
        const int x = (pos < travel ? pos : 2 * travel - pos) & ~1;
        const int y = (h * 3 / 4 - box) / 2 & ~1;
        m_lastBox = {x, y, box, box};
        fillLuma(m_frame.data(), m_format, w, h, x, y, box, box, 235);
        fillNeutralChroma(m_frame.data(), m_format, w, h, x, y, box, box);

        m_lastStrip = {0, 0, kCounterBits * kCounterBlock, kCounterBlock};
        fillNeutralChroma(m_frame.data(), m_format, w, h, 0, 0, kCounterBits * kCounterBlock, kCounterBlock);
        for (int bit = 0; bit < kCounterBits; ++bit) {
            const bool on = (m_tick >> bit) & 1;
            fillLuma(m_frame.data(), m_format, w, h, bit * kCounterBlock, 0, kCounterBlock, kCounterBlock,
                     on ? 235 : 16);
        }
    }

    struct Rect
    {
        int x = 0, y = 0, w = 0, h = 0;
    };

    void restore(const Rect &r)
    {
        if (r.w == 0)
            return;
        const int w = static_cast<int>(m_current.width), h = static_cast<int>(m_current.height);
        for (const auto &p : rowSpans(r, w, h))
            std::memcpy(m_frame.data() + p.first, m_background.data() + p.first, p.second);
    }

    // Byte spans (offset, length) a rectangle covers in every plane.
    std::vector<std::pair<size_t, size_t>> rowSpans(const Rect &r, int w, int h) const
    {
        std::vector<std::pair<size_t, size_t>> spans;
        const int x0 = std::max(0, r.x & ~1), y0 = std::max(0, r.y & ~1);
        const int x1 = std::min(w, r.x + r.w + 1), y1 = std::min(h, r.y + r.h + 1);
        if (m_format == QVideoFrame::Format_YUYV) {
            const size_t stride = static_cast<size_t>((w + 1) / 2) * 4;
            for (int yy = y0; yy < y1; ++yy)
                spans.emplace_back(yy * stride + x0 * 2, static_cast<size_t>(x1 - x0) * 2);
            return spans;
        }
        for (int yy = y0; yy < y1; ++yy)
            spans.emplace_back(static_cast<size_t>(yy) * w + x0, static_cast<size_t>(x1 - x0));
        const size_t ySize = static_cast<size_t>(w) * h;
        const int cw = (w + 1) / 2, chh = (h + 1) / 2;
        for (int cy = y0 / 2; cy < std::min(chh, (y1 + 1) / 2); ++cy) {
            const int cx0 = x0 / 2, cx1 = std::min(cw, (x1 + 1) / 2);
            if (m_format == QVideoFrame::Format_NV12) {
                spans.emplace_back(ySize + static_cast<size_t>(cy) * cw * 2 + cx0 * 2, static_cast<size_t>(cx1 - cx0) * 2);
            } else {
                spans.emplace_back(ySize + static_cast<size_t>(cy) * cw + cx0, static_cast<size_t>(cx1 - cx0));
                spans.emplace_back(ySize + static_cast<size_t>(cw) * chh + static_cast<size_t>(cy) * cw + cx0,
                                   static_cast<size_t>(cx1 - cx0));
            }
        }
        return spans;
    }

    std::shared_ptr<VirtualDevice> m_device;
    QString m_picturePath; // as the variable was when the reader was made
    CameraMediaType m_current;
    QVideoFrame::PixelFormat m_format = QVideoFrame::Format_NV12;
    std::vector<uint8_t> m_background;
    std::vector<uint8_t> m_frame;
    bool m_isScene = true;
    bool m_restart = true;
    Clock::time_point m_start;
    int64_t m_tick = 0;
    Rect m_lastBox, m_lastStrip;
};

class VirtualSource final : public CameraSource
{
public:
    VirtualSource() : m_device(std::make_shared<VirtualDevice>()) {}
    HRESULT createReader(std::shared_ptr<CameraReader> *reader) override
    {
        *reader = std::make_shared<VirtualReader>(m_device);
        return S_OK;
    }
    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_device->mutex);
            m_device->closed = true;
        }
        m_device->wake.notify_all();
    }

private:
    std::shared_ptr<VirtualDevice> m_device;
};

} // namespace

bool VirtualCameraPlatform::enabled()
{
    return qEnvironmentVariableIsSet(kEnvName);
}

bool VirtualCameraPlatform::ownsLink(const std::wstring &link)
{
    return link == kLink;
}

const wchar_t *VirtualCameraPlatform::symbolicLink()
{
    return kLink;
}

HRESULT VirtualCameraPlatform::enumerateDevices(std::vector<CameraDeviceInfo> *devices)
{
    devices->clear();
    devices->push_back({L"Virtual Camera", kLink});
    return S_OK;
}

HRESULT VirtualCameraPlatform::createSource(const std::wstring &link, std::shared_ptr<CameraSource> *source)
{
    if (!ownsLink(link))
        return hresultFromErrno(ENODEV);
    *source = std::make_shared<VirtualSource>();
    return S_OK;
}

int readVirtualFrameCounter(const unsigned char *data, int width, int height, QVideoFrame::PixelFormat format)
{
    if (!data || width < kCounterBits * kCounterBlock || height < kCounterBlock)
        return -1;
    int value = 0;
    const int y = kCounterBlock / 2;
    for (int bit = 0; bit < kCounterBits; ++bit) {
        const int x = bit * kCounterBlock + kCounterBlock / 2;
        uint8_t luma;
        if (format == QVideoFrame::Format_YUYV)
            luma = data[static_cast<size_t>(y) * (((width + 1) / 2) * 4) + x * 2];
        else if (format == QVideoFrame::Format_NV12 || format == QVideoFrame::Format_YUV420P)
            luma = data[static_cast<size_t>(y) * width + x];
        else
            return -1;
        if (luma > 200)
            value |= 1 << bit;
        else if (luma > 40)
            return -1;
    }
    return value;
}
