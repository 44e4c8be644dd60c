#pragma once

#include "PanelConfig.h"

#include "NetworkManager.h"
#include "StackedWidget.h"
#include "SwitchButton.h"

#include <QFontMetrics>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <string>
#include <unordered_map>
#include <vector>

class BeautyModuleButton;
class DIYButton;
class QLabel;
class QLayout;
class QSlider;
class QWidget;
class SideBarWidget;
class VideoFilter;

Q_DECLARE_METATYPE(PanelItem)

// Turns the panel description tree into widgets. A module page is built from
// scratch at every module click; all state lives in the PanelItem records, so
// a rebuilt page shows what was last left there.
//
// The page being replaced is destroyed later, from the event loop, so that a
// control on it may still be delivering its click; the module switch pointer
// is guarded and forgotten with its page.
class WidgetCreater : public QObject
{
    Q_OBJECT
public:
    WidgetCreater();
    ~WidgetCreater() override;

    void buildPanels(SideBarWidget *sideBar, StackedWidget *pageStack, VideoFilter *videoFilter,
                     QWidget *dialogAnchor, bool connectModuleButtons);

    NetworkManager *networkManager() { return &m_networkManager; }

    void resetAllEffects();
    void applySelectedTemplate();
    void openTemplateEditor();

    // Where description files and icons are read from; the defaults follow
    // the application directory. Tests and relocated installs point them
    // elsewhere before buildPanels.
    void setPanelJsonDir(const QString &dir) { panelJsonDir = dir; }
    QString panelJsonDirectory() const { return panelJsonDir; }
    void setAppDirPrefix(const QString &prefix) { appDirPrefix = prefix; }
    QString iconPrefix() const { return appDirPrefix; }

    // Read access to the tree and the builder state.
    PanelItem *root() { return &rootItem; }
    PanelItem *navigation() { return &navigationRoot; }
    PanelItem *templatePanel() { return &templatePanelItem; }
    const QMap<QString, int> &moduleIndexes() const { return moduleIndexByName; }
    const QList<int> &templateModules() const { return templateTargetModules; }
    const std::unordered_map<std::string, PanelItem *> &effectItems() const { return effectIndex; }
    int shownModuleIndex() const { return currentModuleIndex; }
    int editedTemplate() const { return editedTemplateIndex; }
    BeautyModuleButton *shownModuleButton() const { return currentModuleButton; }
    SwitchButton *currentModuleSwitch() const { return moduleSwitch; }
    std::string category() const { return currentCategory; }
    QString downloadPathInForce() const { return currentDownloadPath; }
    int sliderCaptionWidth() const { return sliderLabelWidth; }
    StackedWidget *pages() const { return pageStack; }

    // Side-bar group caption of a module, from "navigation_bar.json".
    QString groupOfModule(const QString &name) const;

    // Effect key of a setting: its name, followed by the file name of its
    // resource when it has one.
    static std::string effectKey(const SdkParam &setting);

    // Value of an option's single extra-information entry; false when the
    // option has no entry or more than one. A value that is not a decimal
    // integer reads as 0.
    static bool singleExtraValue(const SdkParam &setting, int *value);

    // Column count of a grid: as many items as fit with the gap between them,
    // and at least one.
    static int gridColumns(int width, int itemSize, int gap);

    // Every call of a panel rule is recorded here with its arguments, in
    // order, so the wiring of each control can be checked.
    struct RuleCall
    {
        QString rule;
        QVariantList args;
    };
    const QList<RuleCall> &ruleCalls() const { return m_ruleCalls; }
    void clearRuleCalls() { m_ruleCalls.clear(); }

signals:
    void requestShowLoading();

public slots:
    void onModuleButtonClicked(const QString &moduleName, BeautyModuleButton *button);

public:
    // Rules the controls are connected to (arguments captured at build time,
    // then the signal's).
    void onSliderValueChanged(PanelItem *item, bool itemIsSlider, bool extraMode, int value);
    void syncSliderToSwitch(QSlider *slider, QLabel *valueLabel, PanelItem *item, bool itemIsSlider,
                            bool extraMode, bool checked);
    void syncParamSliderToSwitch(QSlider *slider, QLabel *valueLabel, SdkParam *setting, bool checked);
    void onGroupOptionClicked(PanelItem *group, QSlider *slider, int index, QWidget *sliderRow);
    void onScrollOptionClicked(PanelItem *group, int index, const QString &moduleName,
                               const QString &groupName);
    void onSliderOptionClicked(PanelItem *group, const QString &moduleName, const QString &groupName,
                               QSlider *mainSlider, QSlider *secondSlider, QWidget *mainRow,
                               QWidget *secondRow, int index);
    void onModuleSwitchToggled(PanelItem *switchItem, bool checked);
    void restorePreset();
    void onAtomicAbilityToggled(QWidget *container, int index, const PanelItem &groupCopy,
                                SwitchButton *abilitySwitch, bool checked);
    void onCustomBackgroundChosen(PanelItem *uploadItem, const QList<QWidget *> &parameterRows,
                                  const QString &imagePath);
    void onCustomBackgroundCancelled(PanelItem *uploadItem, const QList<QWidget *> &parameterRows);
    void onGreenParamChanged(PanelItem *uploadItem, int childIndex, int value);
    void onTemplateClicked(PanelItem *group, int index, const QString &moduleName,
                           const QString &groupName);
    void onNoTemplateClicked(PanelItem *group, const QString &moduleName, const QString &groupName);
    void onExitTemplateClicked(QWidget *headerRow);
    void onRestoreTemplateClicked();

