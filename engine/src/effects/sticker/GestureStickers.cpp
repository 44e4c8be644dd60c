#include "effects/sticker/GestureStickers.h"

#include "core/Renderer.h"
#include "core/ShaderProgram.h"
#include "core/TextureRing.h"
#include "effects/sticker/StickerPackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

constexpr qint64 kMaxTemplateBytes = 64 * 1024;
constexpr int kMaxSide = 2048;
constexpr int kMaxLayers = 8;
constexpr int kMaxFrames = 32;

QString templateFile(const QString &path)
{
    const QString folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    return QDir(folder).filePath(QStringLiteral("template.json"));
}

bool readTemplate(const QString &file, QJsonObject *object)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly) || input.size() > kMaxTemplateBytes)
        return false;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(input.read(kMaxTemplateBytes + 1), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    *object = doc.object();
    return true;
}

bool number(const QJsonValue &value, double low, double high, double fallback, float *out)
{
    if (value.isUndefined()) {
        *out = static_cast<float>(fallback);
        return true;
    }
    if (!value.isDouble() || !(value.toDouble() >= low && value.toDouble() <= high))
        return false;
    *out = static_cast<float>(value.toDouble());
    return true;
}

bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\') && !name.startsWith('.');
}

float overlap(const cv::Rect2f &a, const cv::Rect2f &b)
{
    const float inter = (a & b).area();
    const float both = a.area() + b.area() - inter;
    return both > 0 ? inter / both : 0.0f;
}

} // namespace

bool isGesturePackage(const QString &path)
{
    QJsonObject object;
    return readTemplate(templateFile(path), &object)
        && object.value(QStringLiteral("type")).toString() == QLatin1String("gesture");
}

bool loadGesturePackage(const QString &path, GesturePackage *package, QString *error)
{
    const QString file = templateFile(path);
    QJsonObject object;
    if (!readTemplate(file, &object)) {
        *error = QStringLiteral("cannot read %1 (or not JSON, or larger than %2 bytes)").arg(file).arg(kMaxTemplateBytes);
        return false;
    }
    GesturePackage parsed;
    parsed.path = QFileInfo(file).absolutePath();
    const QString gesture = object.value(QStringLiteral("gesture")).toString();
    for (vision::Gesture g : {vision::Gesture::OpenPalm, vision::Gesture::Fist, vision::Gesture::Victory,
                              vision::Gesture::ThumbsUp, vision::Gesture::Ok, vision::Gesture::FingerHeart}) {
        if (gesture == QLatin1String(vision::gestureName(g)))
            parsed.gesture = g;
    }
    const QJsonArray layers = object.value(QStringLiteral("layers")).toArray();
    if (parsed.gesture == vision::Gesture::None || layers.isEmpty() || layers.size() > kMaxLayers
        || !number(object.value(QStringLiteral("hold")), 0, 5, 0.4, &parsed.hold)) {
        *error = QStringLiteral("%1 is not a gesture sticker template (a known gesture, hold 0..5, 1..%2 layers)")
                     .arg(file).arg(kMaxLayers);
        return false;
    }
    static const std::pair<const char *, HandAnchor> kAnchors[] = {
        {"palm", HandAnchor::Palm}, {"wrist", HandAnchor::Wrist}, {"thumbTip", HandAnchor::ThumbTip},
        {"indexTip", HandAnchor::IndexTip}, {"middleTip", HandAnchor::MiddleTip}, {"ringTip", HandAnchor::RingTip},
        {"littleTip", HandAnchor::LittleTip}, {"fingers", HandAnchor::Fingers}, {"pinch", HandAnchor::Pinch}};
    for (const QJsonValue &item : layers) {
        const QJsonObject o = item.toObject();
        GestureLayer layer;
        const QString anchor = o.value(QStringLiteral("anchor")).toString(QStringLiteral("palm"));
        bool found = false;
        for (const auto &entry : kAnchors) {
            if (anchor == QLatin1String(entry.first)) {
                layer.anchor = entry.second;
                found = true;
            }
        }
        const QJsonArray offset = o.value(QStringLiteral("offset")).toArray();
        if (!found || (!offset.isEmpty() && offset.size() != 2) || !number(offset.at(0), -10, 10, 0, &layer.offsetX)
            || !number(offset.at(1), -10, 10, 0, &layer.offsetY)
            || !number(o.value(QStringLiteral("width")), 0.05, 10, 1, &layer.width)
            || !number(o.value(QStringLiteral("fps")), 0, 60, 0, &layer.fps)) {
            *error = QStringLiteral("%1: a layer has a bad anchor, offset, width or fps").arg(file);
            return false;
        }
        QStringList files;
        if (o.value(QStringLiteral("frames")).isArray()) {
            for (const QJsonValue &frame : o.value(QStringLiteral("frames")).toArray())
                files << frame.toString();
        } else {
            files << o.value(QStringLiteral("image")).toString();
        }
        if (files.isEmpty() || files.size() > kMaxFrames) {
            *error = QStringLiteral("%1: a layer has no image or more than %2 frames").arg(file).arg(kMaxFrames);
            return false;
        }
        for (const QString &name : files) {
            if (!plainName(name)) {
                *error = QStringLiteral("%1: \"%2\" is not a file of the package").arg(file, name);
                return false;
            }
            const QImage image = decodeBoundedPicture(QDir(parsed.path).filePath(name), kMaxSide, error);
            if (image.isNull())
                return false;
            layer.frames.push_back(image);
        }
        parsed.layers.push_back(std::move(layer));
    }
    *package = std::move(parsed);
    return true;
}

