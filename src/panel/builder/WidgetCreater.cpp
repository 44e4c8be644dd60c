#include "WidgetCreater.h"

#include "FoldButton.h"
#include "IconTextWidget.h"
#include "ProcessController.h"
#include "SegmentationButton.h"
#include "SideBarWidget.h"
#include "Slider.h"
#include "StackedWidget.h"
#include "SwitchButton.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// Width a layout's items are built for, where it differs from its widget's.
const char *const kPanelWidthProperty = "panelWidth";

QFont captionFont()
{
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setStyle(QFont::StyleNormal);
    font.setWeight(50);
    font.setPixelSize(14);
    return font;
}

const char *const kCaptionStyle =
    "color: rgba(255,255,255,0.55);  border: none;font-family: 'Microsoft YaHei';font-size: 14px;"
    "font-style: normal;font-weight: 400;";
const char *const kValueStyle =
    "color: rgba(255,255,255,0.9); border: none;font-family: 'Microsoft YaHei';font-size: 14px;"
    "font-style: normal;font-weight: 400;";

QString actionLabelStyle(int lineHeight)
{
    return QStringLiteral("QLabel { color: rgba(255, 255, 255, 0.9); font-family: \"Microsoft YaHei\"; "
                          "font-size: 12px; font-style: normal; font-weight: 400; line-height: %1px; }")
        .arg(lineHeight);
}

std::string categoryOfModule(const QString &name)
{
    if (name == QStringLiteral("滤镜"))
        return "lut";
    if (name == QStringLiteral("轻美妆"))
        return "light.makeup";
    if (name == QStringLiteral("风格整妆"))
        return "makeup";
    if (name == QStringLiteral("手势贴纸") || name == QStringLiteral("2D贴纸")
        || name == QStringLiteral("3D贴纸"))
        return "motion";
    if (name == QStringLiteral("虚拟背景"))
        return "segmentation";
    return std::string();
}

} // namespace

WidgetCreater::WidgetCreater()
    : QObject(nullptr)
    , panelJsonDir(QCoreApplication::applicationDirPath() + QStringLiteral("/beauty_panel/panel_json/"))
    , moduleFiles({QStringLiteral("beauty_template.json"), QStringLiteral("premium_beauty.json"),
                   QStringLiteral("beauty.json"), QStringLiteral("single_beauty.json"),
                   QStringLiteral("image_quality.json"), QStringLiteral("beauty_body.json"),
                   QStringLiteral("light_makeup.json"), QStringLiteral("style_makeover.json"),
                   QStringLiteral("lut.json"), QStringLiteral("2d_motions.json"),
                   QStringLiteral("3d_motions.json"), QStringLiteral("hand_motions.json"),
                   QStringLiteral("segmentation.json"), QStringLiteral("virtual_character.json")})
    , templatePanelFile(QStringLiteral("beauty_template_panel.json"))
    , resourceDir(QCoreApplication::applicationDirPath() + QStringLiteral("/res/"))
    , appDirPrefix(QCoreApplication::applicationDirPath() + QStringLiteral("/"))
    , captionMetrics(captionFont())
    , sliderLabelWidth(42)
{
    navigationRoot.children.reserve(1);
    navigationRoot.children.emplace_back();
    navigationRoot.children.back().parent = &navigationRoot;
}

WidgetCreater::~WidgetCreater()
{
    // The side bar and the pages may outlive us (the window deletes its
    // widgets after its members); their connections capture this object.
    for (const QMetaObject::Connection &connection : m_moduleButtonConnections)
        disconnect(connection);
    if (pageStack) {
        for (int i = pageStack->count() - 1; i >= 0; --i)
            retirePage(pageStack->widget(i));
    }
    for (const QPointer<QWidget> &page : qAsConst(m_retiredPages))
        delete page.data();
}

