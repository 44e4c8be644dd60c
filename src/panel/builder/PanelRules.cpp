// The panel rules: what a click or slider move on a built page does to the
// PanelItem records and which effect settings it sends to the frame pipeline.
// Everything here runs on the GUI thread.
#include "WidgetCreater.h"

#include "PictureIO.h"
#include "ResetDialog.h"
#include "SideBarWidget.h"
#include "SwitchButton.h"
#include "VideoFilter.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Swallows user input for the whole application while it lives: a rule that
// waits for a download runs a local event loop, and no click may start
// another rule (or destroy the page of the waiting one) meanwhile.
class InputBlocker : public QObject
{
public:
    InputBlocker() { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
            return watched->isWidgetType() || watched->isWindowType();
        default:
            return false;
        }
    }
};

bool isActive(const PanelItem &item)
{
    return item.uiType == UiSlider || item.uiState != 0;
}

// The module walk: the module, then its descendants, each item before its
// children, siblings from last to first.
template <typename Visit>
void walkModule(PanelItem *module, Visit visit)
{
    std::vector<PanelItem *> pending{module};
    while (!pending.empty()) {
        PanelItem *item = pending.back();
        pending.pop_back();
        visit(item);
        for (PanelItem &child : item->children)
            pending.push_back(&child);
    }
}

std::vector<PanelItem *> activeItems(PanelItem *module)
{
    std::vector<PanelItem *> items;
    if (module)
        walkModule(module, [&items](PanelItem *item) {
            if (isActive(*item))
                items.push_back(item);
        });
    return items;
}

// Forces the slider's rule to run even when it already holds the value.
void setSliderForcing(QSlider *slider, int value)
{
    if (!slider)
        return;
    if (slider->value() == value)
        emit slider->valueChanged(value);
    else
        slider->setValue(value);
}

// Marks an option deselected; its group forgets it when it was the selected one.
void deselectOption(PanelItem *option)
{
    option->uiState = 0;
    PanelItem *group = option->parent;
    if (!group || group->selectedIndex < 0 || std::size_t(group->selectedIndex) >= group->children.size())
        return;
    if (&group->children[std::size_t(group->selectedIndex)] == option)
        group->selectedIndex = -1;
}

void selectOption(PanelItem *option)
{
    option->uiState = 2;
    PanelItem *group = option->parent;
    if (!group)
        return;
    for (std::size_t i = 0; i < group->children.size(); ++i) {
        if (&group->children[i] == option)
            group->selectedIndex = int(i);
    }
}

QString greenParamsText(const PanelItem &uploadItem)
{
    QStringList values;
    for (const PanelItem &child : uploadItem.children)
        values << QString::number(child.sdkParam.effectValue);
    return QLatin1Char('[') + values.join(QLatin1Char(',')) + QLatin1Char(']');
}

QByteArray fileHeader(const QString &path, bool *readable)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *readable = false;
        return QByteArray();
    }
    *readable = true;
    return file.read(16);
}

bool isJpeg(const QByteArray &h)
{
    return h.size() >= 3 && uchar(h[0]) == 0xFF && uchar(h[1]) == 0xD8 && uchar(h[2]) == 0xFF;
}
bool isPng(const QByteArray &h)
{
    return h.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8));
}
bool isWebp(const QByteArray &h)
{
    return h.size() >= 15 && h.startsWith("RIFF") && h.mid(8, 4) == "WEBP";
}

// Who is cleared when a module comes into use: (group caption, module name).
QList<QPair<QString, QString>> excludedModules(const QString &shown)
{
    using Entry = QPair<QString, QString>;
    const Entry beauty{QStringLiteral("美颜美型"), QStringLiteral("美颜")};
    const Entry premium{QStringLiteral("美颜美型"), QStringLiteral("高级美型")};
    const Entry quality{QStringLiteral("滤镜调色"), QStringLiteral("画质调整")};
    const Entry single{QStringLiteral("美妆"), QStringLiteral("单点美妆")};
    const Entry light{QStringLiteral("美妆"), QStringLiteral("轻美妆")};
    const Entry lut{QStringLiteral("滤镜调色"), QStringLiteral("滤镜")};
    const Entry templates{QStringLiteral("模板"), QStringLiteral("美颜模板")};
    const QList<Entry> stickers{{QStringLiteral("贴纸特效"), QStringLiteral("虚拟背景")},
                                {QStringLiteral("贴纸特效"), QStringLiteral("2D贴纸")},
                                {QStringLiteral("贴纸特效"), QStringLiteral("3D贴纸")},
                                {QStringLiteral("贴纸特效"), QStringLiteral("手势贴纸")},
                                {QStringLiteral("美妆"), QStringLiteral("风格整妆")}};

    if (shown == templates.second)
        return {beauty, premium, quality, single};
    if (shown == beauty.second || shown == premium.second || shown == quality.second)
        return {templates};
    if (shown == single.second)
        return {light, templates};
    if (shown == light.second)
        return {single, lut};
    if (shown == lut.second)
        return {light};
    for (const Entry &sticker : stickers) {
        if (shown == sticker.second)
            return stickers;
    }
    return {};
}

} // namespace

