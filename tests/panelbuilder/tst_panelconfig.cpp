#include "PanelConfig.h"

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(PANELBUILDER_FIXTURES) + name;
}

// Every child's parent pointer names the item that holds it, at any depth.
int checkParents(const PanelItem &item)
{
    int count = 0;
    for (const PanelItem &child : item.children) {
        if (child.parent != &item)
            return -1;
        const int below = checkParents(child);
        if (below < 0)
            return -1;
        count += 1 + below;
    }
    return count;
}

PanelItem filled()
{
    PanelItem item;
    item.uiType = UiTabWidget1;
    item.uiState = 2;
    item.selectedIndex = 3;
    item.displayName = QStringLiteral("stale");
    item.sdkParam.effectName = "stale";
    item.children.resize(2);
    return item;
}

} // namespace

class TestPanelConfig : public QObject
{
    Q_OBJECT
private slots:
    void uiTypeTable_data();
    void uiTypeTable();
    void unknownUiTypeLeavesNumber();
    void everyKeyIsRead();
    void wrongTypesFallBackToDefaults();
    void numbersMustBeWholeAndFitAnInt();
    void sliderCaptionsNeedTheMainCaption();
    void deepTreeKeepsParents();
    void reparseIntoItemWithChildrenKeepsGrandchildParents();
    void rejectedFiles_data();
    void rejectedFiles();
    void malformedFileLogsParserError();
    void arrayTopLevelGivesDefaults();
    void shippedFixtureSetCoversEveryUiType();
    void shippedPanelMatchesEngineAndSideBar();
};

void TestPanelConfig::uiTypeTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    const QStringList names = {"Slider",       "FoldPage",          "GroupButton1",
                               "GroupButton2", "GroupButton3",      "TabWidget1",
                               "TabWidget2",   "TabWidget3",        "ModuleButton",
                               "ScrollButtonGroup", "ScrollButtonGroupWithSlider", "CompositeType",
                               "ModuleGroup",  "UploadImageButton", "ResetButtonGroup",
                               "ClearSwitchButton", "ImageLabel",   "ReturnButtonGroup",
                               "TextLabel"};
    for (int i = 0; i < names.size(); ++i)
        QTest::newRow(qPrintable(names[i])) << names[i] << i + 1;
}

void TestPanelConfig::uiTypeTable()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(::uiTypeTable().size(), 19);
    QCOMPARE(::uiTypeTable().value(text, -1), number);

    PanelItem item;
    parsePanelItem(QJsonObject{{"uiType", text}}, &item);
    QCOMPARE(item.uiType, number);
}

void TestPanelConfig::unknownUiTypeLeavesNumber()
{
    PanelItem item;
    item.uiType = UiGroupButton3;
    parsePanelItem(QJsonObject{{"uiType", "slider"}}, &item); // case matters
    QCOMPARE(item.uiType, int(UiGroupButton3));
    parsePanelItem(QJsonObject{{"displayName", "x"}}, &item);
    QCOMPARE(item.uiType, int(UiGroupButton3));

    PanelItem fresh;
    parsePanelItem(QJsonObject{{"uiType", "Bogus"}}, &fresh);
    QCOMPARE(fresh.uiType, int(UiNone));
}

