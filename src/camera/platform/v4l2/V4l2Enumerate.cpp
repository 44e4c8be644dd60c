#include "V4l2Enumerate.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace {

struct SizeEntry
{
    uint32_t width;
    uint32_t height;
};

// Offered for stepwise/continuous devices, largest first.
const SizeEntry kCommonSizes[] = {
    {3840, 2160}, {2560, 1440}, {1920, 1080}, {1600, 1200}, {1280, 960}, {1280, 720},
    {1024, 768},  {800, 600},   {640, 480},   {640, 360},   {352, 288},  {320, 240},
};

const uint32_t kCommonRates[] = {60, 50, 30, 25, 24, 20, 15, 10, 5};

std::vector<SizeEntry> enumerateSizes(const V4l2Ioctl &ioctlFn, uint32_t pixelFormat)
{
    std::vector<SizeEntry> sizes;
    for (uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum fs;
        std::memset(&fs, 0, sizeof fs);
        fs.index = index;
        fs.pixel_format = pixelFormat;
        if (ioctlFn(VIDIOC_ENUM_FRAMESIZES, &fs) != 0)
            break;
        if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back({fs.discrete.width, fs.discrete.height});
            continue;
        }
        for (const auto &s : commonSizesWithin(fs.stepwise))
            sizes.push_back({s.first, s.second});
        break; // a stepwise answer is the only entry
    }
    if (sizes.empty()) {
        // Drivers without size enumeration still report their current size.
        v4l2_format fmt;
        std::memset(&fmt, 0, sizeof fmt);
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (ioctlFn(VIDIOC_G_FMT, &fmt) == 0 && fmt.fmt.pix.width > 0 && fmt.fmt.pix.height > 0)
            sizes.push_back({fmt.fmt.pix.width, fmt.fmt.pix.height});
    }
    return sizes;
}

std::vector<std::pair<uint32_t, uint32_t>> enumerateRates(const V4l2Ioctl &ioctlFn, uint32_t pixelFormat,
                                                         const SizeEntry &size)
{
    std::vector<std::pair<uint32_t, uint32_t>> rates;
    for (uint32_t index = 0;; ++index) {
        v4l2_frmivalenum fi;
        std::memset(&fi, 0, sizeof fi);
        fi.index = index;
        fi.pixel_format = pixelFormat;
        fi.width = size.width;
        fi.height = size.height;
        if (ioctlFn(VIDIOC_ENUM_FRAMEINTERVALS, &fi) != 0)
            break;
        if (fi.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            uint32_t n = 0, d = 0;
            rateFromInterval(fi.discrete.numerator, fi.discrete.denominator, &n, &d);
            if (d != 0)
                rates.emplace_back(n, d);
            continue;
        }
        for (uint32_t r : commonRatesWithin(fi.stepwise.min, fi.stepwise.max))
            rates.emplace_back(r, 1u);
        break;
    }
    if (rates.empty()) {
        v4l2_streamparm parm;
        std::memset(&parm, 0, sizeof parm);
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (ioctlFn(VIDIOC_G_PARM, &parm) == 0) {
            uint32_t n = 0, d = 0;
            rateFromInterval(parm.parm.capture.timeperframe.numerator,
                             parm.parm.capture.timeperframe.denominator, &n, &d);
            if (d != 0)
                rates.emplace_back(n, d);
        }
    }
    if (rates.empty())
        rates.emplace_back(0u, 0u); // rate unknown: the type is still offered
    return rates;
}