// ---------------------------------------------------------------- sending

void WidgetCreater::sendSetting(const SdkParam &setting, int value, const std::string &resourcePath,
                                bool categoryFallback)
{
    if (!videoFilter)
        return;
    const std::string &name =
        (categoryFallback && setting.effectName.empty()) ? currentCategory : setting.effectName;
    // A setting of no effect (a "none" option outside a category, a switch
    // row) has nothing to tell the engine.
    if (name.empty())
        return;
    videoFilter->updateEffect(name.c_str(), value, resourcePath, setting.extraInfo);
}

void WidgetCreater::applyParam(const SdkParam &setting)
{
    sendSetting(setting, setting.effectValue, setting.resourcePath, true);
}

void WidgetCreater::applyParamList(const std::vector<SdkParam> &list)
{
    for (const SdkParam &entry : list)
        sendSetting(entry, entry.effectValue, entry.resourcePath, false);
    refresh();
}

void WidgetCreater::refresh()
{
    if (videoFilter)
        videoFilter->refreshImageFrame();
}

void WidgetCreater::applyModule(PanelItem *module)
{
    for (PanelItem *item : activeItems(module)) {
        if (item->paramList.empty())
            applyParam(item->sdkParam);
        else
            applyParamList(item->paramList);
    }
    refresh();
}

void WidgetCreater::clearModule(PanelItem *module)
{
    for (PanelItem *item : activeItems(module)) {
        if (item->paramList.empty()) {
            sendSetting(item->sdkParam, 0, std::string(), true);
        } else {
            for (const SdkParam &entry : item->paramList)
                sendSetting(entry, 0, std::string(), true);
        }
    }
    refresh();
}

void WidgetCreater::clearCategoryEffects()
{
    if (!videoFilter)
        return;
    videoFilter->clearAllEffects();
    for (const char *category : {"motion", "lut", "light.makeup", "makeup", "segmentation"})
        videoFilter->updateEffect(category, 0, std::string(), {});
}

// ---------------------------------------------------------------- modules

PanelItem *WidgetCreater::moduleAt(int index)
{
    if (index < 0 || std::size_t(index) >= rootItem.children.size())
        return nullptr;
    return &rootItem.children[std::size_t(index)];
}

void WidgetCreater::setModuleDot(const QString &groupName, const QString &moduleName, bool visible)
{
    if (!sideBar)
        return;
    if (BeautyModuleButton *button = sideBar->findModuleButton(groupName, moduleName))
        button->setDotVisible(visible);
}

BeautyModuleButton *WidgetCreater::shownModuleSideButton() const
{
    // The builder may run a rule for a new page before it records the
    // page's button; the side bar knows the button of the shown module.
    const QString name = currentModuleName();
    if (sideBar && !name.isEmpty()) {
        if (BeautyModuleButton *button = sideBar->findModuleButton(groupOfModule(name), name))
            return button;
    }
    return currentModuleButton;
}

void WidgetCreater::markModuleInUse()
{
    PanelItem *module = moduleAt(currentModuleIndex);
    if (!module || module->uiState == 1)
        return;
    const QString name = module->displayName;
    if (name == QStringLiteral("原子能力")) {
        for (PanelItem &other : rootItem.children)
            other.uiState = 0;
        if (sideBar) {
            for (BeautyModuleButton *button : sideBar->moduleButtons())
                button->setDotVisible(false);
        }
    } else {
        for (const auto &excluded : excludedModules(name)) {
            PanelItem *other = moduleAt(moduleIndexByName.value(excluded.second, -1));
            if (!other)
                continue;
            other->uiState = 0;
            setModuleDot(excluded.first, excluded.second, false);
        }
    }
    module->uiState = 1;
    if (BeautyModuleButton *button = shownModuleSideButton())
        button->setDotVisible(true);
}

bool WidgetCreater::refuseWhileDownloading(const char *rule) const
{
    if (!m_waitingForDownload)
        return false;
    qDebug().noquote() << QStringLiteral("WidgetCreater: 资源下载中，忽略操作") << rule;
    return true;
}

int WidgetCreater::askUser(ResetDialog &dialog)
{
    if (!m_dialogAnswers.isEmpty())
        return m_dialogAnswers.takeFirst()(dialog);
    return dialog.exec();
}

