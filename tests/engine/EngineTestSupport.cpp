#include "EngineTestSupport.h"

#include <QCoreApplication>

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace enginetest {

QSurfaceFormat coreFormat()
{
    QSurfaceFormat format;
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setRenderableType(QSurfaceFormat::OpenGL);
    return format;
}

bool GlEnvironment::create(QOpenGLContext *share)
{
    surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(coreFormat());
    surface->create();
    context = std::make_unique<QOpenGLContext>();
    context->setFormat(coreFormat());
    if (share)
        context->setShareContext(share);
    if (!context->create())
        return false;
    return true;
}

bool GlEnvironment::makeCurrent()
{
    if (!context->makeCurrent(surface.get()))
        return false;
    gl = context->versionFunctions<Gl>();
    return gl && gl->initializeOpenGLFunctions();
}

void GlEnvironment::doneCurrent()
{
    context->doneCurrent();
}

GLuint uploadTexture(Gl *gl, const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
    GLuint texture = 0;
    gl->glGenTextures(1, &texture);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, image.bytesPerLine() / 4);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width(), image.height(), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, image.constBits());
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return texture;
}

QImage readTexture(Gl *gl, GLuint texture, int width, int height)
{
    GLuint fbo = 0;
    gl->glGenFramebuffers(1, &fbo);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    if (gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
        gl->glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    }
    gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl->glDeleteFramebuffers(1, &fbo);
    return image;
}

Rgb meanColour(const QImage &image, const QRect &area)
{
    Rgb sum;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum.r += qRed(p);
            sum.g += qGreen(p);
            sum.b += qBlue(p);
            ++n;
        }
    }
    sum.r /= n;
    sum.g /= n;
    sum.b /= n;
    return sum;
}

static double lumaOf(QRgb p)
{
    return 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
}

double meanLuma(const QImage &image, const QRect &area)
{
    double sum = 0;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++n)
            sum += lumaOf(image.pixel(x, y));
    return sum / n;
}

double lumaStdDev(const QImage &image, const QRect &area)
{
    const double mean = meanLuma(image, area);
    double sum = 0;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++n) {
            const double d = lumaOf(image.pixel(x, y)) - mean;
            sum += d * d;
        }
    return std::sqrt(sum / n);
}

int maxDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGBA8888);
    const QImage y = b.convertToFormat(QImage::Format_RGBA8888);
    if (x.size() != y.size())
        return 256;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 4; ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

QImage syntheticPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255) / std::max(1, width - 1);
            const int g = (y * 255) / std::max(1, height - 1);
            const int b = ((x / 8 + y / 8) % 2) ? 200 : 40;
            image.setPixel(x, y, qRgba(r, g, b, 255));
        }
    }
    return image;
}

namespace {

quint32 crc32Of(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32Of(body));
}

} // namespace

QByteArray pngDeclaring(int width, int height, int dataBytes)
{
    QByteArray header = bigEndian(quint32(width)) + bigEndian(quint32(height));
    header += QByteArray("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA, no interlace
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + chunk("IDAT", qCompress(QByteArray(dataBytes, '\0')).mid(4)) + chunk("IEND", QByteArray());
}

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

QString resPath(const QString &relative)
{
    return appDir() + "/res/" + relative;
}

QImage demoPicture(const QString &name)
{
    return QImage(resPath(QStringLiteral("demoImage/") + name)).convertToFormat(QImage::Format_RGBA8888);
}

} // namespace enginetest
