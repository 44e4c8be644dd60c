// Grid- and tab-shaped arrangements of the panel builder: thumbnail groups,
// template tiles, atomic-ability switches and the three kinds of tab rows.
#include "WidgetCreater.h"

#include "BeautyTemplateButton.h"
#include "ClickableLabel.h"
#include "DIYButton.h"
#include "HighLightButton.h"
#include "MoreComboBox.h"
#include "SwitchButton.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const char *const kGroupStyle = "border: none; background-color: #292929";
const char *const kCaptionStyle =
    "color: rgba(255,255,255,0.55);  border: none;font-family: 'Microsoft YaHei';font-size: 14px;"
    "font-style: normal;font-weight: 400;";

QGridLayout *makeGrid(QWidget *owner, int horizontalGap, int verticalGap)
{
    auto *grid = new QGridLayout(owner);
    grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid->setHorizontalSpacing(horizontalGap);
    grid->setVerticalSpacing(verticalGap);
    grid->setContentsMargins(0, 0, 0, 0);
    return grid;
}

QScrollArea *makeScrollArea(QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFrameShape(QFrame::NoFrame);
    area->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    return area;
}

QWidget *makeSubPage(QWidget *parent, int width, const QString &style, QVBoxLayout **layoutOut)
{
    auto *page = new QWidget(parent);
    page->setStyleSheet(style);
    page->setFixedWidth(width);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->setAlignment(Qt::AlignTop);
    *layoutOut = layout;
    return page;
}

// Marks the options the file selected (the last one wins) and returns the
// selected index, or -1.
int applyInitialSelection(PanelItem *group, const QList<DIYButton *> &buttons,
                          DIYButtonGroupManager *manager)
{
    for (int i = 0; i < buttons.size(); ++i) {
        if (group->children[std::size_t(i)].uiState != 2)
            continue;
        group->selectedIndex = i;
        buttons[i]->setSelected(true);
        manager->setCurrentButton(buttons[i]);
    }
    return group->selectedIndex;
}

} // namespace

void WidgetCreater::followModuleSwitch(PanelItem *group, QWidget *context,
                                       const QList<DIYButton *> &buttons)
{
    if (!moduleSwitch)
        return;
    connect(moduleSwitch, &SwitchButton::signalCheckedStateChange, context,
            [group, buttons](bool checked) {
                const int selected = group->selectedIndex;
                if (selected >= 0 && selected < buttons.size())
                    buttons[selected]->setSelected(checked);
            });
}

void WidgetCreater::buildGroupButton1(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *row = new QWidget(layout->parentWidget());
    row->setStyleSheet(QLatin1String(kGroupStyle));
    row->setContentsMargins(0, 0, 0, 0);
    row->setFixedWidth(width - 32);
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(16);
    rowLayout->setAlignment(Qt::AlignTop);

    auto *left = new QWidget(row);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setAlignment(Qt::AlignTop);
    auto *name = new QLabel(group->displayName, left);
    name->setObjectName(QStringLiteral("nameText"));
    name->setStyleSheet(QLatin1String(kCaptionStyle));
    name->setFixedWidth(42);
    name->setFixedHeight(34);
    name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    leftLayout->addWidget(name);

    const int rightWidth = row->width() - 42 - rowLayout->spacing();
    auto *right = new QWidget(row);
    right->setStyleSheet(QLatin1String(kGroupStyle));
    right->setFixedWidth(rightWidth);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(16);

    auto *holder = new QWidget(right);
    holder->setStyleSheet(QLatin1String(kGroupStyle));
    holder->setFixedWidth(rightWidth);
    QGridLayout *grid = makeGrid(holder, 11, 15);
    const int columns = gridColumns(holder->width(), 34, 11);

    auto *manager = new DIYButtonGroupManager(holder);
    QList<DIYButton *> buttons;
    for (std::size_t i = 0; i < group->children.size(); ++i) {
        const PanelItem &option = group->children[i];
        auto *button = new DIYButton(option.displayName, appDirPrefix + option.icon, 34, 34, holder);
        manager->addButton(button);
        grid->addWidget(button, int(i) / columns, int(i) % columns);
        buttons.append(button);
    }
    holder->adjustSize();
    rightLayout->addWidget(holder);

    QSlider *slider = nullptr;
    QWidget *sliderRow = createSliderRow(QString(), QString(), group, rightLayout, false, false, &slider);
    sliderRow->hide();

    // The slider belongs to the effect of the selected option; option 0 is "none".
    if (applyInitialSelection(group, buttons, manager) > 0)
        sliderRow->show();
    for (int i = 0; i < buttons.size(); ++i) {
        connect(buttons[i], &DIYButton::clicked, buttons[i],
                [this, group, slider, i, sliderRow](bool) { onGroupOptionClicked(group, slider, i, sliderRow); });
    }
    followModuleSwitch(group, holder, buttons);

    rowLayout->addWidget(left);
    rowLayout->addWidget(right);
    layout->addWidget(row);
    layout->addWidget(createSeparator());
}