// ---------------------------------------------------------------- resources

void WidgetCreater::ensureResource(PanelItem *item)
{
    if (!item || item->resourceUri.isEmpty() || !item->sdkParam.resourcePath.empty())
        return;

    const QString fileName = QUrl(item->resourceUri).fileName(QUrl::FullyDecoded);
    // The name becomes part of a local path: nothing that leaves the folder.
    if (fileName.isEmpty() || fileName == QStringLiteral(".") || fileName == QStringLiteral("..")
        || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\'))) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 资源地址没有可用的文件名:") << item->resourceUri;
        return;
    }
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot >= 0 ? fileName.mid(dot + 1) : QString();
    const QString baseName = dot >= 0 ? fileName.left(dot) : fileName;
    const bool isZip = suffix == QStringLiteral("zip");

    const QString localPath = resourceDir + currentDownloadPath + (isZip ? baseName : fileName);
    qDebug().noquote() << QFileInfo(localPath).absoluteFilePath() << fileName;

    QString tail = QStringLiteral("/template.json");
    if (currentCategory == "light.makeup")
        tail = QStringLiteral("/");
    else if (currentCategory == "lut")
        tail = QLatin1Char('.') + suffix;
    const std::string resourcePath = (currentDownloadPath + baseName + tail).toStdString();

    if (QFileInfo::exists(localPath)) {
        item->sdkParam.resourcePath = resourcePath;
        return;
    }

    const QString folder = resourceDir + currentDownloadPath;
    if (!QDir().mkpath(folder)) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 无法创建下载目录，下载失败:") << folder;
        return;
    }

    emit requestShowLoading();
    {
        // The transfer runs a local event loop; nothing else may run a rule
        // (or destroy the page holding this item) until it has ended.
        InputBlocker blocker;
        m_waitingForDownload = true;
        m_networkManager.downloadFile(item->resourceUri, isZip ? localPath + QStringLiteral(".zip") : localPath);
        m_waitingForDownload = false;
    }
    if (QFileInfo::exists(localPath))
        item->sdkParam.resourcePath = resourcePath;
}

// ---------------------------------------------------------------- slider rules

void WidgetCreater::onSliderValueChanged(PanelItem *item, bool itemIsSlider, bool extraMode, int value)
{
    if (!item || refuseWhileDownloading("onSliderValueChanged"))
        return;
    const SdkParam *setting = nullptr;
    if (itemIsSlider) {
        item->sdkParam.effectValue = value;
        setting = &item->sdkParam;
    } else {
        if (item->selectedIndex < 0 || std::size_t(item->selectedIndex) >= item->children.size()) {
            markModuleInUse();
            return;
        }
        PanelItem &child = item->children[std::size_t(item->selectedIndex)];
        if (extraMode) {
            if (child.sdkParam.extraInfo.size() == 1)
                child.sdkParam.extraInfo.begin()->second = std::to_string(value);
        } else {
            child.sdkParam.effectValue = value;
        }
        setting = &child.sdkParam;
    }
    applyParam(*setting);
    markModuleInUse();
}

void WidgetCreater::syncSliderToSwitch(QSlider *slider, QLabel *valueLabel, PanelItem *item, bool itemIsSlider,
                                       bool extraMode, bool checked)
{
    if (!slider || !item)
        return;
    const QSignalBlocker blocker(slider);
    int value = 0;
    if (checked) {
        if (itemIsSlider) {
            value = item->sdkParam.effectValue;
        } else {
            if (item->selectedIndex < 0 || std::size_t(item->selectedIndex) >= item->children.size())
                return;
            const PanelItem &child = item->children[std::size_t(item->selectedIndex)];
            if (extraMode) {
                if (!singleExtraValue(child.sdkParam, &value))
                    return;
            } else {
                value = child.sdkParam.effectValue;
            }
        }
    }
    slider->setValue(value);
    if (valueLabel)
        valueLabel->setText(QString::number(value));
}

void WidgetCreater::syncParamSliderToSwitch(QSlider *slider, QLabel *valueLabel, SdkParam *setting, bool checked)
{
    if (!slider || !setting)
        return;
    const QSignalBlocker blocker(slider);
    const int value = checked ? setting->effectValue : 0;
    slider->setValue(value);
    if (valueLabel)
        valueLabel->setText(QString::number(value));
}

// ---------------------------------------------------------------- option rules