void TestPanelConfig::everyKeyIsRead()
{
    PanelItem item = filled();
    loadPanelFile(fixture("loader/keys.json"), &item);

    QCOMPARE(item.displayName, QStringLiteral("美颜"));
    QCOMPARE(item.displayNameEn, QStringLiteral("Beauty"));
    QCOMPARE(item.uiType, int(UiScrollButtonGroupWithSlider));
    QCOMPARE(item.uiState, 2);
    QCOMPARE(item.selectedIndex, -1); // never from the file; reset by the load
    QCOMPARE(item.icon, QStringLiteral("beauty_panel/panel_icon/beauty/beauty.png"));
    QCOMPARE(item.sdkParam.effectName, std::string("basicV7.eyeDistance"));
    QCOMPARE(item.sdkParam.effectValue, -35);
    QCOMPARE(item.sdkParam.resourcePath, std::string("beauty/eye"));
    const std::map<std::string, std::string> extra{{"b", ""}, {"filterStrength", "40"}, {"k", ""}};
    QVERIFY(item.sdkParam.extraInfo == extra);

    QCOMPARE(item.paramList.size(), std::size_t(2));
    QCOMPARE(item.paramList[0].effectName, std::string("beauty.whiten"));
    QCOMPARE(item.paramList[0].effectValue, 60);
    QVERIFY(item.paramList[0].resourcePath.empty());
    QCOMPARE(item.paramList[1].resourcePath, std::string("lut/a.png"));
    QCOMPARE(item.paramList[1].extraInfo.at("x"), std::string("1"));

    QCOMPARE(item.defaultSliderDisPlayName, QStringLiteral("妆容"));
    QCOMPARE(item.defaultSliderDisPlayNameEn, QStringLiteral("Makeup"));
    QCOMPARE(item.extroSliderDisPlayName, QStringLiteral("滤镜"));
    QCOMPARE(item.extroSliderDisPlayNameEn, QStringLiteral("Filter"));
    QCOMPARE(item.resourceUri, QStringLiteral("http://127.0.0.1:8000/res/eye%20shadow.zip"));
    QCOMPARE(item.downloadPath, QStringLiteral("makeup/"));
    QVERIFY(item.parent == nullptr);

    // [1, {...}, "x", {...}]: only the objects become children.
    QCOMPARE(item.children.size(), std::size_t(2));
    QCOMPARE(item.children[0].displayName, QStringLiteral("first"));
    QCOMPARE(item.children[0].uiType, int(UiSlider));
    QCOMPARE(item.children[1].uiType, int(UiTabWidget3));
    QVERIFY(item.children[0].parent == &item);
    QVERIFY(item.children[1].parent == &item);
}

void TestPanelConfig::wrongTypesFallBackToDefaults()
{
    PanelItem item = filled();
    loadPanelFile(fixture("loader/wrong_types.json"), &item);
    QVERIFY(item.displayName.isEmpty());
    QVERIFY(item.displayNameEn.isEmpty());
    QCOMPARE(item.uiType, int(UiNone));
    QCOMPARE(item.uiState, 0);
    QVERIFY(item.icon.isEmpty());
    QVERIFY(item.sdkParam.effectName.empty());
    QCOMPARE(item.sdkParam.effectValue, 0);
    QVERIFY(item.children.empty());
    QVERIFY(item.paramList.empty());
    // The second caption alone is not read.
    QVERIFY(item.extroSliderDisPlayName.isEmpty());
    QVERIFY(item.extroSliderDisPlayNameEn.isEmpty());
    QVERIFY(item.resourceUri.isEmpty());
    QVERIFY(item.downloadPath.isEmpty());
}

void TestPanelConfig::numbersMustBeWholeAndFitAnInt()
{
    PanelItem item;
    loadPanelFile(fixture("loader/odd_values.json"), &item);
    QCOMPARE(item.uiType, int(UiNone)); // "slider" is not "Slider"
    QCOMPARE(item.uiState, 0);          // 1.5 is not whole
    QCOMPARE(item.children.size(), std::size_t(6));
    QCOMPARE(item.children[0].sdkParam.effectValue, 0); // 37.5
    QCOMPARE(item.children[1].sdkParam.effectValue, 0); // "37"
    QCOMPARE(item.children[2].sdkParam.effectValue, 0); // beyond int
    QCOMPARE(item.children[3].sdkParam.effectValue, -100);
    QVERIFY(item.children[3].sdkParam.extraInfo.empty());
    QVERIFY(item.children[4].sdkParam.effectName.empty());
    QVERIFY(item.children[4].sdkParam.resourcePath.empty());
}