void WidgetCreater::buildGroupButton2(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *container = new QWidget(layout->parentWidget());
    container->setStyleSheet(QLatin1String(kGroupStyle));
    container->setFixedWidth(width);
    auto *containerLayout = new QVBoxLayout(container);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->setSpacing(16);

    auto *holder = new QWidget(container);
    holder->setStyleSheet(QLatin1String(kGroupStyle));
    holder->setFixedWidth(width);
    QGridLayout *grid = makeGrid(holder, 16, 16);
    const int columns = gridColumns(width, 45, 16);

    auto *manager = new DIYButtonGroupManager(holder);
    QList<DIYButton *> buttons;
    for (std::size_t i = 0; i < group->children.size(); ++i) {
        const PanelItem &option = group->children[i];
        auto *button = new DIYButton(option.displayName, appDirPrefix + option.icon, 45, 45, holder);
        manager->addButton(button);
        grid->addWidget(button, int(i) / columns, int(i) % columns);
        buttons.append(button);
    }
    holder->adjustSize();
    containerLayout->addWidget(holder);

    QSlider *slider = nullptr;
    QWidget *sliderRow = createSliderRow(QString(), QString(), group, containerLayout, true, false, &slider);
    sliderRow->hide();

    if (applyInitialSelection(group, buttons, manager) > 0)
        sliderRow->show();
    for (int i = 0; i < buttons.size(); ++i) {
        connect(buttons[i], &DIYButton::clicked, buttons[i],
                [this, group, slider, i, sliderRow](bool) { onGroupOptionClicked(group, slider, i, sliderRow); });
    }
    followModuleSwitch(group, holder, buttons);

    layout->addWidget(container);
}

void WidgetCreater::buildGroupButton3(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *container = new QWidget(layout->parentWidget());
    container->setStyleSheet(QLatin1String(kGroupStyle));
    container->setFixedWidth(width - 32);
    auto *containerLayout = new QVBoxLayout(container);
    containerLayout->setContentsMargins(0, 0, 0, 0);

    for (std::size_t i = 0; i < group->children.size(); ++i) {
        const PanelItem &option = group->children[i];
        if (option.uiType == UiTextLabel) {
            auto *hint = new QLabel(
                QStringLiteral("在体验原子能力时，其他美颜功能会默认重置，以便直观展示基础能力。"), container);
            hint->setWordWrap(true);
            hint->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            hint->setStyleSheet(QStringLiteral(
                "QLabel { padding: 6px 8px; border-radius: 6px; color: rgba(255, 255, 255, 0.55); "
                "background: rgba(255, 255, 255, 0.14); font-family: 'Microsoft YaHei'; "
                "font-size: 10px; font-style: normal; font-weight: 400; }"));
            containerLayout->addWidget(hint);
            containerLayout->addSpacing(24);
            continue;
        }

        auto *row = new QWidget(container);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto *name = new QLabel(option.displayName, row);
        name->setStyleSheet(QStringLiteral(
            "QLabel { color: rgba(255, 255, 255, 0.90); border: none; font-family: 'Microsoft YaHei'; "
            "font-size: 14px; font-style: normal; font-weight: 400; }"));
        // A rebuilt page shows the abilities the engine has on.
        const bool abilityOn = m_atomicAbilitiesOn.count(effectKey(option.sdkParam)) > 0;
        auto *ability = new SwitchButton(QString(), 1.33f, abilityOn, 0, row);
        ability->setFixedSize(30, 18);
        rowLayout->addWidget(name);
        rowLayout->addWidget(ability);
        containerLayout->addWidget(row);
        containerLayout->addSpacing(20);

        const int index = int(i);
        const PanelItem groupCopy = *group;
        connect(ability, &SwitchButton::signalCheckedStateChange, ability,
                [this, container, index, groupCopy, ability](bool checked) {
                    onAtomicAbilityToggled(container, index, groupCopy, ability, checked);
                });
    }
    layout->addWidget(container);
}

