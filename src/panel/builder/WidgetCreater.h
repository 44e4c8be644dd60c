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

#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

class BeautyModuleButton;
class DIYButton;
class QLabel;
class QLayout;
class QSlider;
class QWidget;
class ResetDialog;
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

    // Template operations (also used by reset all).
    void applyTemplate(const std::vector<SdkParam> &list);
    void resetTemplateModules();

    // Test hook: the next confirmation dialog a rule opens is answered by
    // this function (1 confirmed, 0 cancelled) instead of by the user. Queued
    // in order; with none queued the dialog runs as usual.
    using DialogAnswer = std::function<int(ResetDialog &)>;
    void answerNextDialog(DialogAnswer answer) { m_dialogAnswers.append(std::move(answer)); }
    int pendingDialogAnswers() const { return m_dialogAnswers.size(); }

    // Where effect resources live (the engine's resource directory); the
    // default follows the application directory.
    void setResourceDirectory(const QString &dir) { resourceDir = dir; }
    QString resourceDirectory() const { return resourceDir; }

    // True while a rule waits for a download; the window takes no input then.
    bool isWaitingForDownload() const { return m_waitingForDownload; }

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

    // The rules' own helpers (PanelRules.cpp).
    void sendSetting(const SdkParam &setting, int value, const std::string &resourcePath, bool categoryFallback);
    void applyParam(const SdkParam &setting);
    void applyParamList(const std::vector<SdkParam> &list);
    void applyModule(PanelItem *module);
    void clearModule(PanelItem *module);
    void clearCategoryEffects();
    void refresh();
    void markModuleInUse();
    void ensureResource(PanelItem *item);
    void rebuildEffectIndex();
    void seedTemplatePanel(const std::vector<SdkParam> &list);
    void removeMirroredBackground(const QString &path, const char *logLine);
    void setModuleDot(const QString &groupName, const QString &moduleName, bool visible);
    BeautyModuleButton *shownModuleSideButton() const;
    PanelItem *moduleAt(int index);
    bool templateEditable(const PanelItem **templateOut);
    bool refuseWhileDownloading(const char *rule) const;
    int askUser(ResetDialog &dialog);

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

    QList<DialogAnswer> m_dialogAnswers;
    bool m_waitingForDownload = false;
    // Counts reloads of the tree by the rules, so a rule that waited for a
    // dialog can tell that its records are gone.
    quint64 m_treeReloads = 0;
    // Settings a template sent that no item of modules 1 to 4 holds: switched
    // off when another template (or none) is applied.
    std::vector<SdkParam> m_templateExtras;
    // Template whose values the template page shows; -1 when they must be
    // taken from the template again.
    int m_templatePanelSeededFor = -1;
    // Atomic abilities the engine has been told to switch on, by effect key.
    std::map<std::string, SdkParam> m_atomicAbilitiesOn;
    QList<QMetaObject::Connection> m_moduleButtonConnections;
    // Pages removed from the stack and waiting for the event loop to delete them.
    QList<QPointer<QWidget>> m_retiredPages;
};
