#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace velvix {

// Every picture the engine reads from disk (custom and packaged backgrounds,
// lookup-table PNGs, sticker and makeup images) goes through decodePicture,
// so a small file declaring huge dimensions is refused from its header
// instead of being decoded into gigabytes.
constexpr qint64 kMaxPicturePixels = 100000000; // 100 megapixels
constexpr int kMaxPictureSide = 16384;

// True when a picture of this size may be decoded.
bool pictureSizeAllowed(const QSize &size);

// The decoded picture, or a null image with *error saying why: unreadable,
// a size the format does not declare up front, or a declared size over the
// limits above.
QImage decodePicture(const QString &path, QString *error);

} // namespace velvix
