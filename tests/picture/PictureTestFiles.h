#pragma once

// Picture files made by the tests themselves: every format the uploads meet,
// broken and hostile files, and JPEGs carrying an EXIF orientation (Qt writes
// none, so the APP1 segment is spliced in here).

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QString>

namespace testfiles {

// Upright reference: blue, a red block in the top-left corner and a green
// one in the top-right corner, so every mirror and turn is distinguishable.
inline QImage markedPicture(int w = 64, int h = 40)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::blue);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            img.setPixel(x, y, qRgb(255, 0, 0));
            img.setPixel(w - 1 - x, y, qRgb(0, 255, 0));
        }
    return img;
}

inline QByteArray encode(const QImage &img, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    writer.write(img);
    return bytes;
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

inline QByteArray randomBytes(int n)
{
    QByteArray bytes(n, '\0');
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

inline quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void put32(QByteArray &out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// A PNG whose header declares w x h; its one data chunk is tiny.
inline QByteArray pngDeclaring(quint32 w, quint32 h)
{
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    QByteArray ihdr("IHDR");
    put32(ihdr, w);
    put32(ihdr, h);
    ihdr.append(char(8)).append(char(2)).append(char(0)).append(char(0)).append(char(0));
    put32(png, 13);
    png.append(ihdr);
    put32(png, crc32(ihdr));
    QByteArray idat("IDAT");
    idat.append(QByteArray("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));
    put32(png, 8);
    png.append(idat);
    put32(png, crc32(idat));
    put32(png, 0);
    png.append("IEND");
    put32(png, crc32("IEND"));
    return png;
}

// The stored picture whose EXIF orientation o turns it into upright: each
// stored pixel is taken from where the tag says it belongs.
inline QImage storedFor(const QImage &upright, int o)
{
    const int W = upright.width(), H = upright.height();
    const bool swap = o >= 5;
    QImage stored(swap ? H : W, swap ? W : H, QImage::Format_RGB32);
    for (int sy = 0; sy < stored.height(); ++sy)
        for (int sx = 0; sx < stored.width(); ++sx) {
            int ux = sx, uy = sy;
            switch (o) {
            case 2: ux = W - 1 - sx; break;
            case 3: ux = W - 1 - sx; uy = H - 1 - sy; break;
            case 4: uy = H - 1 - sy; break;
            case 5: ux = sy; uy = sx; break;
            case 6: ux = W - 1 - sy; uy = sx; break;
            case 7: ux = W - 1 - sy; uy = H - 1 - sx; break;
            case 8: ux = sy; uy = H - 1 - sx; break;
            default: break;
            }
            stored.setPixel(sx, sy, upright.pixel(ux, uy));
        }
    return stored;
}

// An APP1 "Exif" segment whose first IFD holds one Orientation entry.
inline QByteArray exifSegment(int orientation, bool bigEndian)
{
    auto p16 = [bigEndian](QByteArray &b, quint16 v) {
        if (bigEndian)
            b.append(char(v >> 8)).append(char(v));
        else
            b.append(char(v)).append(char(v >> 8));
    };
    auto p32 = [bigEndian](QByteArray &b, quint32 v) {
        if (bigEndian)
            b.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
        else
            b.append(char(v)).append(char(v >> 8)).append(char(v >> 16)).append(char(v >> 24));
    };
    QByteArray tiff(bigEndian ? "MM" : "II");
    p16(tiff, 42);
    p32(tiff, 8);
    p16(tiff, 1);         // one entry
    p16(tiff, 0x0112);    // Orientation
    p16(tiff, 3);         // SHORT
    p32(tiff, 1);         // count
    p16(tiff, quint16(orientation));
    p16(tiff, 0);
    p32(tiff, 0);         // no next IFD
    QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray seg("\xFF\xE1", 2);
    const int len = payload.size() + 2;
    seg.append(char(len >> 8)).append(char(len));
    return seg + payload;
}

// A JPEG of the stored picture with the segment spliced in after SOI.
inline QByteArray jpegWithSegment(const QImage &stored, const QByteArray &segment)
{
    const QByteArray jpeg = encode(stored, "JPEG");
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace testfiles
