// Views between QImage (RGBA8888) and cv::Mat for the tests that move,
// turn or paste pictures with OpenCV, and the luma frame trackers take.
#pragma once

#include "vision/Tracker.h"

#include <QImage>

#include <opencv2/core.hpp>

#include <memory>
#include <vector>

namespace enginetest {

// A view of the picture's pixels (no copy; the picture must outlive it).
inline cv::Mat matOf(const QImage &image)
{
    return cv::Mat(image.height(), image.width(), CV_8UC4, const_cast<uchar *>(image.constBits()),
                   static_cast<size_t>(image.bytesPerLine()));
}

// A picture holding a copy of a CV_8UC4 matrix.
inline QImage imageOf(const cv::Mat &mat)
{
    return QImage(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step[0]), QImage::Format_RGBA8888).copy();
}

// The picture's luma plane as a still frame for a tracker.
inline velvix::vision::LumaFrame stillLuma(const QImage &picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    velvix::vision::LumaFrame frame;
    frame.width = grey.width();
    frame.height = grey.height();
    frame.still = true;
    auto pixels = std::make_shared<std::vector<uint8_t>>();
    for (int y = 0; y < grey.height(); ++y)
        pixels->insert(pixels->end(), grey.constScanLine(y), grey.constScanLine(y) + grey.width());
    frame.pixels = pixels;
    return frame;
}

} // namespace enginetest