void WidgetCreater::buildPanels(SideBarWidget *bar, StackedWidget *stack, VideoFilter *filter,
                                QWidget *anchor, bool connectModuleButtons)
{
    if (!bar || !stack || !filter)
        return;
    // Pages built earlier hold pointers into the tree that is about to be
    // reloaded; none of them may stay clickable once it is gone.
    clearPages();
    sideBar = bar;
    pageStack = stack;
    videoFilter = filter;
    dialogAnchor = anchor;

    rootItem = PanelItem();
    templatePanelItem = PanelItem();
    effectIndex.clear();
    effectIndex.max_load_factor(1.0f);
    currentModuleIndex = -1;
    editedTemplateIndex = -1;
    m_templatePanelSeededFor = -1;
    currentModuleButton = nullptr;

    rootItem.children.reserve(std::size_t(moduleFiles.size()));
    for (const QString &name : qAsConst(moduleFiles)) {
        rootItem.children.emplace_back();
        PanelItem &module = rootItem.children.back();
        loadPanelFile(panelJsonDir + name, &module);
        module.parent = &rootItem;
    }

    PanelItem &navigationItem = navigationRoot.children.front();
    loadPanelFile(panelJsonDir + QStringLiteral("navigation_bar.json"), &navigationItem);
    navigationItem.parent = &navigationRoot;

    moduleIndexByName.clear();
    for (std::size_t i = 0; i < rootItem.children.size(); ++i)
        moduleIndexByName.insert(rootItem.children[i].displayName, int(i));

    templateTargetModules = {1, 2, 3, 4};
    loadPanelFile(panelJsonDir + templatePanelFile, &templatePanelItem);
    for (int index : qAsConst(templateTargetModules)) {
        if (index >= 0 && std::size_t(index) < rootItem.children.size())
            indexEffectItems(&rootItem.children[std::size_t(index)]);
    }

    if (connectModuleButtons) {
        // A second binding replaces the first instead of building two pages per click.
        for (const QMetaObject::Connection &connection : qAsConst(m_moduleButtonConnections))
            disconnect(connection);
        m_moduleButtonConnections.clear();
    }
    BeautyModuleButton *first = nullptr;
    for (int row = 0; row < sideBar->count(); ++row) {
        auto *button = qobject_cast<BeautyModuleButton *>(sideBar->itemWidget(sideBar->item(row)));
        if (!button)
            continue;
        const QString text = button->text();
        const auto found = moduleIndexByName.constFind(text);
        if (found == moduleIndexByName.constEnd())
            continue;
        qDebug().noquote() << text;
        if (!first)
            first = button;
        button->setDotVisible(rootItem.children[std::size_t(found.value())].uiState == 1);
        if (connectModuleButtons) {
            m_moduleButtonConnections.append(
                connect(button, &QPushButton::clicked, pageStack.data(),
                        [this, text, button]() { onModuleButtonClicked(text, button); }));
        }
    }

    if (first) {
        first->setChecked(true);
        emit first->clicked(false);
    }
}

void WidgetCreater::onModuleButtonClicked(const QString &moduleName, BeautyModuleButton *button)
{
    if (!pageStack || refuseWhileDownloading("onModuleButtonClicked"))
        return;
    QElapsedTimer timer;
    timer.start();

    // The switch belongs to the page this one replaces.
    moduleSwitch = nullptr;
    currentModuleIndex = moduleIndexByName.value(moduleName, -1);

    // Built in place under the stack: moving a styled subtree to another
    // parent repolishes all of it, which would dominate the build time.
    auto *page = new QWidget(pageStack);
    page->setStyleSheet(QStringLiteral("background-color: #292929"));
    page->setFixedWidth(260);

    PanelItem *module = nullptr;
    if (currentModuleIndex >= 0 && std::size_t(currentModuleIndex) < rootItem.children.size())
        module = &rootItem.children[std::size_t(currentModuleIndex)];

    if (module && module->uiType != UiNone) {
        auto *layout = new QVBoxLayout(page);
        layout->setAlignment(Qt::AlignTop);
        layout->setContentsMargins(16, 16, 16, 16);
        layout->setSpacing(16);
        buildItem(module, layout);
        pageStack->setMaskVisible(false);
        if (moduleSwitch && !module->children.empty()) {
            const PanelItem &first = module->children.front();
            if ((first.uiType == UiResetButtonGroup || first.uiType == UiClearSwitchButton)
                && first.uiState == 2)
                moduleSwitch->setChecked(false);
        }
    }

    pageStack->addWidget(page);
    pageStack->setCurrentWidget(page);
    // Left in the stack, every click would add a page for good.
    for (int i = pageStack->count() - 1; i >= 0; --i) {
        QWidget *old = pageStack->widget(i);
        if (old != page)
            retirePage(old);
    }

    currentModuleButton = button;
    editedTemplateIndex = -1;
    currentCategory = categoryOfModule(moduleName);

    qDebug().noquote() << QStringLiteral("创建stactedwidget耗时：")
                              + QString::number(timer.nsecsElapsed() / 1000000);
}

