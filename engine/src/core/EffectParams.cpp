#include "core/EffectParams.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

namespace velvix {

namespace {

const EffectInfo kEffects[] = {
    // Beauty
    {"beauty.smooth", 0, 100, 0, "beauty"},
    {"beauty.whiten", 0, 100, 0, "beauty"},
    {"beauty.rosy", 0, 100, 0, "beauty"},
    {"beauty.sharpen", 0, 100, 0, "beauty"},
    {"beauty.imageContrastAlpha", -100, 100, 0, "beauty"},
    {"smooth.saturation", -100, 100, 0, "beauty"},
    // Face shape (needs the face tracker)
    {"shape.thinFace", 0, 100, 0, "reshape"},
    {"shape.vFace", 0, 100, 0, "reshape"},
    {"shape.narrowFace", 0, 100, 0, "reshape"},
    {"shape.smallFace", 0, 100, 0, "reshape"},
    {"shape.cheekbone", 0, 100, 0, "reshape"},
    {"shape.jaw", 0, 100, 0, "reshape"},
    {"shape.bigEye", 0, 100, 0, "reshape"},
    {"basicV7.eyeDistance", -100, 100, 0, "reshape"},
    {"basicV7.eyeAngle", -100, 100, 0, "reshape"},
    {"basicV7.eyeWidth", -100, 100, 0, "reshape"},
    {"basicV7.eyeHeight", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowAngle", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowDistance", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowHeight", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowLength", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowThickness", -100, 100, 0, "reshape"},
    {"basicV7.eyebrowRidge", -100, 100, 0, "reshape"},
    {"basicV7.noseWing", -100, 100, 0, "reshape"},
    {"basicV7.noseHeight", -100, 100, 0, "reshape"},
    {"basicV7.mouthSize", -100, 100, 0, "reshape"},
    {"basicV7.mouthHeight", -100, 100, 0, "reshape"},
    {"basicV7.mouthWidth", -100, 100, 0, "reshape"},
    {"basicV7.mouthPosition", -100, 100, 0, "reshape"},
    {"basicV7.smileFace", -100, 100, 0, "reshape"},
    {"basicV7.chin", -100, 100, 0, "reshape"},
    {"basicV7.forehead", -100, 100, 0, "reshape"},
    // Face atomic abilities (on above 0)
    {"atomic.faceLandmarks", 0, 100, 0, "faceinfo"},
    {"atomic.faceMesh", 0, 100, 0, "faceinfo"},
    {"atomic.headPose", 0, 100, 0, "faceinfo"},
    // Body atomic ability (on above 0)
    {"atomic.bodySkeleton", 0, 100, 0, "bodyinfo"},
    // Hand atomic ability (on above 0)
    {"atomic.handSkeleton", 0, 100, 0, "handinfo"},
    // Body shaping (needs the body tracker)
    {"body.slimWaist", 0, 100, 0, "body"},
    {"body.longLeg", 0, 100, 0, "body"},
    {"body.slimLeg", 0, 100, 0, "body"},
    {"body.slimArm", 0, 100, 0, "body"},
    {"body.shoulder", 0, 100, 0, "body"},
    {"body.headSize", 0, 100, 0, "body"},
    {"body.enlargeChestStrength", -100, 100, 0, "body"},
    // Makeup (needs the face tracker and a package)
    {"makeup.lipstick", 0, 100, 0, "makeup"},
    {"makeup.blush", 0, 100, 0, "makeup"},
    {"makeup.eyebrow", 0, 100, 0, "makeup"},
    {"makeup.eyeshadow", 0, 100, 0, "makeup"},
    {"makeup.eyeliner", 0, 100, 0, "makeup"},
    {"makeup.contour", 0, 100, 0, "makeup"},
    {"light.makeup", 0, 100, 0, "makeup"},
    {"makeup", 0, 100, 0, "makeup"},
    // 2D stickers (needs the face tracker and a package)
    {"motion", 0, 0, 0, "motion"},
    // 3D stickers (value: opacity; "motion" hands 3D packages over)
    {"motion3d", 0, 100, 0, "motion3d"},
    // Image quality
    {"quality.brightness", -100, 100, 0, "quality"},
    {"quality.contrast", -100, 100, 0, "quality"},
    {"quality.saturation", -100, 100, 0, "quality"},
    {"quality.sharpness", 0, 100, 0, "quality"},
    {"quality.temperature", -100, 100, 0, "quality"},
    {"quality.tint", -100, 100, 0, "quality"},
    {"quality.highlights", -100, 100, 0, "quality"},
    {"quality.shadows", -100, 100, 0, "quality"},
    {"quality.vignette", 0, 100, 0, "quality"},
    {"quality.fade", 0, 100, 0, "quality"},
    {"quality.grain", 0, 100, 0, "quality"},
    // Filter
    {"lut", 0, 100, 0, "lut"},
    // Green screen and backgrounds
    {"segmentation", 0, 0, 0, "greenscreen"},
    {"green_background_v2.similarity", 0, 100, 50, "greenscreen"},
    {"green_background_v2.smooth", 1, 100, 10, "greenscreen"},
    {"green_background_v2.despill", 0, 100, 50, "greenscreen"},
    {"green_background_v2.corrosion", 0, 3, 0, "greenscreen"},
    {"green_background_v2.deshadow", 0, 5, 0, "greenscreen"},
    // Portrait mask atomic ability (on above 0)
    {"atomic.portraitSegment", 0, 100, 0, "greenscreen"},
};

} // namespace

const EffectInfo *effectTable(size_t *count)
{
    *count = sizeof(kEffects) / sizeof(kEffects[0]);
    return kEffects;
}

const EffectInfo *findEffect(const std::string &name)
{
    for (const EffectInfo &info : kEffects) {
        if (name == info.name)
            return &info;
    }
    return nullptr;
}

int clampEffectValue(const EffectInfo &info, int value)
{
    if (value >= info.minimum && value <= info.maximum)
        return value;
    const int clamped = value < info.minimum ? info.minimum : info.maximum;
    qDebug().noquote() << QStringLiteral("Velvix: value %1 of \"%2\" is outside %3..%4, using %5")
                              .arg(value).arg(QString::fromLatin1(info.name))
                              .arg(info.minimum).arg(info.maximum).arg(clamped);
    return clamped;
}

bool parseExtraInfo(const char *text, QJsonObject *out)
{
    *out = QJsonObject();
    if (!text || !*text)
        return true;
    QByteArray bytes(text);
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        QByteArray escaped;
        escaped.reserve(bytes.size() + 8);
        for (int i = 0; i < bytes.size(); ++i) {
            escaped.append(bytes[i]);
            if (bytes[i] == '\\')
                escaped.append('\\');
        }
        QJsonParseError second{};
        QJsonDocument retry = QJsonDocument::fromJson(escaped, &second);
        if (second.error == QJsonParseError::NoError) {
            doc = retry;
            error = second;
        }
    }
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning().noquote() << "Velvix: malformed extra information:"
                             << (error.error != QJsonParseError::NoError ? error.errorString()
                                                                         : QStringLiteral("not an object"));
        return false;
    }
    *out = doc.object();
    return true;
}

