#include "effects/sticker/StickerPackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace velvix {

namespace {

constexpr qint64 kMaxTemplateBytes = 64 * 1024;
constexpr qint64 kMaxImageBytes = 16 * 1024 * 1024;
constexpr int kMaxSide = 2048;
constexpr int kMaxLayers = 8;
constexpr int kMaxFrames = 32;

float length(cv::Point2f v) { return std::sqrt(v.x * v.x + v.y * v.y); }

bool inRange(const QJsonValue &value, double low, double high, double fallback, float *out)
{
    if (value.isUndefined()) {
        *out = static_cast<float>(fallback);
        return true;
    }
    if (!value.isDouble() || value.toDouble() < low || value.toDouble() > high)
        return false;
    *out = static_cast<float>(value.toDouble());
    return true;
}

// A file name inside the package folder, nothing else.
bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\') && !name.startsWith('.');
}

} // namespace

QImage decodeBoundedPicture(const QString &file, int maxSide, QString *error)
{
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kMaxImageBytes) {
        *error = QStringLiteral("%1 is missing or larger than %2 bytes").arg(file).arg(kMaxImageBytes);
        return QImage();
    }
    QImageReader reader(file);
    const QSize size = reader.size();  // from the header, before any pixel is decoded
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide) {
        *error = QStringLiteral("%1 is not a picture of at most %2 x %2").arg(file).arg(maxSide);
        return QImage();
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("%1: %2").arg(file, reader.errorString());
        return QImage();
    }
    return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
}