void WidgetCreater::retirePage(QWidget *page)
{
    if (!page)
        return;
    if (pageStack)
        pageStack->removeWidget(page);
    page->hide();
    // A control of this page may be the one whose signal is running now.
    page->deleteLater();
    m_retiredPages.removeAll(nullptr);
    m_retiredPages.append(page);
}

void WidgetCreater::clearPages()
{
    moduleSwitch = nullptr;
    if (!pageStack)
        return;
    for (int i = pageStack->count() - 1; i >= 0; --i)
        retirePage(pageStack->widget(i));
}

int WidgetCreater::layoutWidth(QLayout *layout)
{
    if (!layout)
        return 260;
    const QVariant width = layout->property(kPanelWidthProperty);
    if (width.isValid())
        return width.toInt();
    QWidget *owner = layout->parentWidget();
    return owner ? owner->width() : 260;
}

void WidgetCreater::buildItem(PanelItem *item, QLayout *layout)
{
    if (!item || !layout || item->uiType == UiNone)
        return;
    if (!item->downloadPath.isEmpty())
        currentDownloadPath = item->downloadPath;

    switch (item->uiType) {
    case UiSlider:
        createSliderRow(item->displayName, item->displayNameEn, item, layout, true, false, nullptr);
        break;
    case UiFoldPage:
        buildFoldPage(item, layout);
        break;
    case UiGroupButton1:
        buildGroupButton1(item, layout);
        break;
    case UiGroupButton2:
        buildGroupButton2(item, layout);
        break;
    case UiGroupButton3:
        buildGroupButton3(item, layout);
        break;
    case UiTabWidget1:
        buildTabWidget1(item, layout);
        break;
    case UiTabWidget2:
        buildTabWidget2(item, layout);
        break;
    case UiTabWidget3:
        buildTabWidget3(item, layout);
        break;
    case UiScrollButtonGroup:
        buildScrollButtonGroup(item, layout);
        break;
    case UiScrollButtonGroupWithSlider:
        buildScrollButtonGroupWithSlider(item, layout);
        break;
    case UiCompositeType:
        buildComposite(item, layout);
        break;
    case UiUploadImageButton:
        buildUploadControl(item, layout);
        break;
    case UiResetButtonGroup:
        buildSwitchRow(item, layout, true);
        break;
    case UiClearSwitchButton:
        buildSwitchRow(item, layout, false);
        break;
    case UiImageLabel:
        buildImageLabel(layout);
        break;
    case UiReturnButtonGroup:
        buildReturnHeader(item, layout);
        break;
    default:
        // ModuleButton, ModuleGroup and TextLabel build nothing here.
        break;
    }
}

bool WidgetCreater::singleExtraValue(const SdkParam &setting, int *value)
{
    if (setting.extraInfo.size() != 1)
        return false;
    bool ok = false;
    const QString text = QString::fromStdString(setting.extraInfo.begin()->second);
    const int parsed = text.trimmed().toInt(&ok);
    if (!ok)
        qDebug().noquote() << QStringLiteral("WidgetCreater: 额外信息不是整数，按0处理:") << text;
    if (value)
        *value = ok ? parsed : 0;
    return true;
}

