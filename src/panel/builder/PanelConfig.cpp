#include "PanelConfig.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <climits>
#include <cmath>

const QHash<QString, int> &uiTypeTable()
{
    static const QHash<QString, int> table = {
        {QStringLiteral("Slider"), UiSlider},
        {QStringLiteral("FoldPage"), UiFoldPage},
        {QStringLiteral("GroupButton1"), UiGroupButton1},
        {QStringLiteral("GroupButton2"), UiGroupButton2},
        {QStringLiteral("GroupButton3"), UiGroupButton3},
        {QStringLiteral("TabWidget1"), UiTabWidget1},
        {QStringLiteral("TabWidget2"), UiTabWidget2},
        {QStringLiteral("TabWidget3"), UiTabWidget3},
        {QStringLiteral("ModuleButton"), UiModuleButton},
        {QStringLiteral("ScrollButtonGroup"), UiScrollButtonGroup},
        {QStringLiteral("ScrollButtonGroupWithSlider"), UiScrollButtonGroupWithSlider},
        {QStringLiteral("CompositeType"), UiCompositeType},
        {QStringLiteral("ModuleGroup"), UiModuleGroup},
        {QStringLiteral("UploadImageButton"), UiUploadImageButton},
        {QStringLiteral("ResetButtonGroup"), UiResetButtonGroup},
        {QStringLiteral("ClearSwitchButton"), UiClearSwitchButton},
        {QStringLiteral("ImageLabel"), UiImageLabel},
        {QStringLiteral("ReturnButtonGroup"), UiReturnButtonGroup},
        {QStringLiteral("TextLabel"), UiTextLabel},
    };
    return table;
}

namespace {

// A whole JSON number that fits an int; anything else (fractions, strings,
// out-of-range numbers) reads as 0.
int wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < double(INT_MIN) || d > double(INT_MAX))
        return 0;
    return int(d);
}

std::string utf8(const QJsonValue &value)
{
    return value.toString().toUtf8().toStdString();
}

void readExtraInfo(const QJsonObject &object, std::map<std::string, std::string> *extraInfo)
{
    if (!object.contains(QLatin1String("extraInfo")))
        return;
    const QJsonObject info = object.value(QLatin1String("extraInfo")).toObject();
    for (auto it = info.constBegin(); it != info.constEnd(); ++it) {
        // Only JSON strings carry a value; anything else is kept as an empty one.
        (*extraInfo)[it.key().toUtf8().toStdString()] =
            it.value().isString() ? utf8(it.value()) : std::string();
    }
}

SdkParam readSdkParam(const QJsonObject &object)
{
    SdkParam param;
    param.effectName = utf8(object.value(QLatin1String("effectName")));
    param.effectValue = wholeNumber(object.value(QLatin1String("effectValue")));
    param.resourcePath = utf8(object.value(QLatin1String("resourcePath")));
    readExtraInfo(object, &param.extraInfo);
    return param;
}

} // namespace

void parsePanelItem(const QJsonObject &object, PanelItem *item)
{
    if (!item)
        return;

    item->displayName = object.value(QLatin1String("displayName")).toString();
    item->displayNameEn = object.value(QLatin1String("displayNameEn")).toString();

    const QString uiTypeText = object.value(QLatin1String("uiType")).toString();
    const auto &table = uiTypeTable();
    const auto found = table.constFind(uiTypeText);
    if (found != table.constEnd())
        item->uiType = found.value();

    item->uiState = wholeNumber(object.value(QLatin1String("uiState")));

    if (object.contains(QLatin1String("icon")))
        item->icon = object.value(QLatin1String("icon")).toString();

    if (object.contains(QLatin1String("sdkParam")))
        item->sdkParam = readSdkParam(object.value(QLatin1String("sdkParam")).toObject());

    if (object.contains(QLatin1String("propertyList"))) {
        const QJsonArray list = object.value(QLatin1String("propertyList")).toArray();
        const PanelItem *before = item->children.data();
        item->children.reserve(item->children.size() + std::size_t(list.size()));
        if (before != item->children.data()) {
            // Earlier children moved; their own children must follow them.
            for (PanelItem &child : item->children)
                for (PanelItem &grandChild : child.children)
                    grandChild.parent = &child;
        }
        for (const QJsonValue &element : list) {
            if (!element.isObject())
                continue;
            item->children.emplace_back();
            PanelItem &child = item->children.back();
            child.parent = item;
            parsePanelItem(element.toObject(), &child);
        }
    }

    if (object.contains(QLatin1String("paramList"))) {
        const QJsonArray list = object.value(QLatin1String("paramList")).toArray();
        for (const QJsonValue &element : list) {
            if (element.isObject())
                item->paramList.push_back(readSdkParam(element.toObject()));
        }
    }

    // The four slider captions travel together: without the main caption
    // none of them is taken from the file.
    if (object.contains(QLatin1String("defaultSliderDisPlayName"))) {
        item->defaultSliderDisPlayName = object.value(QLatin1String("defaultSliderDisPlayName")).toString();
        item->defaultSliderDisPlayNameEn = object.value(QLatin1String("defaultSliderDisPlayNameEn")).toString();
        item->extroSliderDisPlayName = object.value(QLatin1String("extroSliderDisPlayName")).toString();
        item->extroSliderDisPlayNameEn = object.value(QLatin1String("extroSliderDisPlayNameEn")).toString();
    }

    if (object.contains(QLatin1String("resourceUri")))
        item->resourceUri = object.value(QLatin1String("resourceUri")).toString();
    if (object.contains(QLatin1String("downloadPath")))
        item->downloadPath = object.value(QLatin1String("downloadPath")).toString();
}

void loadPanelFile(const QString &path, PanelItem *item)
{
    if (!item)
        return;
    *item = PanelItem();

    const QFileInfo info(path);
    if (!info.exists() || info.suffix() != QLatin1String("json")) {
        qDebug().noquote() << QStringLiteral("open json file failed: ") + path;
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << QStringLiteral("open json file failed: ") + path;
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        qDebug().noquote() << QStringLiteral("load json error: ") + error.errorString();
        return;
    }
    // An array at the top level holds no item: the result is a default item.
    parsePanelItem(document.object(), item);
}