void WidgetCreater::buildScrollButtonGroup(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    QScrollArea *area = makeScrollArea(layout->parentWidget());
    area->setFixedWidth(width - 32);
    auto *content = new QWidget;
    content->setFixedWidth(width - 32);
    content->setStyleSheet(QLatin1String(kGroupStyle));
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    // Placed before it is filled, so only the empty content is restyled.
    area->setWidget(content);

    // Templates are told apart by their effect lists, whatever the group's name.
    const bool templateMode = group->children.size() >= 2 && !group->children[1].paramList.empty();
    const bool presetBackgrounds = !templateMode && group->displayName == QStringLiteral("预设背景");
    const int size = (templateMode || presetBackgrounds) ? 65 : 45;

    QGridLayout *grid = makeGrid(content, 16, 16);
    const int columns = gridColumns(width, size, 16);
    auto *thumbnails = new DIYButtonGroupManager(area);
    auto *templates = new BeautyTemplateButtonGroupManager(area);

    const QString moduleName = currentModuleName();
    const QString groupName = groupOfModule(moduleName);

    if (templateMode) {
        for (std::size_t i = 0; i < group->children.size(); ++i) {
            const PanelItem &option = group->children[i];
            const int index = int(i);
            auto *tile = new BeautyTemplateButton(option.displayName, appDirPrefix + option.icon, 65, 65, content);
            templates->addButton(tile);
            grid->addWidget(tile, index / columns, index % columns);
            if (option.uiState == 2) {
                group->selectedIndex = index;
                tile->setSelected(true);
                templates->setCurrentButton(tile);
            }
            if (index == 0) {
                connect(tile, &BeautyTemplateButton::clicked, tile, [this, group, moduleName, groupName]() {
                    onNoTemplateClicked(group, moduleName, groupName);
                });
            } else {
                connect(tile, &BeautyTemplateButton::clicked, tile,
                        [this, group, index, moduleName, groupName]() {
                            onTemplateClicked(group, index, moduleName, groupName);
                        });
            }
        }
    } else {
        QList<DIYButton *> buttons;
        // A custom-background upload among the preset backgrounds (always
        // the last options) is one more choice of the same group, built as
        // its own control below the thumbnails.
        std::vector<PanelItem *> uploads;
        for (std::size_t i = 0; i < group->children.size(); ++i) {
            const PanelItem &option = group->children[i];
            if (option.uiType == UiUploadImageButton) {
                uploads.push_back(&group->children[i]);
                continue;
            }
            auto *button = new DIYButton(option.displayName, appDirPrefix + option.icon, size, size, content);
            if (presetBackgrounds)
                button->setCategory(group->displayName);
            thumbnails->addButton(button);
            grid->addWidget(button, int(i) / columns, int(i) % columns);
            buttons.append(button);
        }
        applyInitialSelection(group, buttons, thumbnails);
        for (int i = 0; i < buttons.size(); ++i) {
            connect(buttons[i], &DIYButton::clicked, buttons[i], [this, group, i, moduleName, groupName](bool) {
                onScrollOptionClicked(group, i, moduleName, groupName);
            });
        }
        followModuleSwitch(group, content, buttons);
        content->adjustSize();
        layout->addWidget(area);
        for (PanelItem *upload : uploads)
            buildItem(upload, layout);
        return;
    }

    content->adjustSize();
    layout->addWidget(area);
}