QWidget *WidgetCreater::createValueSliderRow(const QString &caption, QLayout *layout, bool indented,
                                             const std::string &effectName, int initialValue,
                                             QSlider **sliderOut, QLabel **valueLabelOut)
{
    const int width = layoutWidth(layout);
    auto *row = new QWidget(layout->parentWidget());
    row->setStyleSheet(QStringLiteral("border: none"));
    row->setFixedHeight(34);
    row->setFixedWidth(indented ? width - 32 : width);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(16);

    QLabel *captionLabel = nullptr;
    if (!caption.isEmpty()) {
        captionLabel = new QLabel(caption, row);
        captionLabel->setStyleSheet(QLatin1String(kCaptionStyle));
        captionLabel->setFixedWidth(sliderLabelWidth);
        captionLabel->setFixedHeight(34);
        captionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    auto *slider = new Slider(row);
    slider->setFixedHeight(34);
    const auto range = ProcessController::effectValueRange(effectName);
    slider->setRange(range.first, range.second);
    slider->setValue(initialValue);

    auto *valueLabel = new QLabel(QString::number(initialValue), row);
    valueLabel->setStyleSheet(QLatin1String(kValueStyle));
    valueLabel->setFixedSize(22, 34);
    valueLabel->setAlignment(Qt::AlignCenter);

    if (captionLabel)
        rowLayout->addWidget(captionLabel, 0);
    rowLayout->addWidget(slider, 1);
    rowLayout->addWidget(valueLabel, 0);
    layout->addWidget(row);
    row->adjustSize();

    connect(slider, &QSlider::valueChanged, valueLabel,
            [valueLabel](int value) { valueLabel->setText(QString::number(value)); });

    if (sliderOut)
        *sliderOut = slider;
    if (valueLabelOut)
        *valueLabelOut = valueLabel;
    return row;
}

QWidget *WidgetCreater::createSliderRow(const QString &caption, const QString &captionEn,
                                        PanelItem *item, QLayout *layout, bool indented,
                                        bool extraMode, QSlider **sliderOut)
{
    Q_UNUSED(captionEn) // kept in the records, not shown
    if (!layout || !item)
        return nullptr;

    const bool itemIsSlider = item->uiType == UiSlider;
    int initial = 0;
    if (itemIsSlider) {
        initial = item->sdkParam.effectValue;
    } else {
        for (const PanelItem &child : item->children) {
            if (child.uiState != 2)
                continue;
            int extra = 0;
            if (extraMode && singleExtraValue(child.sdkParam, &extra))
                initial = extra;
            else
                initial = child.sdkParam.effectValue;
            break;
        }
    }

    QSlider *slider = nullptr;
    QLabel *valueLabel = nullptr;
    QWidget *row = createValueSliderRow(caption, layout, indented, item->sdkParam.effectName, initial,
                                        &slider, &valueLabel);

    connect(
        slider, &QSlider::valueChanged, slider,
        [this, item, itemIsSlider, extraMode](int value) {
            onSliderValueChanged(item, itemIsSlider, extraMode, value);
        },
        Qt::DirectConnection);
    if (moduleSwitch) {
        connect(moduleSwitch, &SwitchButton::signalCheckedStateChange, slider,
                [this, slider, valueLabel, item, itemIsSlider, extraMode](bool checked) {
                    syncSliderToSwitch(slider, valueLabel, item, itemIsSlider, extraMode, checked);
                });
    }

    if (sliderOut)
        *sliderOut = slider;
    return row;
}

QWidget *WidgetCreater::createParamSliderRow(const QString &caption, const QString &captionEn,
                                             SdkParam *param, QLayout *layout, bool indented,
                                             QSlider **sliderOut)
{
    Q_UNUSED(captionEn)
    if (!layout || !param)
        return nullptr;
    QSlider *slider = nullptr;
    QLabel *valueLabel = nullptr;
    QWidget *row = createValueSliderRow(caption, layout, indented, param->effectName,
                                        param->effectValue, &slider, &valueLabel);
    if (moduleSwitch) {
        connect(moduleSwitch, &SwitchButton::signalCheckedStateChange, slider,
                [this, slider, valueLabel, param](bool checked) {
                    syncParamSliderToSwitch(slider, valueLabel, param, checked);
                });
    }
    if (sliderOut)
        *sliderOut = slider;
    return row;
}

QWidget *WidgetCreater::createSeparator()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setLineWidth(1);
    line->setStyleSheet(QStringLiteral(
        "QFrame { border: none !important; border: 1px solid rgba(255, 255, 255, 0.04) !important; }"));
    line->setMinimumHeight(1);
    line->setMaximumHeight(1);
    line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return line;
}

void WidgetCreater::buildComposite(PanelItem *item, QLayout *layout)
{
    // One wide caption widens every slider caption from here on, so the
    // sliders of a page line up.
    sliderLabelWidth = 42;
    for (const PanelItem &child : item->children) {
        if (child.uiType == UiSlider && captionMetrics.horizontalAdvance(child.displayName) > 42) {
            sliderLabelWidth = 56;
            break;
        }
    }
    for (PanelItem &child : item->children)
        buildItem(&child, layout);
}