void WidgetCreater::onGroupOptionClicked(PanelItem *group, QSlider *slider, int index, QWidget *sliderRow)
{
    if (!group || index < 0 || std::size_t(index) >= group->children.size()
        || refuseWhileDownloading("onGroupOptionClicked"))
        return;
    const int prev = group->selectedIndex;
    if (prev >= 0 && std::size_t(prev) < group->children.size())
        group->children[std::size_t(prev)].uiState = 0;

    PanelItem &option = group->children[std::size_t(index)];
    if (index != 0) {
        if (sliderRow)
            sliderRow->show();
        group->selectedIndex = index;
        option.uiState = 2;
        setSliderForcing(slider, option.sdkParam.effectValue);
        markModuleInUse();
        return;
    }
    if (sliderRow)
        sliderRow->hide();
    if (prev > 0 && std::size_t(prev) < group->children.size()) {
        const SdkParam &previous = group->children[std::size_t(prev)].sdkParam;
        sendSetting(previous, 0, previous.resourcePath, true);
    }
    group->selectedIndex = 0;
    option.uiState = 2;
}

void WidgetCreater::onScrollOptionClicked(PanelItem *group, int index, const QString &moduleName,
                                          const QString &groupName)
{
    if (!group || index < 0 || std::size_t(index) >= group->children.size()
        || refuseWhileDownloading("onScrollOptionClicked"))
        return;
    PanelItem &option = group->children[std::size_t(index)];
    if (!option.resourceUri.isEmpty())
        ensureResource(&option);

    const int prev = group->selectedIndex;
    if (prev >= 0 && std::size_t(prev) < group->children.size())
        group->children[std::size_t(prev)].uiState = 0;
    if (index == 0 && prev > 0 && std::size_t(prev) < group->children.size()) {
        const SdkParam &previous = group->children[std::size_t(prev)].sdkParam;
        sendSetting(previous, previous.effectValue, std::string(), true);
        setModuleDot(groupName, moduleName, false);
    }
    group->selectedIndex = index;
    option.uiState = 2;
    applyParam(option.sdkParam);
    if (index != 0) {
        setModuleDot(groupName, moduleName, true);
        markModuleInUse();
    }
}

void WidgetCreater::onSliderOptionClicked(PanelItem *group, const QString &moduleName, const QString &groupName,
                                          QSlider *mainSlider, QSlider *secondSlider, QWidget *mainRow,
                                          QWidget *secondRow, int index)
{
    if (!group || index < 0 || std::size_t(index) >= group->children.size()
        || refuseWhileDownloading("onSliderOptionClicked"))
        return;
    PanelItem &option = group->children[std::size_t(index)];
    if (!option.resourceUri.isEmpty())
        ensureResource(&option);

    const int prev = group->selectedIndex;
    if (prev >= 0 && std::size_t(prev) < group->children.size())
        group->children[std::size_t(prev)].uiState = 0;

    if (index != 0) {
        if (mainRow)
            mainRow->show();
        if (secondRow)
            secondRow->setVisible(!option.sdkParam.extraInfo.empty());
        group->selectedIndex = index;
        option.uiState = 2;
        setModuleDot(groupName, moduleName, true);
        setSliderForcing(mainSlider, option.sdkParam.effectValue);
        int extra = 0;
        if (secondSlider && singleExtraValue(option.sdkParam, &extra))
            setSliderForcing(secondSlider, extra);
        markModuleInUse();
        return;
    }

    if (mainRow)
        mainRow->hide();
    if (secondRow)
        secondRow->hide();
    if (prev > 0 && std::size_t(prev) < group->children.size()) {
        const SdkParam &previous = group->children[std::size_t(prev)].sdkParam;
        sendSetting(previous, previous.effectValue, std::string(), true);
        setModuleDot(groupName, moduleName, false);
    }
    group->selectedIndex = 0;
    option.uiState = 2;
}

// ---------------------------------------------------------------- switch, restore, reset

void WidgetCreater::onModuleSwitchToggled(PanelItem *switchItem, bool checked)
{
    if (!switchItem || refuseWhileDownloading("onModuleSwitchToggled"))
        return;
    switchItem->uiState = checked ? 0 : 2;
    PanelItem *module = moduleAt(currentModuleIndex);
    BeautyModuleButton *button = shownModuleSideButton();
    if (!checked) {
        if (pageStack)
            pageStack->setMaskVisible(true);
        clearModule(module);
        if (button)
            button->setDotVisible(false);
    } else {
        if (pageStack)
            pageStack->setMaskVisible(false);
        applyModule(module);
        if (button && module && module->uiState != 0)
            button->setDotVisible(true);
    }
}

void WidgetCreater::rebuildEffectIndex()
{
    // Pointers into a reloaded module are gone; the whole index is rebuilt
    // so the first-wins order of the four modules holds as at start-up.
    effectIndex.clear();
    for (int index : qAsConst(templateTargetModules)) {
        if (PanelItem *module = moduleAt(index))
            indexEffectItems(module);
    }
}