bool placeOnHand(const GestureLayer &layer, const QImage &frame, const vision::Hand &hand, GestureQuad *quad)
{
    const auto &p = hand.points;
    const float palm = hand.palmLength();
    if (frame.isNull() || !(palm >= 2.0f))
        return false;
    // The hand's y runs from the middle knuckle to the wrist (down a raised
    // hand), its x a quarter turn anticlockwise from y (the picture's right
    // for a raised hand).
    const cv::Point2f y = (p[0] - p[9]) * (1.0f / palm);
    const cv::Point2f x(y.y, -y.x);
    cv::Point2f anchor;
    switch (layer.anchor) {
    case HandAnchor::Palm: anchor = (p[0] + p[5] + p[9] + p[13] + p[17]) * 0.2f; break;
    case HandAnchor::Wrist: anchor = p[0]; break;
    case HandAnchor::ThumbTip: anchor = p[4]; break;
    case HandAnchor::IndexTip: anchor = p[8]; break;
    case HandAnchor::MiddleTip: anchor = p[12]; break;
    case HandAnchor::RingTip: anchor = p[16]; break;
    case HandAnchor::LittleTip: anchor = p[20]; break;
    case HandAnchor::Fingers: anchor = (p[8] + p[12]) * 0.5f; break;
    case HandAnchor::Pinch: anchor = (p[4] + p[8]) * 0.5f; break;
    }
    const float width = layer.width * palm;
    const float height = width * static_cast<float>(frame.height()) / static_cast<float>(frame.width());
    quad->centre = anchor + x * (layer.offsetX * palm) + y * (layer.offsetY * palm);
    quad->halfX = x * (width * 0.5f);
    quad->halfY = y * (height * 0.5f);
    return true;
}

bool GestureStickers::load(const QString &path, QString *error)
{
    auto package = std::make_shared<GesturePackage>();
    if (!loadGesturePackage(path, package.get(), error)) {
        m_package.reset();
        return false;
    }
    for (const auto &layer : m_textures)
        m_stale.insert(m_stale.end(), layer.begin(), layer.end());
    m_textures.clear();
    m_shown.clear();
    m_package = std::move(package);
    return true;
}

void GestureStickers::release(Gl *gl)
{
    for (const auto &layer : m_textures)
        m_stale.insert(m_stale.end(), layer.begin(), layer.end());
    m_textures.clear();
    if (gl && !m_stale.empty())
        gl->glDeleteTextures(static_cast<GLsizei>(m_stale.size()), m_stale.data());
    m_stale.clear();
}