bool loadStickerPackage(const QString &path, StickerPackage *package, QString *error)
{
    const QString folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    QFile input(QDir(folder).filePath(QStringLiteral("template.json")));
    if (!input.open(QIODevice::ReadOnly) || input.size() > kMaxTemplateBytes) {
        *error = QStringLiteral("cannot read %1 (or larger than %2 bytes)").arg(input.fileName()).arg(kMaxTemplateBytes);
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(input.read(kMaxTemplateBytes + 1), &parse);
    const QJsonArray layers = doc.object().value(QStringLiteral("layers")).toArray();
    if (parse.error != QJsonParseError::NoError || !doc.isObject() || layers.isEmpty() || layers.size() > kMaxLayers) {
        *error = QStringLiteral("%1 is not a sticker template with 1..%2 layers").arg(input.fileName()).arg(kMaxLayers);
        return false;
    }
    static const std::pair<const char *, StickerAnchor> kAnchors[] = {
        {"forehead", StickerAnchor::Forehead}, {"eyes", StickerAnchor::Eyes}, {"rightEye", StickerAnchor::RightEye},
        {"leftEye", StickerAnchor::LeftEye}, {"nose", StickerAnchor::Nose}, {"mouth", StickerAnchor::Mouth},
        {"chin", StickerAnchor::Chin}, {"face", StickerAnchor::Face}};
    static const std::pair<const char *, StickerTrigger> kTriggers[] = {
        {"always", StickerTrigger::Always}, {"mouthOpen", StickerTrigger::MouthOpen},
        {"browsRaised", StickerTrigger::BrowsRaised}, {"eyesClosed", StickerTrigger::EyesClosed}};
    StickerPackage parsed;
    parsed.path = folder;
    for (const QJsonValue &item : layers) {
        const QJsonObject object = item.toObject();
        StickerLayer layer;
        const QString anchor = object.value(QStringLiteral("anchor")).toString();
        bool found = false;
        for (const auto &entry : kAnchors) {
            if (anchor == QLatin1String(entry.first)) {
                layer.anchor = entry.second;
                found = true;
            }
        }
        const QString trigger = object.value(QStringLiteral("trigger")).toString(QStringLiteral("always"));
        bool triggerFound = false;
        for (const auto &entry : kTriggers) {
            if (trigger == QLatin1String(entry.first)) {
                layer.trigger = entry.second;
                triggerFound = true;
            }
        }
        const QJsonArray offset = object.value(QStringLiteral("offset")).toArray();
        if (!found || !triggerFound || (!offset.isEmpty() && offset.size() != 2) ||
            !inRange(offset.at(0), -10, 10, 0, &layer.offsetX) || !inRange(offset.at(1), -10, 10, 0, &layer.offsetY) ||
            !inRange(object.value(QStringLiteral("width")), 0.05, 10, 1, &layer.width) ||
            !inRange(object.value(QStringLiteral("fps")), 0, 60, 0, &layer.fps)) {
            *error = QStringLiteral("%1: a layer has a bad anchor, trigger, offset, width or fps").arg(input.fileName());
            return false;
        }
        QStringList files;
        if (object.value(QStringLiteral("frames")).isArray()) {
            for (const QJsonValue &frame : object.value(QStringLiteral("frames")).toArray())
                files << frame.toString();
        } else {
            files << object.value(QStringLiteral("image")).toString();
        }
        if (files.isEmpty() || files.size() > kMaxFrames) {
            *error = QStringLiteral("%1: a layer has no image or more than %2 frames").arg(input.fileName()).arg(kMaxFrames);
            return false;
        }
        for (const QString &file : files) {
            if (!plainName(file)) {
                *error = QStringLiteral("%1: \"%2\" is not a file of the package").arg(input.fileName(), file);
                return false;
            }
            const QImage image = decodeBoundedPicture(QDir(folder).filePath(file), kMaxSide, error);
            if (image.isNull())
                return false;
            layer.frames.push_back(image);
        }
        parsed.layers.push_back(std::move(layer));
    }
    *package = std::move(parsed);
    return true;
}

FaceTriggers faceTriggers(const std::vector<cv::Point2f> &p)
{
    FaceTriggers t;
    if (p.size() < 468)
        return t;
    const float mouthWidth = std::max(1.0f, length(p[291] - p[61]));
    t.mouthOpening = length(p[14] - p[13]) / mouthWidth;
    const cv::Point2f eyeR = (p[33] + p[133]) * 0.5f, eyeL = (p[263] + p[362]) * 0.5f;
    const float iod = std::max(1.0f, length(eyeL - eyeR));
    t.browHeight = (length(p[105] - eyeR) + length(p[334] - eyeL)) * 0.5f / iod;
    const float openR = length(p[159] - p[145]) / std::max(1.0f, length(p[133] - p[33]));
    const float openL = length(p[386] - p[374]) / std::max(1.0f, length(p[362] - p[263]));
    t.eyeOpening = (openR + openL) * 0.5f;
    t.mouthOpen = t.mouthOpening > 0.25f;  // a broad smile showing teeth is about 0.17
    t.browsRaised = t.browHeight > 0.52f;  // at rest about 0.4
    t.eyesClosed = t.eyeOpening < 0.1f;    // open about 0.3
    return t;
}

bool placeSticker(const StickerLayer &layer, const QImage &frame, const std::vector<cv::Point2f> &p,
                  StickerQuad *quad)
{
    if (p.size() < 468 || frame.isNull())
        return false;
    const cv::Point2f eyeR = (p[33] + p[133]) * 0.5f, eyeL = (p[263] + p[362]) * 0.5f;
    cv::Point2f axis = eyeL - eyeR;
    const float iod = length(axis);
    if (iod < 2.0f)
        return false;
    // The head's x axis runs from the picture's left eye to its right one
    // whichever eye that is (a mirrored picture), and y is x turned a
    // quarter clockwise: down the face.
    if (axis.x < 0)
        axis = -axis;
    const cv::Point2f x = axis * (1.0f / iod);
    const cv::Point2f y(-x.y, x.x);
    cv::Point2f anchor;
    switch (layer.anchor) {
    case StickerAnchor::Forehead: anchor = p[151]; break;
    case StickerAnchor::Eyes: anchor = (eyeR + eyeL) * 0.5f; break;
    case StickerAnchor::RightEye: anchor = eyeR.x < eyeL.x ? eyeR : eyeL; break;
    case StickerAnchor::LeftEye: anchor = eyeR.x < eyeL.x ? eyeL : eyeR; break;
    case StickerAnchor::Nose: anchor = p[4]; break;
    case StickerAnchor::Mouth: anchor = (p[13] + p[14]) * 0.5f; break;
    case StickerAnchor::Chin: anchor = p[152]; break;
    case StickerAnchor::Face: anchor = (p[10] + p[152]) * 0.5f; break;
    }
    const float width = layer.width * iod;
    const float height = width * static_cast<float>(frame.height()) / static_cast<float>(frame.width());
    quad->centre = anchor + x * (layer.offsetX * iod) + y * (layer.offsetY * iod);
    quad->halfX = x * (width * 0.5f);
    quad->halfY = y * (height * 0.5f);
    return true;
}

std::vector<GLuint> uploadStickerFrames(Gl *gl, const std::vector<QImage> &frames)
{
    std::vector<GLuint> textures;
    for (const QImage &image : frames) {
        const GLuint texture = createTexture2D(gl, GL_RGBA8, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                                               image.constBits());
        gl->glBindTexture(GL_TEXTURE_2D, texture);
        gl->glGenerateMipmap(GL_TEXTURE_2D);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        textures.push_back(texture);
    }
    return textures;
}

} // namespace velvix
