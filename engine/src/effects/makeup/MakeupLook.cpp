#include "effects/makeup/MakeupLook.h"

#include "core/EffectParams.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace velvix {

namespace {

// A template is a few hundred bytes; anything far larger is not one.
constexpr qint64 kMaxTemplateBytes = 64 * 1024;

struct KindName {
    MakeupKind kind;
    const char *effect;
    const char *kindName;  // the "kind" of template.json
    const char *region;    // the "region" of template.json
};

const KindName kKinds[] = {
    {MakeupKind::Lipstick, "makeup.lipstick", "lipstick", "lips"},
    {MakeupKind::Blush, "makeup.blush", "blush", "cheeks"},
    {MakeupKind::Eyebrow, "makeup.eyebrow", "eyebrow", "brows"},
    {MakeupKind::Eyeshadow, "makeup.eyeshadow", "eyeshadow", "eyelids"},
    {MakeupKind::Eyeliner, "makeup.eyeliner", "eyeliner", "lashline"},
    {MakeupKind::Contour, "makeup.contour", "contour", "contour"},
};

const KindName *kindEntry(MakeupKind kind)
{
    for (const KindName &entry : kKinds) {
        if (entry.kind == kind)
            return &entry;
    }
    return nullptr;
}

bool readTemplate(const QString &path, QJsonObject *out, QString *error)
{
    QString file = path;
    if (QFileInfo(path).isDir())
        file = QDir(path).filePath(QStringLiteral("template.json"));
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(file);
        return false;
    }
    if (input.size() > kMaxTemplateBytes) {
        *error = QStringLiteral("%1 is larger than %2 bytes").arg(file).arg(kMaxTemplateBytes);
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(input.read(kMaxTemplateBytes + 1), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object (%2)").arg(file, parse.errorString());
        return false;
    }
    *out = doc.object();
    return true;
}

bool parseColour(const QJsonValue &value, float out[3])
{
    if (!value.isString())
        return false;
    const QString text = value.toString();
    if (!text.startsWith('#') || text.size() != 7)
        return false;
    const QColor colour(text);
    if (!colour.isValid())
        return false;
    out[0] = static_cast<float>(colour.redF());
    out[1] = static_cast<float>(colour.greenF());
    out[2] = static_cast<float>(colour.blueF());
    return true;
}

bool parseBlend(const QJsonValue &value, MakeupBlend *out)
{
    static const std::pair<const char *, MakeupBlend> kBlends[] = {
        {"colour", MakeupBlend::Colour}, {"multiply", MakeupBlend::Multiply},
        {"softlight", MakeupBlend::SoftLight}, {"normal", MakeupBlend::Normal}, {"screen", MakeupBlend::Screen},
    };
    const QString text = value.toString();
    for (const auto &blend : kBlends) {
        if (text == QLatin1String(blend.first)) {
            *out = blend.second;
            return true;
        }
    }
    return false;
}

bool parseLayer(const QJsonObject &object, const char *colourKey, const char *blendKey, const char *opacityKey,
                MakeupLayer *layer, QString *error)
{
    MakeupLayer parsed;
    if (!parseColour(object.value(QLatin1String(colourKey)), parsed.colour)) {
        *error = QStringLiteral("\"%1\" is not a #RRGGBB colour").arg(QLatin1String(colourKey));
        return false;
    }
    if (!parseBlend(object.value(QLatin1String(blendKey)), &parsed.blend)) {
        *error = QStringLiteral("\"%1\" is not colour, multiply, softlight, normal or screen").arg(QLatin1String(blendKey));
        return false;
    }
    const QJsonValue opacity = object.value(QLatin1String(opacityKey));
    if (!opacity.isDouble() || opacity.toDouble() < 0 || opacity.toDouble() > 1) {
        *error = QStringLiteral("\"%1\" is not a number 0..1").arg(QLatin1String(opacityKey));
        return false;
    }
    parsed.opacity = static_cast<float>(opacity.toDouble());
    parsed.on = parsed.opacity > 0;
    *layer = parsed;
    return true;
}

} // namespace

MakeupKind makeupKindOf(const char *effectName)
{
    for (const KindName &entry : kKinds) {
        if (effectName && std::strcmp(effectName, entry.effect) == 0)
            return entry.kind;
    }
    return MakeupKind::Count;
}

bool loadMakeupPackage(const QString &path, MakeupKind kind, MakeupLayers *layers, QString *error)
{
    const KindName *entry = kindEntry(kind);
    if (!entry) {
        *error = QStringLiteral("not a makeup kind");
        return false;
    }
    QJsonObject object;
    if (!readTemplate(path, &object, error))
        return false;
    if (object.value(QStringLiteral("kind")).toString() != QLatin1String(entry->kindName)) {
        *error = QStringLiteral("%1 is not a %2 package").arg(path, QLatin1String(entry->kindName));
        return false;
    }
    const QJsonValue region = object.value(QStringLiteral("region"));
    if (!region.isUndefined() && region.toString() != QLatin1String(entry->region)) {
        *error = QStringLiteral("a %1 paints the region \"%2\", not \"%3\"")
                     .arg(QLatin1String(entry->kindName), QLatin1String(entry->region), region.toString());
        return false;
    }
    MakeupLayers parsed = *layers;
    if (!parseLayer(object, "color", "blend", "opacity", &parsed[static_cast<int>(kind)], error))
        return false;
    if (kind == MakeupKind::Contour) {
        MakeupLayer &highlight = parsed[static_cast<int>(MakeupKind::Highlight)];
        highlight = MakeupLayer();
        if (object.contains(QStringLiteral("highlightColor")) &&
            !parseLayer(object, "highlightColor", "highlightBlend", "highlightOpacity", &highlight, error))
            return false;
    }
    *layers = parsed;
    return true;
}

