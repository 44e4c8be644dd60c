#pragma once

// Reading pictures from disk the way the studio and velvix-render need them:
// the real format sniffed from the first bytes, the declared size bounded
// before anything is decoded, the EXIF orientation applied, and the result
// written as a PNG into a private per-user folder. No widgets here, so
// command-line tools can link it.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// The two uploads log slightly differently; the algorithms are the same.
enum class PictureFlavour { Upload, Background };

namespace picture {

// Largest file either upload accepts (5 MB).
constexpr qint64 kMaxFileBytes = 5 * 1024 * 1024;
// Largest decoded picture: a small file can declare gigapixel dimensions.
constexpr qint64 kMaxPixels = 100 * 1000 * 1000;
constexpr int kMaxSide = 16384;

enum class DeclaredSize { Acceptable, TooLarge, Unknown };

// Reads the size a picture declares in its header, without decoding it, and
// tells whether it is within kMaxPixels and kMaxSide. Unknown when no reader
// recognises the file (it will then fail to decode anyway).
DeclaredSize checkDeclaredSize(const QString &path, QSize *declared = nullptr);
bool sizeWithinBounds(const QSize &size);

// The EXIF orientation (1..8) of a JPEG file's contents: read from the first
// IFD of its APP1 "Exif" segment, in either byte order. Anything else is 1.
int exifOrientation(const QByteArray &fileBytes);

// The private folder normalised pictures are written to: owner-only, under
// $XDG_RUNTIME_DIR when usable, else under the system temporary location.
// Created on demand; empty when no safe folder can be had.
QString privateTempDir();

// "converted_<first 8 hex digits of MD5(source path)>.png" in privateTempDir().
QString normalisedPngPath(const QString &sourcePath);

// Writes image as PNG (quality 90) to target through a temporary file in the
// same folder renamed into place, so a link planted at target is replaced,
// never followed.
bool writePngAtomically(const QImage &image, const QString &target);

} // namespace picture

// Sniffed format: "JPEG", "PNG", "WEBP", "GIF", "BMP", "TIFF" or empty.
QString detectImageFormat(const QString &path);
// Sniffed format for backgrounds: "jpeg", "png", "gif", "bmp", "webp", "ico"
// or empty; logs the header.
QString detectBackgroundImageFormat(const QString &path);

// Decodes path by any means and writes a PNG copy; its path, or empty.
QString convertImageToPng(const QString &path, PictureFlavour flavour = PictureFlavour::Upload);

// Decodes path and turns it upright by its EXIF orientation; null when it
// cannot be decoded or declares a size beyond the bounds.
QImage loadImageUpright(const QString &path, bool *rotated, PictureFlavour flavour = PictureFlavour::Upload);

// loadImageUpright(source) written as the final PNG; its path, or source
// unchanged when writing fails.
QString saveNormalisedPng(const QString &sourcePath, PictureFlavour flavour = PictureFlavour::Upload);