std::string readFirstLine(const std::filesystem::path &path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool isHexId(const std::string &s)
{
    return s.size() == 4 && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

} // namespace

std::vector<CameraMediaType> enumerateV4l2MediaTypes(const V4l2Ioctl &ioctlFn)
{
    std::vector<CameraMediaType> types;
    for (uint32_t index = 0;; ++index) {
        v4l2_fmtdesc desc;
        std::memset(&desc, 0, sizeof desc);
        desc.index = index;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (ioctlFn(VIDIOC_ENUM_FMT, &desc) != 0)
            break;
        for (const SizeEntry &size : enumerateSizes(ioctlFn, desc.pixelformat)) {
            for (const auto &rate : enumerateRates(ioctlFn, desc.pixelformat, size)) {
                CameraMediaType t;
                t.subtype = desc.pixelformat;
                t.width = size.width;
                t.height = size.height;
                t.rateNumerator = rate.first;
                t.rateDenominator = rate.second;
                types.push_back(t);
            }
        }
    }
    return types;
}

void rateFromInterval(uint32_t intervalNumerator, uint32_t intervalDenominator,
                      uint32_t *rateNumerator, uint32_t *rateDenominator)
{
    if (intervalNumerator == 0 || intervalDenominator == 0) {
        *rateNumerator = 0;
        *rateDenominator = 0;
        return;
    }
    const uint32_t g = std::gcd(intervalNumerator, intervalDenominator);
    *rateNumerator = intervalDenominator / g;
    *rateDenominator = intervalNumerator / g;
}

std::vector<std::pair<uint32_t, uint32_t>> commonSizesWithin(const v4l2_frmsize_stepwise &range)
{
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    const uint32_t stepW = range.step_width ? range.step_width : 1;
    const uint32_t stepH = range.step_height ? range.step_height : 1;
    for (const SizeEntry &s : kCommonSizes) {
        if (s.width < range.min_width || s.width > range.max_width || s.height < range.min_height
            || s.height > range.max_height)
            continue;
        if ((s.width - range.min_width) % stepW != 0 || (s.height - range.min_height) % stepH != 0)
            continue;
        sizes.emplace_back(s.width, s.height);
    }
    if (sizes.empty() && range.max_width > 0 && range.max_height > 0)
        sizes.emplace_back(range.max_width, range.max_height);
    return sizes;
}

std::vector<uint32_t> commonRatesWithin(const v4l2_fract &minInterval, const v4l2_fract &maxInterval)
{
    std::vector<uint32_t> rates;
    if (minInterval.denominator == 0 || maxInterval.denominator == 0)
        return rates;
    for (uint32_t r : kCommonRates) {
        // interval 1/r within [min, max]:  min.n/min.d <= 1/r <= max.n/max.d
        const bool lowOk = static_cast<uint64_t>(minInterval.numerator) * r <= minInterval.denominator;
        const bool highOk = static_cast<uint64_t>(maxInterval.numerator) * r >= maxInterval.denominator;
        if (lowOk && highOk)
            rates.push_back(r);
    }
    return rates;
}

bool isUsableCaptureDevice(const v4l2_capability &cap)
{
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE))
        return false;
    if (caps & (V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE))
        return false;
    return (caps & V4L2_CAP_STREAMING) != 0;
}

bool readUsbIds(const std::string &classDir, const std::string &nodeName, std::string *vendorId,
                std::string *productId)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path(classDir) / nodeName / "device", ec);
    if (ec)
        return false;
    // The node's device is a USB interface; the ids sit on the USB device
    // one level up (a few levels for composite devices).
    for (int level = 0; level < 4 && !dir.empty(); ++level) {
        const std::string vid = readFirstLine(dir / "idVendor");
        const std::string pid = readFirstLine(dir / "idProduct");
        if (isHexId(vid) && isHexId(pid)) {
            *vendorId = vid;
            *productId = pid;
            std::transform(vendorId->begin(), vendorId->end(), vendorId->begin(), ::tolower);
            std::transform(productId->begin(), productId->end(), productId->begin(), ::tolower);
            return true;
        }
        if (dir == dir.parent_path())
            break;
        dir = dir.parent_path();
    }
    return false;
}

std::wstring v4l2SymbolicLink(const std::string &devicePath, const std::string &vendorId,
                              const std::string &productId)
{
    std::string link = "v4l2:" + devicePath;
    if (!vendorId.empty() && !productId.empty())
        link += "#vid_" + vendorId + "&pid_" + productId;
    return std::wstring(link.begin(), link.end());
}

std::string v4l2DevicePathFromLink(const std::wstring &link)
{
    const std::wstring prefix = L"v4l2:";
    if (link.compare(0, prefix.size(), prefix) != 0)
        return {};
    std::wstring path = link.substr(prefix.size());
    const size_t hash = path.find(L'#');
    if (hash != std::wstring::npos)
        path.resize(hash);
    std::string out;
    for (wchar_t c : path) {
        if (c < 32 || c > 126)
            return {};
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::vector<std::string> listVideoNodes(const std::string &devDir)
{
    namespace fs = std::filesystem;
    std::vector<std::pair<long, std::string>> nodes;
    std::error_code ec;
    for (fs::directory_iterator it(devDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("video", 0) != 0 || name.size() == 5)
            continue;
        const std::string digits = name.substr(5);
        // Node numbers are small; a longer run of digits would overflow stol.
        if (digits.size() > 9
            || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        nodes.emplace_back(std::stol(digits), it->path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> out;
    for (auto &n : nodes)
        out.push_back(n.second);
    return out;
}