void WidgetCreater::buildScrollButtonGroupWithSlider(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *container = new QWidget(layout->parentWidget());
    container->setStyleSheet(QLatin1String(kGroupStyle));
    container->setFixedWidth(width);
    auto *containerLayout = new QVBoxLayout(container);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->setSpacing(16);

    QScrollArea *area = makeScrollArea(container);
    auto *content = new QWidget;
    content->setStyleSheet(QLatin1String(kGroupStyle));
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    area->setWidget(content);
    QGridLayout *grid = makeGrid(content, 16, 16);
    const int columns = gridColumns(width, 45, 16);
    auto *manager = new DIYButtonGroupManager(area);

    QList<DIYButton *> buttons;
    for (std::size_t i = 0; i < group->children.size(); ++i) {
        const PanelItem &option = group->children[i];
        auto *button = new DIYButton(option.displayName, appDirPrefix + option.icon, 45, 45, content);
        manager->addButton(button);
        grid->addWidget(button, int(i) / columns, int(i) % columns);
        buttons.append(button);
    }
    content->adjustSize();
    area->setMaximumHeight(content->height());
    containerLayout->addWidget(area);

    QSlider *mainSlider = nullptr;
    QWidget *mainRow = createSliderRow(group->defaultSliderDisPlayName, group->defaultSliderDisPlayNameEn,
                                       group, containerLayout, true, false, &mainSlider);
    QSlider *secondSlider = nullptr;
    QWidget *secondRow = nullptr;
    if (!group->extroSliderDisPlayName.isEmpty()) {
        secondRow = createSliderRow(group->extroSliderDisPlayName, group->extroSliderDisPlayNameEn, group,
                                    containerLayout, true, true, &secondSlider);
    }
    mainRow->hide();
    if (secondRow)
        secondRow->hide();

    const int selected = applyInitialSelection(group, buttons, manager);
    if (selected > 0) {
        mainRow->show();
        if (secondRow && !group->children[std::size_t(selected)].sdkParam.extraInfo.empty())
            secondRow->show();
    }

    const QString moduleName = currentModuleName();
    const QString groupName = groupOfModule(moduleName);
    for (int i = 0; i < buttons.size(); ++i) {
        connect(buttons[i], &DIYButton::clicked, buttons[i],
                [this, group, moduleName, groupName, mainSlider, secondSlider, mainRow, secondRow, i](bool) {
                    onSliderOptionClicked(group, moduleName, groupName, mainSlider, secondSlider, mainRow,
                                          secondRow, i);
                });
    }
    followModuleSwitch(group, content, buttons);

    containerLayout->addStretch();
    containerLayout->setStretch(0, 1);
    layout->addWidget(container);
}

