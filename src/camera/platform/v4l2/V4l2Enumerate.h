#pragma once

#include "../CameraPlatform.h"

#include <linux/videodev2.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The parts of the V4L2 back end that need no device: media-type
// enumeration over an injectable ioctl, frame-rate arithmetic, capability
// filtering and the sysfs USB-id lookup.

// Issues one ioctl; returns 0 or the errno of the failure.
using V4l2Ioctl = std::function<int(unsigned long request, void *arg)>;

// Every (format × size × rate) of the capture queue, in the order the driver
// lists them. Stepwise and continuous sizes are offered at common sizes,
// stepwise and continuous intervals at common rates.
std::vector<CameraMediaType> enumerateV4l2MediaTypes(const V4l2Ioctl &ioctlFn);

// A frame interval n/d is the rate d/n; the fraction is reduced.
void rateFromInterval(uint32_t intervalNumerator, uint32_t intervalDenominator,
                      uint32_t *rateNumerator, uint32_t *rateDenominator);

std::vector<std::pair<uint32_t, uint32_t>> commonSizesWithin(const v4l2_frmsize_stepwise &range);
// Whole rates among the common ones whose interval lies in [min, max].
std::vector<uint32_t> commonRatesWithin(const v4l2_fract &minInterval, const v4l2_fract &maxInterval);

// True for nodes that capture video (single-planar, streaming), false for
// metadata, output and memory-to-memory nodes.
bool isUsableCaptureDevice(const v4l2_capability &cap);

// Reads idVendor/idProduct for a node such as "video0" below a
// /sys/class/video4linux-like folder, walking up from the node's device
// folder. Lower-case 4-digit hex strings; false when the node has none.
bool readUsbIds(const std::string &classDir, const std::string &nodeName, std::string *vendorId,
                std::string *productId);

// "v4l2:/dev/video0#vid_046d&pid_082d", or "v4l2:/dev/video0" without ids.
std::wstring v4l2SymbolicLink(const std::string &devicePath, const std::string &vendorId,
                              const std::string &productId);
// The device path of a link made by v4l2SymbolicLink; empty for others.
std::string v4l2DevicePathFromLink(const std::wstring &link);

// /dev/videoN nodes of a folder in numeric order.
std::vector<std::string> listVideoNodes(const std::string &devDir);
