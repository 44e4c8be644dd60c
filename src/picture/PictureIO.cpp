#include "PictureIO.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTransform>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {

namespace {

bool startsWith(const QByteArray &bytes, const char *prefix, int length)
{
    return bytes.size() >= length && std::memcmp(bytes.constData(), prefix, size_t(length)) == 0;
}

QByteArray readHeader(const QString &path, bool *opened)
{
    QFile file(path);
    *opened = file.open(QIODevice::ReadOnly);
    if (!*opened)
        return QByteArray();
    return file.read(16);
}

// A folder we may write into unseen by others: a real directory (not a
// link), ours, and closed to group and others.
bool isPrivateDir(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

QString ensurePrivateDir(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        qDebug() << "无法创建私有临时目录:" << path << std::strerror(errno);
        return QString();
    }
    if (!isPrivateDir(native)) {
        qDebug() << "私有临时目录不安全，拒绝使用:" << path;
        return QString();
    }
    return path;
}

quint16 read16(const uchar *p, bool bigEndian)
{
    return bigEndian ? quint16(p[0] << 8 | p[1]) : quint16(p[1] << 8 | p[0]);
}

quint32 read32(const uchar *p, bool bigEndian)
{
    return bigEndian ? quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]
                     : quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

// Orientation tag of the first IFD of a TIFF structure ("MM" or "II").
int orientationFromTiff(const uchar *tiff, qint64 size)
{
    if (size < 8)
        return 1;
    bool bigEndian;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else
        return 1;
    if (read16(tiff + 2, bigEndian) != 42)
        return 1;
    const qint64 ifd = read32(tiff + 4, bigEndian);
    if (ifd < 8 || ifd + 2 > size)
        return 1;
    const int count = read16(tiff + ifd, bigEndian);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = ifd + 2 + qint64(i) * 12;
        if (entry + 12 > size)
            return 1;
        const uchar *e = tiff + entry;
        if (read16(e, bigEndian) != 0x0112)
            continue;
        // SHORT, one value, stored in the first two bytes of the value field.
        if (read16(e + 2, bigEndian) != 3 || read32(e + 4, bigEndian) != 1)
            return 1;
        const int value = read16(e + 8, bigEndian);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

} // namespace

bool sizeWithinBounds(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxSide && size.height() <= kMaxSide
        && qint64(size.width()) * size.height() <= kMaxPixels;
}

DeclaredSize checkDeclaredSize(const QString &path, QSize *declared)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (declared)
        *declared = size;
    if (!size.isValid())
        return DeclaredSize::Unknown;
    return sizeWithinBounds(size) ? DeclaredSize::Acceptable : DeclaredSize::TooLarge;
}

int exifOrientation(const QByteArray &fileBytes)
{
    const auto *data = reinterpret_cast<const uchar *>(fileBytes.constData());
    const qint64 size = fileBytes.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    qint64 pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF)
            return 1;
        const uchar marker = data[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        // Markers without a length; the scan (SOS) or end ends the header.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 1;
        const qint64 length = read16(data + pos + 2, true);
        if (length < 2 || pos + 2 + length > size)
            return 1;
        const uchar *segment = data + pos + 4;
        const qint64 segmentSize = length - 2;
        if (marker == 0xE1 && segmentSize >= 6 && std::memcmp(segment, "Exif\0\0", 6) == 0)
            return orientationFromTiff(segment + 6, segmentSize - 6);
        pos += 2 + length;
    }
    return 1;
}

QString privateTempDir()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && isPrivateDir(QFile::encodeName(runtime))) {
        const QString dir = ensurePrivateDir(runtime + QStringLiteral("/corvaneeffect"));
        if (!dir.isEmpty())
            return dir;
    }
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return ensurePrivateDir(temp + QStringLiteral("/corvaneeffect-%1").arg(::getuid()));
}

QString normalisedPngPath(const QString &sourcePath)
{
    const QString dir = privateTempDir();
    if (dir.isEmpty())
        return QString();
    const QByteArray digest = QCryptographicHash::hash(sourcePath.toUtf8(), QCryptographicHash::Md5).toHex();
    return dir + QStringLiteral("/converted_%1.png").arg(QString::fromLatin1(digest.left(8)));
}