void WidgetCreater::buildSwitchRow(PanelItem *item, QLayout *layout, bool withRestore)
{
    const int width = layoutWidth(layout);
    auto *row = new QWidget(layout->parentWidget());
    row->setStyleSheet(QStringLiteral("background-color: #292929"));
    row->setFixedHeight(18);
    row->setFixedWidth(width - 32);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);

    auto *moduleToggle = new SwitchButton(item->displayName, 1.33f, true, 8, nullptr);
    moduleToggle->setFixedSize(62, 18);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setStyle(QFont::StyleNormal);
    font.setWeight(50);
    font.setPixelSize(12);
    moduleToggle->setTextFont(font);
    moduleSwitch = moduleToggle;
    rowLayout->addWidget(moduleToggle);
    rowLayout->addStretch();

    if (withRestore) {
        auto *restore = new IconTextWidget(
            QSize(12, 12), QStringLiteral("恢复预设"),
            QCoreApplication::applicationDirPath()
                + QStringLiteral("/beauty_panel/panel_icon/beauty/others/reset2.svg"),
            row);
        restore->textLabel()->setStyleSheet(actionLabelStyle(18));
        restore->textLabel()->setAlignment(Qt::AlignCenter);
        rowLayout->addWidget(restore);
        connect(restore, &IconTextWidget::clicked, restore, [this]() { restorePreset(); });
    }

    connect(moduleToggle, &SwitchButton::signalCheckedStateChange, row,
            [this, item](bool checked) { onModuleSwitchToggled(item, checked); });

    layout->addWidget(row);
    layout->addWidget(createSeparator());
}

void WidgetCreater::buildReturnHeader(PanelItem *item, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *row = new QWidget(layout->parentWidget());
    row->setStyleSheet(QStringLiteral("background-color: #292929"));
    row->setFixedHeight(18);
    row->setFixedWidth(width - 32);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);

    const QString othersDir =
        QCoreApplication::applicationDirPath() + QStringLiteral("/beauty_panel/panel_icon/beauty/others/");
    auto *back = new IconTextWidget(QSize(16, 16),
                                    editedTemplateName.isEmpty() ? item->displayName : editedTemplateName,
                                    othersDir + QStringLiteral("left_arrow.svg"), row);
    back->textLabel()->setStyleSheet(actionLabelStyle(20));
    back->textLabel()->setAlignment(Qt::AlignCenter);
    rowLayout->addWidget(back);
    rowLayout->addStretch();

    auto *restore = new IconTextWidget(QSize(12, 12), QStringLiteral("恢复预设"),
                                       othersDir + QStringLiteral("reset2.svg"), row);
    restore->textLabel()->setStyleSheet(actionLabelStyle(18));
    restore->textLabel()->setAlignment(Qt::AlignCenter);
    rowLayout->addWidget(restore);

    connect(back, &IconTextWidget::clicked, row, [this, row]() { onExitTemplateClicked(row); });
    connect(restore, &IconTextWidget::clicked, row, [this]() { onRestoreTemplateClicked(); });

    layout->addWidget(row);
    layout->addWidget(createSeparator());
}

void WidgetCreater::buildFoldPage(PanelItem *item, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *area = new QScrollArea(layout->parentWidget());
    auto *content = new QWidget;
    content->setFixedWidth(width - 32);
    content->setStyleSheet(QStringLiteral("QWidget{ background:transparent; }"));
    area->setWidget(content);
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setAlignment(Qt::AlignTop);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(16);

    for (PanelItem &child : item->children) {
        auto *section = new FoldPageWidget(child.displayName, content);
        // The section's own content holds the child; it is built for a
        // W-wide holder, as if it were laid out on the page itself.
        auto *sectionLayout = new QVBoxLayout;
        sectionLayout->setAlignment(Qt::AlignTop);
        sectionLayout->setContentsMargins(0, 0, 0, 0);
        sectionLayout->setSpacing(16);
        sectionLayout->setProperty(kPanelWidthProperty, width);
        section->setContentLayout(sectionLayout);
        buildItem(&child, sectionLayout);
        contentLayout->addWidget(section);
        connect(section, &FoldPageWidget::signalFoldPageClicked, content, [content, area]() {
            content->adjustSize();
            area->updateGeometry();
        });
    }

    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setStyleSheet(QStringLiteral("QScrollArea { background:transparent; }"));
    area->setFrameShape(QFrame::NoFrame);
    layout->addWidget(area);
}

