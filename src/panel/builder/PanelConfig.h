#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <map>
#include <string>
#include <vector>

// One effect setting as the panel sends it to the frame pipeline.
struct SdkParam
{
    std::string effectName;   // engine property or category name, UTF-8
    int effectValue = 0;
    std::string resourcePath; // relative to the resource directory, UTF-8
    std::map<std::string, std::string> extraInfo;
};

// Kinds of panel control, by the number the description files' "uiType" text
// maps to. The numbers are part of the file format and are not in name order.
enum UiType : int {
    UiNone = 0,
    UiSlider = 1,
    UiFoldPage = 2,
    UiGroupButton1 = 3,
    UiGroupButton2 = 4,
    UiGroupButton3 = 5,
    UiTabWidget1 = 6,
    UiTabWidget2 = 7,
    UiTabWidget3 = 8,
    UiModuleButton = 9,
    UiScrollButtonGroup = 10,
    UiScrollButtonGroupWithSlider = 11,
    UiCompositeType = 12,
    UiModuleGroup = 13,
    UiUploadImageButton = 14,
    UiResetButtonGroup = 15,
    UiClearSwitchButton = 16,
    UiImageLabel = 17,
    UiReturnButtonGroup = 18,
    UiTextLabel = 19,
};

// One item of a panel description file. Selection and value state of the
// panel lives here, never in the widgets, so a rebuilt page shows it again.
//
// Tree invariant: a `children` vector is reserved before its first element is
// parsed and never grows afterwards, so `parent` pointers and every pointer a
// widget connection captured stay valid while the tree lives. Items are only
// replaced as a whole, in place.
struct PanelItem
{
    int uiType = UiNone;
    int uiState = 0;         // option: 2 selected; module: 1 in use; switch row: 2 off
    int selectedIndex = -1;  // selected option among `children`; never read from a file
    QString displayName;
    QString displayNameEn;
    QString icon;            // relative to the application directory
    SdkParam sdkParam;
    std::vector<SdkParam> paramList;
    std::vector<PanelItem> children;
    QString defaultSliderDisPlayName;
    QString defaultSliderDisPlayNameEn;
    QString extroSliderDisPlayName;
    QString extroSliderDisPlayNameEn;
    PanelItem *parent = nullptr; // non-owning
    QString resourceUri;
    QString downloadPath;
};

Q_DECLARE_METATYPE(PanelItem *)
Q_DECLARE_METATYPE(SdkParam *)

// "uiType" text -> UiType number (case-sensitive, 19 rows).
const QHash<QString, int> &uiTypeTable();

// Resets *item to a default item, then fills it from the file. Failures are
// logged and leave the default item (uiType 0).
void loadPanelFile(const QString &path, PanelItem *item);

// Fills *item from one description object; recurses into "propertyList".
void parsePanelItem(const QJsonObject &object, PanelItem *item);