void TestPanelConfig::sliderCaptionsNeedTheMainCaption()
{
    PanelItem item;
    loadPanelFile(fixture("loader/odd_values.json"), &item);
    const PanelItem &captions = item.children[5];
    QCOMPARE(captions.defaultSliderDisPlayName, QStringLiteral("强度"));
    QVERIFY(captions.defaultSliderDisPlayNameEn.isEmpty());
    QVERIFY(captions.extroSliderDisPlayName.isEmpty());
    QCOMPARE(captions.extroSliderDisPlayNameEn, QStringLiteral("Second"));

    PanelItem withoutMain;
    parsePanelItem(QJsonObject{{"extroSliderDisPlayName", "滤镜"}, {"defaultSliderDisPlayNameEn", "x"}},
                   &withoutMain);
    QVERIFY(withoutMain.extroSliderDisPlayName.isEmpty());
    QVERIFY(withoutMain.defaultSliderDisPlayNameEn.isEmpty());
}

void TestPanelConfig::deepTreeKeepsParents()
{
    PanelItem item;
    loadPanelFile(fixture("loader/deep.json"), &item);
    QCOMPARE(checkParents(item), 3 + 5 + 9);
    // Grandchildren still name their own parent after all siblings were read.
    const PanelItem &a = item.children[0];
    QCOMPARE(a.children[0].children[2].displayName, QStringLiteral("a02"));
    QVERIFY(a.children[0].children[2].parent == &a.children[0]);
    QVERIFY(a.children[0].parent == &a);
    QVERIFY(a.children[0].parent->parent == &item);
    QVERIFY(item.children[1].children[1].children[0].parent->parent == &item.children[1]);
}

void TestPanelConfig::reparseIntoItemWithChildrenKeepsGrandchildParents()
{
    PanelItem item;
    loadPanelFile(fixture("loader/deep.json"), &item);
    // A second list appended to the same item must not leave the earlier
    // grandchildren pointing at moved children.
    parsePanelItem(QJsonObject{{"propertyList", QJsonArray{QJsonObject{{"displayName", "d"}}}}}, &item);
    QCOMPARE(item.children.size(), std::size_t(4));
    QVERIFY(checkParents(item) > 0);
}

void TestPanelConfig::rejectedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << fixture("loader/does_not_exist.json");
    QTest::newRow("upper-case suffix") << fixture("loader/upper.JSON");
    QTest::newRow("no suffix") << fixture("loader");
}

void TestPanelConfig::rejectedFiles()
{
    QFETCH(QString, path);
    PanelItem item = filled();
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("open json file failed: ") + path));
    loadPanelFile(path, &item);
    QCOMPARE(item.uiType, int(UiNone));
    QVERIFY(item.displayName.isEmpty());
    QVERIFY(item.children.empty());
    QCOMPARE(item.selectedIndex, -1);
}

void TestPanelConfig::malformedFileLogsParserError()
{
    PanelItem item = filled();
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^load json error: .+")));
    loadPanelFile(fixture("loader/malformed.json"), &item);
    QCOMPARE(item.uiType, int(UiNone));
    QVERIFY(item.displayName.isEmpty());
    QVERIFY(item.children.empty());

    // An unreadable file (a folder named like a description file) is logged too.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.json")));
    const QString folder = dir.path() + QStringLiteral("/folder.json");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("open json file failed: ") + folder));
    loadPanelFile(folder, &item);
    QCOMPARE(item.uiType, int(UiNone));
}

void TestPanelConfig::arrayTopLevelGivesDefaults()
{
    PanelItem item = filled();
    loadPanelFile(fixture("loader/array_top.json"), &item);
    QCOMPARE(item.uiType, int(UiNone));
    QVERIFY(item.displayName.isEmpty());
    QVERIFY(item.children.empty());
}