void WidgetCreater::buildUploadControl(PanelItem *item, QLayout *layout)
{
    auto *container = new QWidget(layout->parentWidget());
    auto *containerLayout = new QVBoxLayout(container);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->setSpacing(4);
    layout->addWidget(container);

    // The green-screen parameters go onto the page itself, below the slot.
    QList<QWidget *> rows;
    for (std::size_t i = 0; i < item->children.size(); ++i) {
        PanelItem &child = item->children[i];
        QSlider *slider = nullptr;
        QWidget *row = createParamSliderRow(child.displayName, child.displayNameEn, &child.sdkParam,
                                            layout, true, &slider);
        if (!row)
            continue;
        rows.append(row);
        if (item->uiState == 0)
            row->hide();
        const int childIndex = int(i);
        connect(
            slider, &QSlider::valueChanged, slider,
            [this, item, childIndex](int value) { onGreenParamChanged(item, childIndex, value); },
            Qt::DirectConnection);
    }

    containerLayout->addWidget(createSegmentationButton(item->icon, container, item, rows));

    auto *hint = new QLabel(QStringLiteral("请上传PNG、JPG格式文件，大小5MB以内"), container);
    hint->setContentsMargins(0, 0, 0, 0);
    hint->setFixedHeight(20);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setStyle(QFont::StyleNormal);
    font.setWeight(50);
    font.setPixelSize(12);
    hint->setFont(font);
    hint->setStyleSheet(QStringLiteral(
        "QLabel{color: rgba(255,255,255,0.55);  border: none;font-family: 'Microsoft YaHei';"
        "font-size: 12px;font-style: normal;font-weight: 400;}"));
    containerLayout->addWidget(hint);
}

QWidget *WidgetCreater::createSegmentationButton(const QString &imagePath, QWidget *parent,
                                                 PanelItem *item, const QList<QWidget *> &rows)
{
    auto *button = new SegmentationButton(imagePath, parent);
    connect(button, &SegmentationButton::signalUpLoadCustomImage, button,
            [this, item, rows](QString path) { onCustomBackgroundChosen(item, rows, path); });
    connect(button, &SegmentationButton::signalCancelCustomImage, button,
            [this, item, rows]() { onCustomBackgroundCancelled(item, rows); });
    return button;
}

void WidgetCreater::buildImageLabel(QLayout *layout)
{
    auto *label = new QLabel(QString(), layout->parentWidget());
    label->setStyleSheet(QStringLiteral("QLabel{background-color: blue;}"));
    label->setFixedSize(228, 120);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

QString WidgetCreater::currentModuleName() const
{
    if (currentModuleIndex >= 0 && std::size_t(currentModuleIndex) < rootItem.children.size())
        return rootItem.children[std::size_t(currentModuleIndex)].displayName;
    return QString();
}

QString WidgetCreater::groupOfModule(const QString &name) const
{
    const PanelItem &navigationItem = navigationRoot.children.front();
    for (const PanelItem &group : navigationItem.children) {
        for (const PanelItem &entry : group.children) {
            if (entry.displayName == name)
                return group.displayName;
        }
    }
    return QString();
}

std::string WidgetCreater::effectKey(const SdkParam &setting)
{
    if (setting.resourcePath.empty())
        return setting.effectName;
    const std::string &path = setting.resourcePath;
    const std::size_t slash = path.find_last_of("/\\");
    return setting.effectName + (slash == std::string::npos ? path : path.substr(slash + 1));
}

void WidgetCreater::indexEffectItems(PanelItem *module)
{
    // Each item before its children, siblings from last to first; the first
    // item found under a key keeps it.
    std::vector<PanelItem *> pending{module};
    while (!pending.empty()) {
        PanelItem *item = pending.back();
        pending.pop_back();
        effectIndex.emplace(effectKey(item->sdkParam), item);
        for (PanelItem &child : item->children)
            pending.push_back(&child);
    }
}

int WidgetCreater::gridColumns(int width, int itemSize, int gap)
{
    if (itemSize + gap <= 0)
        return 1;
    return qMax(1, (width + gap) / (itemSize + gap));
}