namespace {

// The single packages a look names, from `list` (an array of {"effect",
// "package", "strength"}); packages are folders of res/makeup/.
bool readLookLayers(const QString &path, const QString &lookDir, const QJsonValue &list, MakeupLayers *layers,
                    QString *error)
{
    if (!list.isArray() || list.toArray().isEmpty()) {
        *error = QStringLiteral("%1 names no makeup").arg(path);
        return false;
    }
    const QDir makeupDir(QDir(lookDir).absoluteFilePath(QStringLiteral("../../makeup")));
    MakeupLayers parsed{};
    for (const QJsonValue &item : list.toArray()) {
        const QJsonObject effect = item.toObject();
        const QByteArray name = effect.value(QStringLiteral("effect")).toString().toUtf8();
        const MakeupKind kind = makeupKindOf(name.constData());
        const QString package = effect.value(QStringLiteral("package")).toString();
        const QJsonValue strength = effect.value(QStringLiteral("strength"));
        if (kind == MakeupKind::Count) {
            *error = QStringLiteral("%1: \"%2\" is not a makeup effect").arg(path, QString::fromUtf8(name));
            return false;
        }
        // A package is a plain folder name: nothing outside res/makeup/.
        if (package.isEmpty() || package.contains('/') || package.contains('\\') || package.startsWith('.')) {
            *error = QStringLiteral("%1: \"%2\" is not a package name").arg(path, package);
            return false;
        }
        if (!strength.isDouble() || strength.toDouble() < 0 || strength.toDouble() > 100) {
            *error = QStringLiteral("%1: strength of %2 is not 0..100").arg(path, package);
            return false;
        }
        if (!loadMakeupPackage(makeupDir.filePath(package), kind, &parsed, error))
            return false;
        const float scale = static_cast<float>(strength.toDouble() / 100.0);
        parsed[static_cast<int>(kind)].opacity *= scale;
        if (kind == MakeupKind::Contour)
            parsed[static_cast<int>(MakeupKind::Highlight)].opacity *= scale;
    }
    *layers = parsed;
    return true;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
}

} // namespace

bool loadMakeupLook(const QString &path, MakeupLayers *layers, QString *error)
{
    QJsonObject object;
    if (!readTemplate(path, &object, error))
        return false;
    return readLookLayers(path, folderOf(path), object.value(QStringLiteral("effects")), layers, error);
}

bool loadStyleLook(const QString &path, MakeupLayers *layers, std::vector<StyleSetting> *settings, QString *error)
{
    QJsonObject object;
    if (!readTemplate(path, &object, error))
        return false;
    const QString lookDir = folderOf(path);
    MakeupLayers parsed{};
    if (!readLookLayers(path, lookDir, object.value(QStringLiteral("makeup")), &parsed, error))
        return false;
    std::vector<StyleSetting> others;
    const QJsonValue filter = object.value(QStringLiteral("filter"));
    if (!filter.isUndefined()) {
        const QString file = filter.toObject().value(QStringLiteral("path")).toString();
        const QJsonValue strength = filter.toObject().value(QStringLiteral("strength"));
        // Relative to res/, and inside it.
        if (file.isEmpty() || QDir::isAbsolutePath(file) || QDir::cleanPath(file).startsWith(QLatin1String(".."))) {
            *error = QStringLiteral("%1: the filter path \"%2\" is not inside the resources").arg(path, file);
            return false;
        }
        if (!strength.isDouble() || strength.toDouble() < 0 || strength.toDouble() > 100) {
            *error = QStringLiteral("%1: the filter strength is not 0..100").arg(path);
            return false;
        }
        others.push_back({"lut", strength.toInt(),
                          QDir(lookDir).absoluteFilePath(QStringLiteral("../../") + QDir::cleanPath(file)).toStdString()});
    }
    const QJsonObject shape = object.value(QStringLiteral("shape")).toObject();
    for (auto it = shape.begin(); it != shape.end(); ++it) {
        const std::string name = it.key().toStdString();
        const EffectInfo *info = findEffect(name);
        if (!info || std::strcmp(info->family, "reshape") != 0 || !it.value().isDouble() ||
            it.value().toDouble() < info->minimum || it.value().toDouble() > info->maximum) {
            *error = QStringLiteral("%1: \"%2\" is not a face-shape setting in its range").arg(path, it.key());
            return false;
        }
        others.push_back({name, it.value().toInt(), std::string()});
    }
    *layers = parsed;
    *settings = others;
    return true;
}

} // namespace velvix