bool parseNumberList(const QJsonValue &value, std::vector<double> *out)
{
    std::vector<double> numbers;
    if (value.isArray()) {
        for (const QJsonValue &item : value.toArray()) {
            if (!item.isDouble())
                return false;
            numbers.push_back(item.toDouble());
        }
    } else if (value.isString()) {
        QString text = value.toString().trimmed();
        if (!text.startsWith('[') || !text.endsWith(']'))
            return false;
        text = text.mid(1, text.size() - 2);
        if (text.trimmed().isEmpty())
            return false;
        for (const QString &piece : text.split(',')) {
            bool ok = false;
            const double number = piece.trimmed().toDouble(&ok);
            if (!ok)
                return false;
            numbers.push_back(number);
        }
    } else {
        return false;
    }
    for (double number : numbers) {
        if (!std::isfinite(number))
            return false;
    }
    *out = numbers;
    return true;
}

void logThrottled(const char *key, const QString &message)
{
    static std::mutex mutex;
    static std::map<std::string, qint64> lastLogged;
    static QElapsedTimer clock;
    std::lock_guard<std::mutex> lock(mutex);
    if (!clock.isValid())
        clock.start();
    const qint64 now = clock.elapsed();
    auto it = lastLogged.find(key);
    if (it != lastLogged.end() && now - it->second < 1000)
        return;
    lastLogged[key] = now;
    qWarning().noquote() << message;
}

std::string ComposeParams::defines() const
{
    static const std::pair<unsigned, const char *> kNames[] = {
        {Smooth, "SMOOTH"}, {Sharpen, "SHARPEN"}, {Whiten, "WHITEN"}, {Rosy, "ROSY"},
        {Brightness, "BRIGHTNESS"}, {Contrast, "CONTRAST"}, {Saturation, "SATURATION"},
        {Gain, "GAIN"}, {ShadowsHighlights, "SHADOWS_HIGHLIGHTS"}, {Fade, "FADE"},
        {Lut3d, "LUT3D"}, {Lut1d, "LUT1D"}, {Vignette, "VIGNETTE"}, {Grain, "GRAIN"}, {LutBaked, "LUT_BAKED"}, {ScaledSource, "SCALED_SOURCE"},
        {Warp, "WARP"},
    };
    std::string text;
    for (const auto &item : kNames) {
        if (features & item.first)
            text += std::string("#define ") + item.second + "\n";
    }
    if ((features & (Whiten | Rosy)) && !(features & Smooth))
        text += "#define SKIN_TONE\n";
    return text;
}

} // namespace velvix
