#include "BenchSupport.h"

#include <QCoreApplication>

#include <algorithm>

namespace enginebench {

bool Context::create()
{
    QSurfaceFormat format;
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(format);
    surface->create();
    context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create() || !context->makeCurrent(surface.get()))
        return false;
    gl = context->versionFunctions<QOpenGLFunctions_4_1_Core>();
    return gl && gl->initializeOpenGLFunctions();
}

std::vector<unsigned char> portraitFrame(int width, int height, bool nv12)
{
    QImage image(QCoreApplication::applicationDirPath() + QStringLiteral("/res/demoImage/demo_image1.jpg"));
    if (image.isNull()) {
        image = QImage(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    }
    image = image.scaled(width, height, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                .copy(0, 0, width, height)
                .convertToFormat(QImage::Format_RGB32);
    std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3 / 2);
    unsigned char *yPlane = frame.data();
    unsigned char *chroma = yPlane + width * height;
    const int cw = width / 2;
    auto clamp = [](int v) { return static_cast<unsigned char>(std::min(255, std::max(0, v))); };
    for (int y = 0; y < height; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            yPlane[y * width + x] = clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
            if ((x & 1) == 0 && (y & 1) == 0 && x / 2 < cw) {
                const unsigned char u = clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
                const unsigned char v = clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
                const int at = (y / 2) * cw + x / 2;
                if (nv12) {
                    chroma[at * 2] = u;
                    chroma[at * 2 + 1] = v;
                } else {
                    chroma[at] = u;
                    chroma[width * height / 4 + at] = v;
                }
            }
        }
    }
    return frame;
}

} // namespace enginebench