void WidgetCreater::restorePreset()
{
    if (refuseWhileDownloading("restorePreset"))
        return;
    PanelItem *module = moduleAt(currentModuleIndex);
    if (!module || currentModuleIndex >= moduleFiles.size())
        return;
    clearPages();
    clearModule(module);
    loadPanelFile(panelJsonDir + moduleFiles[currentModuleIndex], module);
    module->parent = &rootItem;
    ++m_treeReloads;
    rebuildEffectIndex();
    applyModule(module);
    if (BeautyModuleButton *button = currentModuleButton) {
        emit button->clicked(false);
        button->setDotVisible(module->uiState == 1);
    }
}

void WidgetCreater::resetAllEffects()
{
    if (!sideBar || !pageStack || !videoFilter || refuseWhileDownloading("resetAllEffects"))
        return;
    // The shown page is switched off first and everything is cleared after
    // it, so nothing it held (a custom background's picture) is the last
    // word the engine hears.
    if (PanelItem *shown = moduleAt(currentModuleIndex))
        clearModule(shown);
    clearCategoryEffects();
    // Mirrored custom backgrounds die with the records that name them.
    for (PanelItem &module : rootItem.children) {
        walkModule(&module, [this](PanelItem *item) {
            const auto found = item->sdkParam.extraInfo.find("bgPath");
            if (found != item->sdkParam.extraInfo.end() && !found->second.empty())
                removeMirroredBackground(QString::fromStdString(found->second),
                                         "WidgetCreater: 重置时清理镜像文件:");
        });
    }
    m_templateExtras.clear();
    m_atomicAbilitiesOn.clear();
    clearPages();
    ++m_treeReloads;
    buildPanels(sideBar, pageStack, videoFilter, dialogAnchor, false);
    if (!rootItem.children.empty()) {
        const PanelItem &first = rootItem.children.front();
        if (first.selectedIndex >= 0 && std::size_t(first.selectedIndex) < first.children.size())
            applyTemplate(first.children[std::size_t(first.selectedIndex)].paramList);
    }
    refresh();
}

// ---------------------------------------------------------------- atomic abilities

void WidgetCreater::onAtomicAbilityToggled(QWidget *container, int index, const PanelItem &groupCopy,
                                           SwitchButton *abilitySwitch, bool checked)
{
    if (index < 0 || std::size_t(index) >= groupCopy.children.size()
        || refuseWhileDownloading("onAtomicAbilityToggled"))
        return;
    // Copies: the connection that holds groupCopy dies with the switch, and a
    // module click while the dialog is open destroys the switch.
    const SdkParam setting = groupCopy.children[std::size_t(index)].sdkParam;
    const QString displayName = groupCopy.children[std::size_t(index)].displayName;
    const std::string key = effectKey(setting);

    if (!checked) {
        // Only what the engine was told to switch on is switched off again;
        // the cancelled dialog's unchecking sends nothing.
        if (m_atomicAbilitiesOn.erase(key) > 0) {
            sendSetting(setting, 0, setting.resourcePath, true);
            refresh();
        }
        return;
    }

    QPointer<SwitchButton> guardedSwitch(abilitySwitch);
    const int moduleIndex = currentModuleIndex;
    const quint64 reloads = m_treeReloads;
    ResetDialog dialog(QStringLiteral("确认开启") + displayName + QStringLiteral("?"),
                       QStringLiteral("开启后，所有美颜效果将会恢复至默认状态，且重置操作不可撤回。"),
                       QStringLiteral("开启"), QStringLiteral("取消"), container ? container->window() : nullptr);
    dialog.setWindowModality(Qt::WindowModal);
    const int answer = askUser(dialog);

    if (!guardedSwitch || moduleIndex != currentModuleIndex || reloads != m_treeReloads) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 原子能力开关已不在页面上，忽略确认结果");
        return;
    }
    if (answer != QDialog::Accepted) {
        guardedSwitch->setChecked(false);
        return;
    }
    // What the dialog promises: every beauty effect back to its default. The
    // abilities already switched on stay on, as their switches show.
    clearCategoryEffects();
    markModuleInUse();
    m_atomicAbilitiesOn[key] = setting;
    for (const auto &ability : m_atomicAbilitiesOn)
        applyParam(ability.second);
    refresh();
}

// ---------------------------------------------------------------- custom background

void WidgetCreater::removeMirroredBackground(const QString &path, const char *logLine)
{
    // Only our own mirrored copies, in our private folder, are ever deleted;
    // a description file cannot name anything else for deletion.
    if (path.isEmpty() || !path.contains(QStringLiteral("_mirrored.")) || !picture::isInPrivateTempDir(path)
        || !QFileInfo(path).isFile())
        return;
    qDebug().noquote() << QString::fromUtf8(logLine) << path;
    QFile::remove(path);
}