bool writePngAtomically(const QImage &image, const QString &target)
{
    if (image.isNull() || target.isEmpty())
        return false;
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return false;
    QImageWriter writer(&temporary, "PNG");
    writer.setQuality(90);
    if (!writer.write(image) || !temporary.flush())
        return false;
    // rename() replaces whatever sits at target (a link included) without
    // following it.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

} // namespace picture

using namespace picture;

QString detectImageFormat(const QString &path)
{
    bool opened = false;
    const QByteArray h = readHeader(path, &opened);
    if (startsWith(h, "\xFF\xD8\xFF", 3))
        return QStringLiteral("JPEG");
    if (startsWith(h, "\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("PNG");
    if (startsWith(h, "RIFF", 4) && h.size() >= 12 && h.mid(8, 4) == "WEBP")
        return QStringLiteral("WEBP");
    if (startsWith(h, "GIF87a", 6) || startsWith(h, "GIF89a", 6))
        return QStringLiteral("GIF");
    if (startsWith(h, "BM", 2))
        return QStringLiteral("BMP");
    if (startsWith(h, "II*\0", 4) || startsWith(h, "MM\0*", 4))
        return QStringLiteral("TIFF");
    return QString();
}

QString detectBackgroundImageFormat(const QString &path)
{
    bool opened = false;
    const QByteArray h = readHeader(path, &opened);
    if (!opened) {
        qDebug() << "无法打开文件进行格式检测:" << path;
        return QString();
    }
    if (h.isEmpty()) {
        qDebug() << "文件头部为空:" << path;
        return QString();
    }
    qDebug() << "文件头:" << h.toHex();
    if (startsWith(h, "\xFF\xD8\xFF", 3))
        return QStringLiteral("jpeg");
    if (startsWith(h, "\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("png");
    if (startsWith(h, "GIF8", 4))
        return QStringLiteral("gif");
    if (startsWith(h, "BM", 2))
        return QStringLiteral("bmp");
    if (startsWith(h, "RIFF", 4) && h.size() >= 15 && h.mid(8, 4) == "WEBP")
        return QStringLiteral("webp");
    if (startsWith(h, "\0\0\1\0", 4) || startsWith(h, "\0\0\2\0", 4))
        return QStringLiteral("ico");
    return QString();
}

namespace {

// A plain decode, still refusing pictures that declare too large a size.
QImage loadBounded(const QString &path, const char *format = nullptr)
{
    QImageReader reader(path, format);
    if (!format)
        reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && !sizeWithinBounds(size)) {
        qDebug() << "图片尺寸过大，拒绝解码:" << path << size;
        return QImage();
    }
    return reader.read();
}

// The reader names the transform that makes the picture upright; EXIF 5
// (transpose) is a flip then a quarter turn, EXIF 7 (transverse) a mirror
// then a quarter turn.
int orientationOfTransformation(QImageIOHandler::Transformations t)
{
    switch (int(t)) {
    case QImageIOHandler::TransformationMirror: return 2;
    case QImageIOHandler::TransformationFlip: return 4;
    case QImageIOHandler::TransformationRotate180: return 3;
    case QImageIOHandler::TransformationFlipAndRotate90: return 5;
    case QImageIOHandler::TransformationRotate90: return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
    case QImageIOHandler::TransformationRotate270: return 8;
    default: return 1;
    }
}

QTransform uprightTransform(int orientation)
{
    QTransform t;
    switch (orientation) {
    case 2: t.scale(-1, 1); break;
    case 3: t.rotate(180); break;
    case 4: t.scale(1, -1); break;
    case 5: t.scale(-1, 1); t.rotate(90); break;
    case 6: t.rotate(90); break;
    case 7: t.scale(-1, 1); t.rotate(-90); break;
    case 8: t.rotate(-90); break;
    default: break;
    }
    return t;
}

const char *orientationLine(int orientation)
{
    switch (orientation) {
    case 2: return "处理EXIF方向2: 水平翻转，原始图片大小:";
    case 3: return "处理EXIF方向3: 旋转180度，原始图片大小:";
    case 4: return "处理EXIF方向4: 垂直翻转，原始图片大小:";
    case 5: return "处理EXIF方向5: 水平翻转+逆时针旋转90度，原始图片大小:";
    case 7: return "处理EXIF方向7: 水平翻转+顺时针旋转90度，原始图片大小:";
    case 8: return "处理EXIF方向8: 逆时针旋转90度，原始图片大小:";
    default: return nullptr;
    }
}

void logOrientation(int orientation)
{
    qDebug() << "检测到EXIF方向信息:" << orientation;
    qDebug() << "EXIF方向不为0度，需要旋转到0度，当前方向值:" << orientation;
}

} // namespace

QString convertImageToPng(const QString &path, PictureFlavour flavour)
{
    const QString format = flavour == PictureFlavour::Background ? detectBackgroundImageFormat(path)
                                                                 : detectImageFormat(path);
    QImage image = loadBounded(path, format.isEmpty() ? nullptr : format.toLatin1().constData());
    if (image.isNull()) {
        qDebug() << "QImageReader读取失败，尝试QImage直接加载...";
        image = loadBounded(path);
        if (image.isNull()) {
            qDebug() << "QImage直接加载也失败，转换失败";
            return QString();
        }
    }
    const QString target = normalisedPngPath(path);
    if (writePngAtomically(image, target)) {
        qDebug() << "图片转换成功，保存到:" << target;
        return target;
    }
    qDebug() << "保存PNG文件失败";
    return QString();
}

QImage loadImageUpright(const QString &path, bool *rotated, PictureFlavour flavour)
{
    bool dummy = false;
    if (!rotated)
        rotated = &dummy;
    *rotated = false;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead()) {
        qDebug() << "无法读取图片文件，跳过EXIF方向处理";
        return loadBounded(path);
    }
    const QSize declared = reader.size();
    if (declared.isValid() && !sizeWithinBounds(declared)) {
        qDebug() << "图片尺寸过大，拒绝解码:" << path << declared;
        return QImage();
    }

    int orientation = orientationOfTransformation(reader.transformation());
    QImage image;
    if (orientation != 1) {
        image = reader.read();
        if (image.isNull()) {
            qDebug() << "图片加载失败";
            return loadBounded(path);
        }
        logOrientation(orientation);
        if (orientation == 6) {
            qDebug() << (flavour == PictureFlavour::Background
                             ? "处理EXIF方向6: 尝试顺时针旋转90度，原始图片大小:"
                             : "处理EXIF方向6: 顺时针旋转90度(使用90度)，原始图片大小:")
                     << image.size();
        }
    } else {
        image = reader.read();
        if (image.isNull()) {
            qDebug() << "图片加载失败，跳过EXIF方向处理";
            return loadBounded(path);
        }
        bool ok = false;
        const int textOrientation = image.text(QStringLiteral("Orientation")).toInt(&ok);
        if (ok && textOrientation >= 2 && textOrientation <= 8) {
            orientation = textOrientation;
        } else {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                orientation = exifOrientation(file.readAll());
                if (orientation != 1)
                    qDebug() << "从EXIF数据中解析到方向信息:" << orientation;
            }
        }
        if (orientation == 1) {
            qDebug() << "未检测到EXIF方向信息，假设为0度方向";
            return image;
        }
        logOrientation(orientation);
        if (const char *line = orientationLine(orientation))
            qDebug() << line << image.size();
    }

    const QSize before = image.size();
    image = image.transformed(uprightTransform(orientation), Qt::SmoothTransformation);
    *rotated = true;
    qDebug() << "已将图片旋转到0度方向";
    qDebug() << "原始尺寸:" << before << "旋转后尺寸:" << image.size();
    return image;
}

QString saveNormalisedPng(const QString &sourcePath, PictureFlavour flavour)
{
    bool rotated = false;
    const QImage image = loadImageUpright(sourcePath, &rotated, flavour);
    if (image.isNull())
        qDebug() << "图片处理失败，转换失败";
    qDebug() << "convertImageToPng: 图片是否被旋转:" << rotated;
    qDebug() << "最终图片尺寸:" << image.size();
    const QString target = normalisedPngPath(sourcePath);
    if (writePngAtomically(image, target)) {
        qDebug() << "图片转换成功，保存到:" << target;
        return target;
    }
    qDebug() << "保存PNG文件失败";
    return sourcePath;
}