    // Builders (also used by the rules to rebuild pages).
    void buildItem(PanelItem *item, QLayout *layout);
    QWidget *createSliderRow(const QString &caption, const QString &captionEn, PanelItem *item,
                             QLayout *layout, bool indented, bool extraMode, QSlider **sliderOut);
    QWidget *createParamSliderRow(const QString &caption, const QString &captionEn, SdkParam *param,
                                  QLayout *layout, bool indented, QSlider **sliderOut);
    QWidget *createSeparator();

    // Removes every page from the stack and destroys it once control is back
    // in the event loop; the module switch is forgotten at once.
    void clearPages();

private:
    // Row-shaped controls.
    void buildComposite(PanelItem *item, QLayout *layout);
    void buildSwitchRow(PanelItem *item, QLayout *layout, bool withRestore);
    void buildReturnHeader(PanelItem *item, QLayout *layout);
    void buildFoldPage(PanelItem *item, QLayout *layout);
    void buildUploadControl(PanelItem *item, QLayout *layout);
    void buildImageLabel(QLayout *layout);
    // Seam for the custom-background slot of the upload control.
    QWidget *createSegmentationButton(const QString &imagePath, QWidget *parent,
                                      PanelItem *item, const QList<QWidget *> &rows);

    // Grid and tab arrangements (PanelGrids.cpp).
    void buildGroupButton1(PanelItem *group, QLayout *layout);
    void buildGroupButton2(PanelItem *group, QLayout *layout);
    void buildGroupButton3(PanelItem *group, QLayout *layout);
    void buildScrollButtonGroup(PanelItem *group, QLayout *layout);
    void buildScrollButtonGroupWithSlider(PanelItem *group, QLayout *layout);
    void buildTabWidget1(PanelItem *group, QLayout *layout);
    void buildTabWidget2(PanelItem *group, QLayout *layout);
    void buildTabWidget3(PanelItem *group, QLayout *layout);
    void followModuleSwitch(PanelItem *group, QWidget *context, const QList<DIYButton *> &buttons);
    QString currentModuleName() const;

    QWidget *createValueSliderRow(const QString &caption, QLayout *layout, bool indented,
                                  const std::string &effectName, int initialValue,
                                  QSlider **sliderOut, QLabel **valueLabelOut);
    static int layoutWidth(QLayout *layout);

    void indexEffectItems(PanelItem *module);
    void retirePage(QWidget *page);
    void record(const QString &rule, const QVariantList &args);

    QString panelJsonDir;
    QStringList moduleFiles;
    PanelItem rootItem;
    PanelItem navigationRoot;
    PanelItem templatePanelItem;
    QString templatePanelFile;
    QMap<QString, int> moduleIndexByName;
    QList<int> templateTargetModules;
    std::unordered_map<std::string, PanelItem *> effectIndex;
    int currentModuleIndex = -1;
    int editedTemplateIndex = -1;
    BeautyModuleButton *currentModuleButton = nullptr;
    QString editedTemplateName;
    std::string currentCategory;
    QString currentDownloadPath;
    QString resourceDir;
    QString appDirPrefix;
    VideoFilter *videoFilter = nullptr;
    QWidget *dialogAnchor = nullptr;
    SideBarWidget *sideBar = nullptr;
    // Guarded: the window may destroy its widgets before or after us.
    QPointer<StackedWidget> pageStack;
    // Guarded: the switch lives on a page that may be destroyed.
    QPointer<SwitchButton> moduleSwitch;
    NetworkManager m_networkManager;
    QFontMetrics captionMetrics;
    int sliderLabelWidth = 42;

    QList<RuleCall> m_ruleCalls;
    QList<QMetaObject::Connection> m_moduleButtonConnections;
    // Pages removed from the stack and waiting for the event loop to delete them.
    QList<QPointer<QWidget>> m_retiredPages;
};