void WidgetCreater::onCustomBackgroundChosen(PanelItem *uploadItem, const QList<QWidget *> &parameterRows,
                                             const QString &imagePath)
{
    if (!uploadItem || refuseWhileDownloading("onCustomBackgroundChosen"))
        return;
    auto deselectSiblings = [uploadItem]() {
        if (uploadItem->parent) {
            for (PanelItem &child : uploadItem->parent->children)
                child.uiState = 0;
        }
    };
    deselectSiblings();
    const QString previous = QString::fromStdString(uploadItem->sdkParam.extraInfo["bgPath"]);

    QImage image;
    if (image.load(imagePath)) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 直接加载图片成功");
    } else {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 直接加载失败，尝试智能格式检测");
        QImageReader reader(imagePath);
        reader.setDecideFormatFromContent(true);
        image = reader.read();
        if (image.isNull()) {
            qDebug().noquote() << QStringLiteral("WidgetCreater: QImage直接加载失败，尝试格式检测");
            bool readable = false;
            const QByteArray header = fileHeader(imagePath, &readable);
            const char *forced = nullptr;
            if (isJpeg(header)) {
                qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到JPEG格式，强制加载");
                forced = "JPEG";
            } else if (isPng(header)) {
                qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到PNG格式，强制加载");
                forced = "PNG";
            } else if (isWebp(header)) {
                qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到WebP格式，强制加载");
                forced = "WEBP";
            }
            if (!forced || !image.load(imagePath, forced)) {
                qDebug().noquote() << QStringLiteral("WidgetCreater: 所有加载方法都失败");
                return;
            }
            qDebug().noquote() << QStringLiteral("WidgetCreater: 智能加载成功，尺寸:")
                               << QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
        }
    }
    if (image.isNull()) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 最终图片加载失败");
        return;
    }
    image = image.mirrored(true, false);

    QString format = QStringLiteral("PNG");
    bool readable = false;
    const QByteArray header = fileHeader(imagePath, &readable);
    if (!readable) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 无法读取文件头部，使用默认PNG格式");
    } else if (isJpeg(header)) {
        format = QStringLiteral("JPEG");
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到真实格式为JPEG");
    } else if (isPng(header)) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到真实格式为PNG");
    } else if (header.startsWith("GIF8")) {
        format = QStringLiteral("GIF");
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到真实格式为GIF");
    } else if (header.startsWith("BM")) {
        format = QStringLiteral("BMP");
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到真实格式为BMP");
    } else if (isWebp(header)) {
        format = QStringLiteral("WEBP");
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测到真实格式为WebP");
    } else {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 无法检测真实格式，使用默认PNG");
    }

    // Mirrored copies live in the user's private folder, never beside the
    // picture or under a path a description file chose.
    const QString folder = picture::privateTempDir();
    if (folder.isEmpty()) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: PNG格式保存也失败，放弃保存");
        return;
    }
    const QString baseName = QFileInfo(imagePath).completeBaseName();
    QString target = folder + QLatin1Char('/') + baseName + QStringLiteral("_mirrored.") + format.toLower();
    qDebug().noquote() << QStringLiteral("WidgetCreater: 尝试保存镜像图片到:") << target << QStringLiteral("格式:")
                       << format;
    if (image.save(target, format.toLatin1().constData())) {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 检测格式保存成功");
    } else {
        qDebug().noquote() << QStringLiteral("WidgetCreater: 使用检测格式保存失败，尝试备用格式PNG");
        target = folder + QLatin1Char('/') + baseName + QStringLiteral("_mirrored.png");
        if (!image.save(target, "PNG")) {
            qDebug().noquote() << QStringLiteral("WidgetCreater: PNG格式保存也失败，放弃保存");
            return;
        }
        qDebug().noquote() << QStringLiteral("WidgetCreater: PNG格式保存成功");
    }
    // The old copy goes only once the new one exists (and is not the same file).
    if (QFileInfo(previous).absoluteFilePath() != QFileInfo(target).absoluteFilePath())
        removeMirroredBackground(previous, "WidgetCreater: 清理旧的镜像文件:");

    deselectSiblings();
    qDebug().noquote() << QStringLiteral("targetFilePath: ") << target;
    uploadItem->uiState = 2;
    // Within a group of preset backgrounds the custom picture is the
    // selected option, so picking a preset afterwards deselects it.
    if (uploadItem->parent) {
        for (std::size_t i = 0; i < uploadItem->parent->children.size(); ++i)
            if (&uploadItem->parent->children[i] == uploadItem)
                uploadItem->parent->selectedIndex = int(i);
    }
    uploadItem->icon = target;
    uploadItem->sdkParam.extraInfo["bgType"] = "0";
    uploadItem->sdkParam.extraInfo["bgPath"] = target.toStdString();
    if (!parameterRows.isEmpty()) {
        uploadItem->sdkParam.extraInfo["green_params_v2"] = greenParamsText(*uploadItem).toStdString();
        for (QWidget *row : parameterRows) {
            if (row)
                row->show();
        }
    }
    applyParam(uploadItem->sdkParam);
    markModuleInUse();
}

