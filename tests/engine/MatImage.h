// Views between QImage (RGBA8888) and cv::Mat for the tests that move,
// turn or paste pictures with OpenCV.
#pragma once

#include <QImage>

#include <opencv2/core.hpp>

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

} // namespace enginetest