void WidgetCreater::buildTabWidget1(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *tabs = new QWidget(layout->parentWidget());
    tabs->setStyleSheet(QLatin1String(kGroupStyle));
    QGridLayout *grid = makeGrid(tabs, 16, 16);
    const int columns = gridColumns(width, 65, 16);

    auto *stack = new QStackedWidget(layout->parentWidget());
    auto *manager = new ClickableLabelGroupManager(stack);

    ClickableLabel *first = nullptr;
    for (std::size_t i = 0; i < group->children.size(); ++i) {
        PanelItem &option = group->children[i];
        const int index = int(i);
        auto *label = new ClickableLabel(appDirPrefix + option.icon, option.displayName, tabs);
        label->setFixedSize(65, 72);
        manager->addLabel(label);
        grid->addWidget(label, index / columns, index % columns);
        if (!first)
            first = label;

        auto *area = new QScrollArea(stack);
        area->setStyleSheet(QStringLiteral("QScrollArea { background-color: #292929; border: none; }"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QVBoxLayout *pageLayout = nullptr;
        QWidget *subPage = makeSubPage(nullptr, width, QLatin1String(kGroupStyle), &pageLayout);
        area->setWidget(subPage);
        buildItem(&option, pageLayout);
        stack->addWidget(area);

        connect(label, &ClickableLabel::clicked, stack, [stack, index]() { stack->setCurrentIndex(index); });
    }
    if (first)
        manager->setCurrentLabel(first);

    layout->addWidget(tabs);
    layout->addWidget(createSeparator());
    layout->addWidget(stack);
}

void WidgetCreater::buildTabWidget2(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *tabs = new QWidget(layout->parentWidget());
    tabs->setStyleSheet(QLatin1String(kGroupStyle));
    QGridLayout *grid = makeGrid(tabs, 16, 16);
    const int columns = gridColumns(width, 65, 16);
    const int overflowCell = 2 * columns - 1;

    auto *stack = new QStackedWidget(layout->parentWidget());
    auto *manager = new HighLightButtonGroupManager(stack);
    MoreComboBox *combo = nullptr;
    HighLightButton *first = nullptr;

    for (std::size_t i = 0; i < group->children.size(); ++i) {
        PanelItem &option = group->children[i];
        const int c = int(i);
        if (c < overflowCell) {
            auto *button = new HighLightButton(option.displayName, tabs);
            manager->addButton(button);
            grid->addWidget(button, c / columns, c % columns);
            if (!first)
                first = button;
            connect(button, &QPushButton::clicked, stack, [stack, manager, button, c]() {
                stack->setCurrentIndex(c);
                manager->highlightExclusively(button);
            });
        } else {
            if (!combo) {
                combo = new MoreComboBox(tabs);
                manager->setMoreComboBox(combo);
                connect(combo, &MoreComboBox::requestExclusiveHighlight, manager,
                        &HighLightButtonGroupManager::highlightExclusively);
                grid->addWidget(combo, c / columns, c % columns);
            }
            combo->addItem(option.displayName);
        }
        QVBoxLayout *pageLayout = nullptr;
        QWidget *subPage = makeSubPage(stack, width, QLatin1String(kGroupStyle), &pageLayout);
        buildItem(&option, pageLayout);
        stack->addWidget(subPage);
    }

    if (combo) {
        // Connected once filled, so filling it does not switch pages.
        auto choose = [stack, combo, manager, overflowCell](int index) {
            if (index >= 0)
                stack->setCurrentIndex(index + overflowCell);
            combo->setHighlighted(true);
            manager->clearHighlights();
        };
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo, choose,
                Qt::DirectConnection);
        // Picking the entry that is already current must show its page too.
        connect(combo, QOverload<int>::of(&QComboBox::activated), combo, choose);
        connect(combo, &MoreComboBox::highlightedStateChanged, manager, [manager](bool highlighted) {
            if (highlighted)
                manager->clearHighlights();
        });
    }
    if (first)
        manager->setCurrentButton(first);

    layout->addWidget(tabs);
    layout->addWidget(createSeparator());
    layout->addWidget(stack);
}

void WidgetCreater::buildTabWidget3(PanelItem *group, QLayout *layout)
{
    const int width = layoutWidth(layout);
    auto *tabs = new QWidget(layout->parentWidget());
    tabs->setStyleSheet(QLatin1String(kGroupStyle));
    QGridLayout *grid = makeGrid(tabs, 12, 12);
    const int columns = gridColumns(width, 65, 12);
    const int overflowCell = 2 * columns - 1;

    auto *stack = new QStackedWidget(layout->parentWidget());
    auto *manager = new HighLightButtonGroupManager(stack);
    QComboBox *combo = nullptr;
    HighLightButton *first = nullptr;

    for (std::size_t i = 0; i < group->children.size(); ++i) {
        PanelItem &option = group->children[i];
        const int c = int(i);
        if (c < overflowCell) {
            auto *button = new HighLightButton(option.displayName, tabs);
            manager->addButton(button);
            grid->addWidget(button, c / columns, c % columns);
            if (!first)
                first = button;
            connect(button, &QPushButton::clicked, stack, [stack, c]() { stack->setCurrentIndex(c); });
            QVBoxLayout *pageLayout = nullptr;
            QWidget *subPage = makeSubPage(stack, width, QStringLiteral("border: none"), &pageLayout);
            buildItem(&option, pageLayout);
            stack->addWidget(subPage);
        } else {
            // Overflow options are listed only; they have no page of their own.
            if (!combo) {
                combo = new QComboBox(tabs);
                combo->setFixedSize(65, 72);
                grid->addWidget(combo, c / columns, c % columns);
            }
            combo->addItem(option.displayName);
        }
    }
    if (first)
        manager->setCurrentButton(first);

    layout->addWidget(tabs);
    layout->addWidget(stack);
}