std::vector<bool> GestureStickers::visibleHands(const vision::HandResult &hands, qint64 now) const
{
    std::vector<bool> visible(hands.hands.size(), false);
    if (!m_package)
        return visible;
    const qint64 hold = static_cast<qint64>(m_package->hold * 1000.0f);
    for (size_t i = 0; i < hands.hands.size(); ++i) {
        const vision::Hand &hand = hands.hands[i];
        if (hand.gesture == m_package->gesture) {
            visible[i] = true;
            continue;
        }
        // A hand that showed the gesture a moment ago, about where it is now.
        for (const Shown &shown : m_shown) {
            if (shown.at >= 0 && now - shown.at <= hold && overlap(shown.box, hand.box()) > 0.3f)
                visible[i] = true;
        }
    }
    return visible;
}

bool GestureStickers::anyVisible(const vision::HandResult &hands) const
{
    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    for (bool v : visibleHands(hands, now)) {
        if (v)
            return true;
    }
    return false;
}

void GestureStickers::draw(FrameContext &frame, ShaderProgram &program, const vision::HandResult &hands)
{
    if (!m_package || hands.width <= 0 || hands.height <= 0)
        return;
    Gl *gl = frame.renderer.gl();
    if (!m_stale.empty()) {
        gl->glDeleteTextures(static_cast<GLsizei>(m_stale.size()), m_stale.data());
        m_stale.clear();
    }
    if (m_textures.empty()) {
        for (const GestureLayer &layer : m_package->layers)
            m_textures.push_back(uploadStickerFrames(gl, layer.frames));
    }
    if (!m_clock.isValid())
        m_clock.start();
    const qint64 now = m_clock.elapsed();
    const std::vector<bool> visible = visibleHands(hands, now);
    // Remember where the gesture was seen for the hold.
    for (size_t i = 0; i < hands.hands.size(); ++i) {
        if (hands.hands[i].gesture != m_package->gesture)
            continue;
        bool matched = false;
        for (Shown &shown : m_shown) {
            if (!matched && overlap(shown.box, hands.hands[i].box()) > 0.3f) {
                shown = {hands.hands[i].box(), now};
                matched = true;
            }
        }
        if (!matched)
            m_shown.push_back({hands.hands[i].box(), now});
    }
    const qint64 hold = static_cast<qint64>(m_package->hold * 1000.0f);
    m_shown.erase(std::remove_if(m_shown.begin(), m_shown.end(), [&](const Shown &s) { return now - s.at > hold; }),
                  m_shown.end());

    const float sx = static_cast<float>(frame.width) / static_cast<float>(hands.width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(hands.height);
    const double seconds = static_cast<double>(now) / 1000.0;
    for (size_t h = 0; h < hands.hands.size(); ++h) {
        if (!visible[h])
            continue;
        vision::Hand hand = hands.hands[h];
        for (cv::Point2f &p : hand.points)
            p = {p.x * sx, p.y * sy};
        for (size_t i = 0; i < m_package->layers.size(); ++i) {
            const GestureLayer &layer = m_package->layers[i];
            const size_t count = layer.frames.size();
            const size_t index = layer.fps > 0 ? static_cast<size_t>(std::floor(seconds * layer.fps)) % count : 0;
            GestureQuad quad;
            if (!placeOnHand(layer, layer.frames[index], hand, &quad))
                continue;
            frame.renderer.bindTexture(0, GL_TEXTURE_2D, m_textures[i][index], true);
            gl->glBindSampler(0, 0);  // the texture's own mipmap filtering
            program.set(gl, "u_centre", quad.centre.x, quad.centre.y);
            program.set(gl, "u_halfX", quad.halfX.x, quad.halfX.y);
            program.set(gl, "u_halfY", quad.halfY.x, quad.halfY.y);
            gl->glDrawArrays(GL_TRIANGLES, 0, 6);
        }
    }
}

} // namespace velvix
