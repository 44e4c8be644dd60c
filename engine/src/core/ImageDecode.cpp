#include "ImageDecode.h"

#include <QImageReader>

namespace velvix {

bool pictureSizeAllowed(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxPictureSide
        && size.height() <= kMaxPictureSide
        && qint64(size.width()) * size.height() <= kMaxPicturePixels;
}

QImage decodePicture(const QString &path, QString *error)
{
    QImageReader reader(path);
    // The declared size is read from the header alone; without it the cost
    // of decoding is unknown, so the picture is not decoded at all.
    const QSize declared = reader.size();
    if (!declared.isValid()) {
        *error = reader.canRead() ? QStringLiteral("the picture does not declare its size")
                                  : QStringLiteral("not a readable picture (%1)").arg(reader.errorString());
        return QImage();
    }
    if (!pictureSizeAllowed(declared)) {
        *error = QStringLiteral("the picture is %1 x %2; pictures over %3 megapixels or %4 pixels on a side "
                                "are refused")
                     .arg(declared.width()).arg(declared.height())
                     .arg(kMaxPicturePixels / 1000000).arg(kMaxPictureSide);
        return QImage();
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("not a readable picture (%1)").arg(reader.errorString());
        return QImage();
    }
    // A header that understated the size is caught here at the latest.
    if (!pictureSizeAllowed(image.size())) {
        *error = QStringLiteral("the picture is larger than it declared");
        return QImage();
    }
    return image;
}

} // namespace velvix