void TestPanelConfig::shippedFixtureSetCoversEveryUiType()
{
    // The builder fixtures are meant to exercise every kind of control.
    QSet<int> seen;
    std::function<void(const PanelItem &)> collect = [&](const PanelItem &item) {
        seen.insert(item.uiType);
        for (const PanelItem &child : item.children)
            collect(child);
    };
    const QStringList files = QDir(fixture("panel")).entryList({"*.json"}, QDir::Files);
    QCOMPARE(files.size(), 16);
    for (const QString &name : files) {
        PanelItem item;
        loadPanelFile(fixture("panel/") + name, &item);
        QVERIFY2(item.uiType != UiNone, qPrintable(name));
        QVERIFY(checkParents(item) >= 0);
        collect(item);
    }
    for (int type = 1; type <= 19; ++type)
        QVERIFY2(seen.contains(type), qPrintable(QString::number(type)));
}

void TestPanelConfig::shippedPanelMatchesEngineAndSideBar()
{
    const QString source = QStringLiteral(PANELBUILDER_SOURCE_DIR "/");
    QFile doc(source + QStringLiteral("docs/effects.md"));
    if (!doc.open(QIODevice::ReadOnly))
        QSKIP("docs/effects.md is not there");
    QSet<QString> engineNames;
    const QString text = QString::fromUtf8(doc.readAll());
    QRegularExpression quoted(QStringLiteral("`([A-Za-z0-9_.]+)`"));
    for (auto it = quoted.globalMatch(text); it.hasNext();)
        engineNames.insert(it.next().captured(1));

    const QStringList modules = {"beauty_template.json", "premium_beauty.json", "beauty.json",
                                 "single_beauty.json",   "image_quality.json",  "beauty_body.json",
                                 "light_makeup.json",    "style_makeover.json", "lut.json",
                                 "2d_motions.json",      "3d_motions.json",     "hand_motions.json",
                                 "segmentation.json",    "virtual_character.json"};
    const QString dir = source + QStringLiteral("beauty_panel/panel_json/");
    QStringList names;
    std::function<void(const PanelItem &)> check = [&](const PanelItem &item) {
        std::vector<SdkParam> settings = item.paramList;
        settings.push_back(item.sdkParam);
        for (const SdkParam &s : settings) {
            const QString name = QString::fromStdString(s.effectName);
            if (!name.isEmpty())
                QVERIFY2(engineNames.contains(name), qPrintable(name));
            if (!s.resourcePath.empty())
                QVERIFY2(QFileInfo::exists(source + "res/" + QString::fromStdString(s.resourcePath)),
                         s.resourcePath.c_str());
        }
        // Filter and template tiles are rendered at build time beside the program.
        if (item.icon.startsWith(QStringLiteral("beauty_panel/panel_icon/thumbs/")))
            QVERIFY2(QFileInfo::exists(QCoreApplication::applicationDirPath() + QLatin1Char('/') + item.icon),
                     qPrintable(item.icon));
        else if (!item.icon.isEmpty())
            QVERIFY2(QFileInfo::exists(source + item.icon), qPrintable(item.icon));
        for (const PanelItem &child : item.children)
            check(child);
    };
    for (const QString &file : modules) {
        PanelItem item;
        loadPanelFile(dir + file, &item);
        QVERIFY2(!item.displayName.isEmpty(), qPrintable(file));
        names << item.displayName;
        check(item);
    }
    PanelItem templatePage;
    loadPanelFile(dir + QStringLiteral("beauty_template_panel.json"), &templatePage);
    QCOMPARE(templatePage.children.front().uiType, int(UiReturnButtonGroup));
    check(templatePage);

    // Every module of the side bar is reached through the navigation groups.
    PanelItem navigation;
    loadPanelFile(dir + QStringLiteral("navigation_bar.json"), &navigation);
    int entries = 0;
    for (const PanelItem &group : navigation.children) {
        for (const PanelItem &entry : group.children) {
            QVERIFY2(names.contains(entry.displayName), qPrintable(entry.displayName));
            ++entries;
        }
    }
    QCOMPARE(entries, 13);
    QCOMPARE(names.front(), QStringLiteral("美颜模板"));
}

QTEST_GUILESS_MAIN(TestPanelConfig)
#include "tst_panelconfig.moc"