void WidgetCreater::onCustomBackgroundCancelled(PanelItem *uploadItem, const QList<QWidget *> &parameterRows)
{
    if (!uploadItem || refuseWhileDownloading("onCustomBackgroundCancelled"))
        return;
    removeMirroredBackground(QString::fromStdString(uploadItem->sdkParam.extraInfo["bgPath"]),
                             "WidgetCreater: 取消时清理镜像文件:");
    uploadItem->icon.clear();
    uploadItem->sdkParam.extraInfo["bgType"] = "0";
    uploadItem->sdkParam.extraInfo["bgPath"] = std::string();
    uploadItem->uiState = 0;
    sendSetting(uploadItem->sdkParam, uploadItem->sdkParam.effectValue, std::string(), true);
    for (QWidget *row : parameterRows) {
        if (row)
            row->hide();
    }
}

void WidgetCreater::onGreenParamChanged(PanelItem *uploadItem, int childIndex, int value)
{
    if (!uploadItem || uploadItem->uiState == 0 || childIndex < 0
        || std::size_t(childIndex) >= uploadItem->children.size() || refuseWhileDownloading("onGreenParamChanged"))
        return;
    uploadItem->children[std::size_t(childIndex)].sdkParam.effectValue = value;
    uploadItem->sdkParam.extraInfo["green_params_v2"] = greenParamsText(*uploadItem).toStdString();
    applyParam(uploadItem->sdkParam);
}

// ---------------------------------------------------------------- templates

void WidgetCreater::resetTemplateModules()
{
    for (int index : qAsConst(templateTargetModules)) {
        for (PanelItem *item : activeItems(moduleAt(index))) {
            item->sdkParam.effectValue = 0;
            sendSetting(item->sdkParam, 0, item->sdkParam.resourcePath, true);
            if (item->uiType != UiSlider)
                deselectOption(item);
        }
    }
    // What the last template set outside the four modules goes too.
    for (const SdkParam &extra : m_templateExtras)
        sendSetting(extra, 0, std::string(), false);
    m_templateExtras.clear();
    refresh();
}

void WidgetCreater::applyTemplate(const std::vector<SdkParam> &list)
{
    resetTemplateModules();
    std::vector<SdkParam> unmatched;
    for (const SdkParam &entry : list) {
        const auto found = effectIndex.find(effectKey(entry));
        if (found == effectIndex.end()) {
            unmatched.push_back(entry);
            continue;
        }
        PanelItem *item = found->second;
        item->sdkParam.effectValue = entry.effectValue;
        if (item->uiType != UiSlider)
            selectOption(item);
    }
    // Fine-tuning shown on the template page is overwritten by this.
    m_templatePanelSeededFor = -1;
    if (!videoFilter)
        return;
    for (const SdkParam &entry : list)
        sendSetting(entry, entry.effectValue, entry.resourcePath, false);
    m_templateExtras = std::move(unmatched);
    refresh();
}

void WidgetCreater::applySelectedTemplate()
{
    if (rootItem.children.empty())
        return;
    const PanelItem &group = rootItem.children.front();
    if (group.selectedIndex < 0 || std::size_t(group.selectedIndex) >= group.children.size())
        return;
    applyTemplate(group.children[std::size_t(group.selectedIndex)].paramList);
}

bool WidgetCreater::templateEditable(const PanelItem **templateOut)
{
    if (rootItem.children.empty())
        return false;
    const PanelItem &group = rootItem.children.front();
    if (editedTemplateIndex < 0 || std::size_t(editedTemplateIndex) >= group.children.size())
        return false;
    const PanelItem &chosen = group.children[std::size_t(editedTemplateIndex)];
    if (chosen.paramList.empty())
        return false;
    if (templateOut)
        *templateOut = &chosen;
    return true;
}

