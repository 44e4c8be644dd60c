// velvix-render: applies a list of effect settings to a picture through the
// engine's public interface on an offscreen OpenGL context and writes a PNG.
//
//   velvix-render --input PICTURE --effects EFFECTS.json --output OUT.png [--resources DIR]
//                 [--crop X,Y,W,H] [--size WxH]
//
// EFFECTS.json is an array of {"effectName", "effectValue", "resourcePath",
// "extraInfo"} objects, applied in order; resource paths are relative to DIR
// (default: res/ beside the program). The picture is read through the
// studio's upright loader (EXIF orientation applied, format sniffed).
#include "PictureIO.h"
#include "velvix/VelvixDll.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_4_1_Core>

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using Gl = QOpenGLFunctions_4_1_Core;

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "velvix-render: %s\n", qPrintable(message));
    return code;
}

QByteArray extraInfoText(const QJsonValue &value)
{
    if (!value.isObject() || value.toObject().isEmpty())
        return QByteArray();
    QJsonObject extra = value.toObject();
    // Custom backgrounds given relative to the working folder.
    const QString bg = extra.value(QStringLiteral("bgPath")).toString();
    if (!bg.isEmpty() && QFileInfo(bg).isRelative())
        extra.insert(QStringLiteral("bgPath"), QFileInfo(bg).absoluteFilePath());
    return QJsonDocument(extra).toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velvix-render"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Applies Velvix effect settings to a picture and writes a PNG."));
    parser.addHelpOption();
    const QCommandLineOption inputOption(QStringLiteral("input"), QStringLiteral("Picture to process."), QStringLiteral("PICTURE"));
    const QCommandLineOption effectsOption(QStringLiteral("effects"), QStringLiteral("JSON array of effect settings."), QStringLiteral("EFFECTS.json"));
    const QCommandLineOption outputOption(QStringLiteral("output"), QStringLiteral("PNG file to write."), QStringLiteral("OUT.png"));
    const QCommandLineOption resourcesOption(QStringLiteral("resources"), QStringLiteral("Resource folder (default: res/ beside the program)."), QStringLiteral("DIR"));
    const QCommandLineOption cropOption(QStringLiteral("crop"), QStringLiteral("Part of the picture to process."), QStringLiteral("X,Y,W,H"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Scale the (cropped) picture to this size first."), QStringLiteral("WxH"));
    parser.addOptions({inputOption, effectsOption, outputOption, resourcesOption, cropOption, sizeOption});
    parser.process(app);
    if (!parser.isSet(inputOption) || !parser.isSet(effectsOption) || !parser.isSet(outputOption))
        return fail(1, QStringLiteral("--input, --effects and --output are required (see --help)"));

    const QString resources = parser.isSet(resourcesOption)
        ? QFileInfo(parser.value(resourcesOption)).absoluteFilePath()
        : QCoreApplication::applicationDirPath() + QStringLiteral("/res");
    if (!QFileInfo(resources).isDir())
        return fail(2, QStringLiteral("resource folder %1 does not exist").arg(resources));

    // Phone photos come out upright; the format is sniffed, and a header
    // declaring a huge size is refused before anything is decoded.
    const QString inputPath = parser.value(inputOption);
    QSize declared;
    if (picture::checkDeclaredSize(inputPath, &declared) == picture::DeclaredSize::TooLarge)
        return fail(6, QStringLiteral("the picture %1 is %2 x %3 pixels; pictures over %4 pixels or %5 pixels "
                                      "on a side are refused")
                           .arg(inputPath).arg(declared.width()).arg(declared.height())
                           .arg(picture::kMaxPixels).arg(picture::kMaxSide));
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QImage picture = loadImageUpright(inputPath, nullptr);
    if (picture.isNull())
        return fail(2, QStringLiteral("cannot read the picture %1").arg(inputPath));
    // Thumbnails are made from a part of a portrait at panel size, so the
    // engine sees the same scale of detail as the tile shows.
    if (parser.isSet(cropOption)) {
        const QStringList parts = parser.value(cropOption).split(QLatin1Char(','));
        QList<int> numbers;
        for (const QString &part : parts)
            numbers.append(part.toInt());
        const QRect crop = numbers.size() == 4 ? QRect(numbers[0], numbers[1], numbers[2], numbers[3]) : QRect();
        if (crop.isEmpty() || !picture.rect().contains(crop))
            return fail(1, QStringLiteral("--crop %1 is not a part of the %2x%3 picture")
                               .arg(parser.value(cropOption)).arg(picture.width()).arg(picture.height()));
        picture = picture.copy(crop);
    }
    if (parser.isSet(sizeOption)) {
        const QStringList parts = parser.value(sizeOption).split(QLatin1Char('x'));
        const int w = parts.size() == 2 ? parts[0].toInt() : 0;
        const int h = parts.size() == 2 ? parts[1].toInt() : 0;
        if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
            return fail(1, QStringLiteral("--size %1 is not WxH within 1..8192").arg(parser.value(sizeOption)));
        picture = picture.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture = picture.convertToFormat(QImage::Format_RGBA8888);

    QFile effectsFile(parser.value(effectsOption));
    if (!effectsFile.open(QIODevice::ReadOnly))
        return fail(2, QStringLiteral("cannot open %1: %2").arg(effectsFile.fileName(), effectsFile.errorString()));
    QJsonParseError parseError{};
    const QJsonDocument effects = QJsonDocument::fromJson(effectsFile.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !effects.isArray())
        return fail(2, QStringLiteral("%1 is not a JSON array of effect settings (%2)")
                           .arg(effectsFile.fileName(),
                                parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                              : QStringLiteral("not an array")));

    // Every entry is checked before anything is rendered; a value that is
    // not a whole number would otherwise be read as 0 and render silently wrong.
    const QJsonArray list = effects.array();
    for (int i = 0; i < list.size(); ++i) {
        const QJsonValue value = list.at(i).toObject().value(QStringLiteral("effectValue"));
        const double number = value.toDouble();
        if (!value.isDouble() || number != std::floor(number) || number < std::numeric_limits<int>::min()
            || number > std::numeric_limits<int>::max())
            return fail(2, QStringLiteral("%1: effectValue of entry %2 is not a whole number")
                               .arg(effectsFile.fileName()).arg(i));
    }

    QSurfaceFormat format;
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&surface))
        return fail(3, QStringLiteral("cannot create an OpenGL 4.1 context (is an X server running?)"));
    Gl *gl = context.versionFunctions<Gl>();
    if (!gl || !gl->initializeOpenGLFunctions())
        return fail(3, QStringLiteral("OpenGL 4.1 core functions are not available"));

    const int width = picture.width();
    const int height = picture.height();
    const QByteArray resourceDir = (resources + QLatin1Char('/')).toUtf8();
    velvix::Velvix *engine = createVelvix(resourceDir.constData(), width, height);
    if (!engine)
        return fail(3, QStringLiteral("the engine could not be created"));

    int code = 0;
    for (int i = 0; i < list.size() && code == 0; ++i) {
        const QJsonObject item = list.at(i).toObject();
        const QByteArray name = item.value(QStringLiteral("effectName")).toString().toUtf8();
        const int value = item.value(QStringLiteral("effectValue")).toInt();
        const QString relative = item.value(QStringLiteral("resourcePath")).toString();
        const QByteArray full = relative.isEmpty()
            ? QByteArray()
            : (QFileInfo(relative).isAbsolute() ? relative : resources + QLatin1Char('/') + relative).toUtf8();
        const QByteArray extra = extraInfoText(item.value(QStringLiteral("extraInfo")));
        if (name.isEmpty()) {
            code = fail(4, QStringLiteral("entry %1 has no effectName").arg(i));
        } else if (engine->applyEffect(name.constData(), value, full.isEmpty() ? nullptr : full.constData(),
                                       extra.isEmpty() ? nullptr : extra.constData()) <= 0) {
            code = fail(4, QStringLiteral("effect %1 (entry %2) could not be applied").arg(QString::fromUtf8(name)).arg(i));
        }
    }

    if (code == 0) {
        GLuint input = 0;
        gl->glGenTextures(1, &input);
        gl->glBindTexture(GL_TEXTURE_2D, input);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, picture.bytesPerLine() / 4);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, picture.constBits());
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        const int output = engine->processTexture(static_cast<int>(input), width, height);
        if (output <= 0) {
            code = fail(3, QStringLiteral("processing failed"));
        } else {
            GLuint fbo = 0;
            gl->glGenFramebuffers(1, &fbo);
            gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, static_cast<GLuint>(output), 0);
            // Keyed areas without a background are transparent (premultiplied).
            QImage result(width, height, QImage::Format_RGBA8888_Premultiplied);
            gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
            gl->glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, result.bits());
            gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
            gl->glDeleteFramebuffers(1, &fbo);
            if (!result.save(parser.value(outputOption), "PNG"))
                code = fail(5, QStringLiteral("cannot write %1").arg(parser.value(outputOption)));
        }
        gl->glDeleteTextures(1, &input);
    }
    destroyVelvix(&engine);
    context.doneCurrent();
    return code;
}
