// The panel rules: what a click or slider move on a built page does to the
// records and the engine. Each rule records its call first, so the wiring of
// every control can be checked; the effect side of the rules is filled in
// with the rules issue.
#include "WidgetCreater.h"

#include "SwitchButton.h"

#include <QLabel>
#include <QSlider>

void WidgetCreater::record(const QString &rule, const QVariantList &args)
{
    m_ruleCalls.append(RuleCall{rule, args});
}

void WidgetCreater::onSliderValueChanged(PanelItem *item, bool itemIsSlider, bool extraMode, int value)
{
    record(QStringLiteral("onSliderValueChanged"),
           {QVariant::fromValue(item), itemIsSlider, extraMode, value});
}

void WidgetCreater::syncSliderToSwitch(QSlider *slider, QLabel *valueLabel, PanelItem *item,
                                       bool itemIsSlider, bool extraMode, bool checked)
{
    record(QStringLiteral("syncSliderToSwitch"),
           {QVariant::fromValue(slider), QVariant::fromValue(valueLabel), QVariant::fromValue(item),
            itemIsSlider, extraMode, checked});
}

void WidgetCreater::syncParamSliderToSwitch(QSlider *slider, QLabel *valueLabel, SdkParam *setting,
                                            bool checked)
{
    record(QStringLiteral("syncParamSliderToSwitch"),
           {QVariant::fromValue(slider), QVariant::fromValue(valueLabel), QVariant::fromValue(setting),
            checked});
}

void WidgetCreater::onGroupOptionClicked(PanelItem *group, QSlider *slider, int index, QWidget *sliderRow)
{
    record(QStringLiteral("onGroupOptionClicked"),
           {QVariant::fromValue(group), QVariant::fromValue(slider), index, QVariant::fromValue(sliderRow)});
}

void WidgetCreater::onScrollOptionClicked(PanelItem *group, int index, const QString &moduleName,
                                          const QString &groupName)
{
    record(QStringLiteral("onScrollOptionClicked"), {QVariant::fromValue(group), index, moduleName, groupName});
}

void WidgetCreater::onSliderOptionClicked(PanelItem *group, const QString &moduleName,
                                          const QString &groupName, QSlider *mainSlider,
                                          QSlider *secondSlider, QWidget *mainRow, QWidget *secondRow,
                                          int index)
{
    record(QStringLiteral("onSliderOptionClicked"),
           {QVariant::fromValue(group), moduleName, groupName, QVariant::fromValue(mainSlider),
            QVariant::fromValue(secondSlider), QVariant::fromValue(mainRow), QVariant::fromValue(secondRow),
            index});
}

void WidgetCreater::onModuleSwitchToggled(PanelItem *switchItem, bool checked)
{
    record(QStringLiteral("onModuleSwitchToggled"), {QVariant::fromValue(switchItem), checked});
}

void WidgetCreater::restorePreset()
{
    record(QStringLiteral("restorePreset"), {});
}

void WidgetCreater::onAtomicAbilityToggled(QWidget *container, int index, const PanelItem &groupCopy,
                                           SwitchButton *abilitySwitch, bool checked)
{
    record(QStringLiteral("onAtomicAbilityToggled"),
           {QVariant::fromValue(container), index, QVariant::fromValue(groupCopy),
            QVariant::fromValue(abilitySwitch), checked});
}

void WidgetCreater::onCustomBackgroundChosen(PanelItem *uploadItem, const QList<QWidget *> &parameterRows,
                                             const QString &imagePath)
{
    record(QStringLiteral("onCustomBackgroundChosen"),
           {QVariant::fromValue(uploadItem), QVariant::fromValue(parameterRows), imagePath});
}

void WidgetCreater::onCustomBackgroundCancelled(PanelItem *uploadItem, const QList<QWidget *> &parameterRows)
{
    record(QStringLiteral("onCustomBackgroundCancelled"),
           {QVariant::fromValue(uploadItem), QVariant::fromValue(parameterRows)});
}

void WidgetCreater::onGreenParamChanged(PanelItem *uploadItem, int childIndex, int value)
{
    record(QStringLiteral("onGreenParamChanged"), {QVariant::fromValue(uploadItem), childIndex, value});
}

void WidgetCreater::onTemplateClicked(PanelItem *group, int index, const QString &moduleName,
                                      const QString &groupName)
{
    record(QStringLiteral("onTemplateClicked"), {QVariant::fromValue(group), index, moduleName, groupName});
}

void WidgetCreater::onNoTemplateClicked(PanelItem *group, const QString &moduleName, const QString &groupName)
{
    record(QStringLiteral("onNoTemplateClicked"), {QVariant::fromValue(group), moduleName, groupName});
}

void WidgetCreater::onExitTemplateClicked(QWidget *headerRow)
{
    record(QStringLiteral("onExitTemplateClicked"), {QVariant::fromValue(headerRow)});
}

void WidgetCreater::onRestoreTemplateClicked()
{
    record(QStringLiteral("onRestoreTemplateClicked"), {});
}

void WidgetCreater::resetAllEffects()
{
    record(QStringLiteral("resetAllEffects"), {});
}

void WidgetCreater::applySelectedTemplate()
{
    record(QStringLiteral("applySelectedTemplate"), {});
}

void WidgetCreater::openTemplateEditor()
{
    record(QStringLiteral("openTemplateEditor"), {});
}