void WidgetCreater::onTemplateClicked(PanelItem *group, int index, const QString &moduleName,
                                      const QString &groupName)
{
    if (!group || index < 0 || std::size_t(index) >= group->children.size()
        || refuseWhileDownloading("onTemplateClicked"))
        return;
    if (group->children[std::size_t(index)].uiState == 2) {
        // The selected tile clicked again opens its fine-tuning page.
        editedTemplateIndex = index;
        openTemplateEditor();
        return;
    }

    ResetDialog dialog(QStringLiteral("应用美颜模板效果？"),
                       QStringLiteral("请注意，当前配置的美颜与美妆效果将被美颜模版效果覆盖。"),
                       QStringLiteral("应用"), QStringLiteral("取消"), pageStack ? pageStack->window() : nullptr);
    dialog.setModal(true);
    if (dialogAnchor)
        dialog.setAnchorWidget(dialogAnchor);
    const quint64 reloads = m_treeReloads;
    if (askUser(dialog) != QDialog::Accepted || reloads != m_treeReloads)
        return;

    if (group->selectedIndex >= 0 && std::size_t(group->selectedIndex) < group->children.size())
        group->children[std::size_t(group->selectedIndex)].uiState = 0;
    group->selectedIndex = index;
    PanelItem &chosen = group->children[std::size_t(index)];
    chosen.uiState = 2;
    applyTemplate(chosen.paramList);
    setModuleDot(groupName, moduleName, true);
    markModuleInUse();
}

void WidgetCreater::onNoTemplateClicked(PanelItem *group, const QString &moduleName, const QString &groupName)
{
    if (!group || group->children.empty() || refuseWhileDownloading("onNoTemplateClicked"))
        return;
    if (group->selectedIndex == 0)
        return;
    if (group->selectedIndex > 0 && std::size_t(group->selectedIndex) < group->children.size())
        group->children[std::size_t(group->selectedIndex)].uiState = 0;
    group->selectedIndex = 0;
    group->children.front().uiState = 2;
    resetTemplateModules();
    setModuleDot(groupName, moduleName, false);
}

void WidgetCreater::seedTemplatePanel(const std::vector<SdkParam> &list)
{
    // The page shows the template being edited: the template's value where
    // it has one, nothing selected and zero elsewhere, as the engine has it.
    std::unordered_map<std::string, int> values;
    for (const SdkParam &entry : list)
        values.emplace(effectKey(entry), entry.effectValue);
    walkModule(&templatePanelItem, [](PanelItem *item) {
        if (item->uiType != UiSlider && !item->children.empty())
            item->selectedIndex = -1;
    });
    walkModule(&templatePanelItem, [&values](PanelItem *item) {
        if (item->sdkParam.effectName.empty())
            return;
        const auto found = values.find(effectKey(item->sdkParam));
        item->sdkParam.effectValue = found == values.end() ? 0 : found->second;
        if (item->uiType == UiSlider)
            return;
        if (found == values.end())
            item->uiState = 0;
        else
            selectOption(item);
    });
}

void WidgetCreater::openTemplateEditor()
{
    const PanelItem *chosen = nullptr;
    if (!pageStack || !templateEditable(&chosen))
        return;
    clearPages();
    if (m_templatePanelSeededFor != editedTemplateIndex) {
        seedTemplatePanel(chosen->paramList);
        m_templatePanelSeededFor = editedTemplateIndex;
    }

    auto *page = new QWidget(pageStack);
    page->setStyleSheet(QStringLiteral("background-color: #292929"));
    page->setFixedWidth(260);
    auto *layout = new QVBoxLayout(page);
    layout->setAlignment(Qt::AlignTop);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    editedTemplateName = chosen->displayName;
    buildItem(&templatePanelItem, layout);
    pageStack->setMaskVisible(false);
    pageStack->addWidget(page);
    pageStack->setCurrentWidget(page);
}

void WidgetCreater::onRestoreTemplateClicked()
{
    const PanelItem *chosen = nullptr;
    if (refuseWhileDownloading("onRestoreTemplateClicked") || !templateEditable(&chosen))
        return;
    const std::vector<SdkParam> list = chosen->paramList;
    applyTemplate(list);
    openTemplateEditor();
}

void WidgetCreater::onExitTemplateClicked(QWidget *headerRow)
{
    if (refuseWhileDownloading("onExitTemplateClicked"))
        return;
    ResetDialog dialog(QStringLiteral("退出美颜模版？"),
                       QStringLiteral("退出后已配置效果将恢复至默认状态，且退出操作不可撤回。"),
                       QStringLiteral("退出"), QStringLiteral("取消"), headerRow ? headerRow->window() : nullptr);
    dialog.setModal(true);
    const quint64 reloads = m_treeReloads;
    if (askUser(dialog) != QDialog::Accepted || reloads != m_treeReloads)
        return;
    const PanelItem *chosen = nullptr;
    if (!templateEditable(&chosen))
        return;
    const std::vector<SdkParam> list = chosen->paramList;
    applyTemplate(list);
    if (BeautyModuleButton *button = currentModuleButton)
        emit button->clicked(false);
}
