#include "PanelRig.h"

#include "BeautyTemplateButton.h"
#include "ClickableLabel.h"
#include "DIYButton.h"
#include "FoldButton.h"
#include "HighLightButton.h"
#include "IconTextWidget.h"
#include "MoreComboBox.h"
#include "ResetDialog.h"
#include "ProcessController.h"
#include "SideBarWidget.h"
#include "Slider.h"
#include "StackedWidget.h"
#include "SwitchButton.h"
#include "VideoFilter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

const QString kFixtures = panelFixtures();

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (type != QtDebugMsg && g_previousHandler)
        g_previousHandler(type, context, message);
}

int countLog(const QString &prefix)
{
    int n = 0;
    for (const QString &line : qAsConst(g_log))
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

// The caption label of the row that holds a slider, or null.
QLabel *captionOf(QSlider *slider)
{
    auto *row = slider->parentWidget();
    auto *layout = row ? qobject_cast<QHBoxLayout *>(row->layout()) : nullptr;
    if (!layout || layout->count() < 3)
        return nullptr;
    return qobject_cast<QLabel *>(layout->itemAt(0)->widget());
}

QLabel *valueLabelOf(QSlider *slider)
{
    auto *layout = qobject_cast<QHBoxLayout *>(slider->parentWidget()->layout());
    return qobject_cast<QLabel *>(layout->itemAt(layout->count() - 1)->widget());
}

template <typename T>
QList<T *> on(QWidget *page)
{
    return page->findChildren<T *>();
}

QPoint gridCell(QWidget *widget)
{
    auto *grid = qobject_cast<QGridLayout *>(widget->parentWidget()->layout());
    if (!grid)
        return QPoint(-1, -1);
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(widget), &row, &column, &rowSpan, &columnSpan);
    return QPoint(column, row);
}

int gridColumnsUsed(const QList<DIYButton *> &buttons)
{
    int columns = 0;
    for (DIYButton *b : buttons)
        columns = qMax(columns, gridCell(b).x() + 1);
    return columns;
}

} // namespace

class TestWidgetCreater : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { g_log.clear(); }
    void cleanupTestCase() { qInstallMessageHandler(g_previousHandler); }

    void startupShowsFirstModule();
    void rebuildUsesStartupConnection();
    void treeAndIndexes();
    void compositeWidensLaterCaptions();
    void sliderInitialValues();
    void downloadPathCarriesOver();
    void moduleWithoutKindGivesEmptyPage();
    void gridColumnRule();
    void groupButton1Layout();
    void laterMarkedOptionWins();
    void tabWidget2Overflow();
    void tabWidget3AndTabWidget1();
    void scrollGroupModes();
    void scrollGroupWithSliders();
    void atomicAbilities();
    void foldSectionsAndPlainKinds();
    void uploadControl();
    void templatePageHeader();
    void switchRowWiring();
    void switchOffStateSurvivesRebuild();
    void replacedPagesAreDestroyed();
    void rebuildRetiresPagesOfTheOldTree();
    void moduleSwitchNeverDangles();
    void builderDestroyedBeforeWidgets();
    void shippedPanelBuilds();
    void screenshots();
};

void TestWidgetCreater::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(captureMessages);
}

void TestWidgetCreater::startupShowsFirstModule()
{
    Panel panel;
    panel.build();
    BeautyModuleButton *first = panel.button("模板", "美颜模板");
    QVERIFY(first->isChecked());
    QCOMPARE(panel.creater.shownModuleIndex(), 0);
    QCOMPARE(panel.creater.shownModuleButton(), first);
    QCOMPARE(panel.stack->count(), 1);
    QWidget *page = panel.stack->currentWidget();
    QCOMPARE(page->width(), 260);
    QCOMPARE(page->styleSheet(), QStringLiteral("background-color: #292929"));
    QCOMPARE(on<BeautyTemplateButton>(page).size(), 5);
    QCOMPARE(countLog(QStringLiteral("创建stactedwidget耗时：")), 1);
    // The template marked in the file is the selected one from the first page on.
    QCOMPARE(panel.module(0).selectedIndex, 2);
}

void TestWidgetCreater::rebuildUsesStartupConnection()
{
    Panel panel;
    panel.build();
    panel.module(2).displayName = QStringLiteral("changed"); // discarded by the reload
    g_log.clear();
    panel.build(false);
    QCOMPARE(panel.module(2).displayName, QStringLiteral("美颜"));
    QVERIFY(panel.button("模板", "美颜模板")->isChecked());
    QCOMPARE(countLog(QStringLiteral("创建stactedwidget耗时：")), 1);
    // One connection per button: one page per click.
    g_log.clear();
    panel.open("美颜美型", "美颜");
    QCOMPARE(countLog(QStringLiteral("创建stactedwidget耗时：")), 1);
    QCOMPARE(panel.creater.shownModuleIndex(), 2);

    // Binding again with connections replaces the first binding.
    panel.build(true);
    g_log.clear();
    panel.open("美颜美型", "美体");
    QCOMPARE(countLog(QStringLiteral("创建stactedwidget耗时：")), 1);
}

void TestWidgetCreater::treeAndIndexes()
{
    Panel panel;
    panel.build();
    PanelItem *root = panel.creater.root();
    QCOMPARE(root->children.size(), std::size_t(14));
    for (const PanelItem &module : root->children)
        QVERIFY(module.parent == root);
    QCOMPARE(panel.creater.moduleIndexes().value("滤镜"), 8);
    QCOMPARE(panel.creater.moduleIndexes().value("原子能力"), 13);
    QCOMPARE(panel.creater.templateModules(), QList<int>({1, 2, 3, 4}));
    QCOMPARE(panel.creater.groupOfModule("虚拟背景"), QStringLiteral("贴纸特效"));
    QCOMPARE(panel.creater.groupOfModule("nothing"), QString());
    QCOMPARE(panel.creater.templatePanel()->children.front().uiType, int(UiReturnButtonGroup));
    // The effect index covers modules 1 to 4; the first item in walk order keeps a key.
    const auto &index = panel.creater.effectItems();
    QVERIFY(index.count("beauty.whiten"));
    QCOMPARE(index.at("beauty.whiten")->displayName, QStringLiteral("美白"));
    QVERIFY(index.count("makeup.lipmakeup.lip3.png"));
    QCOMPARE(index.at("makeup.lipmakeup.lip3.png")->displayName, QStringLiteral("口红3"));
    QVERIFY(!index.count("body.enlargeChestStrength")); // module 5 is not indexed
    // First in walk order: module 1's eye distance slider, not the template page's.
    QVERIFY(index.at("basicV7.eyeDistance") == &panel.module(1).children[1]);
    QCOMPARE(WidgetCreater::effectKey(SdkParam{"lut", 1, "lut/a/b.png", {}}), std::string("lutb.png"));
}

void TestWidgetCreater::compositeWidensLaterCaptions()
{
    // Find captions that measure 42 and 43 pixels in the caption font.
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setWeight(50);
    font.setPixelSize(14);
    const QFontMetrics metrics(font);
    QString at42, at43;
    const QString letters = QStringLiteral("iltfjrIaxsnmwWM1");
    for (int n = 1; n <= 8 && (at42.isEmpty() || at43.isEmpty()); ++n) {
        for (const QChar a : letters) {
            for (const QChar b : letters) {
                const QString text = QString(n, a) + b;
                const int w = metrics.horizontalAdvance(text);
                if (w == 42 && at42.isEmpty())
                    at42 = text;
                if (w == 43 && at43.isEmpty())
                    at43 = text;
            }
        }
    }
    if (at42.isEmpty() || at43.isEmpty())
        QSKIP("no caption of exactly 42 and 43 pixels in this font");

    auto composite = [](const QString &wide) {
        return QStringLiteral(R"({"displayName":"高级美型","uiType":"CompositeType","propertyList":[
            {"displayName":"短","uiType":"Slider"},{"displayName":"%1","uiType":"Slider"},
            {"displayName":"后","uiType":"Slider"}]})").arg(wide).toUtf8();
    };
    {
        auto dir = panelWith({{"premium_beauty.json", composite(at43)}});
        Panel panel(dir->path() + "/");
        panel.build();
        QWidget *page = panel.open("美颜美型", "高级美型");
        const auto sliders = on<Slider>(page);
        QCOMPARE(sliders.size(), 3);
        for (Slider *s : sliders)
            QCOMPARE(captionOf(s)->width(), 56);
        QCOMPARE(panel.creater.sliderCaptionWidth(), 56);
        // The next composite measures again.
        panel.open("美颜美型", "美体");
        QCOMPARE(panel.creater.sliderCaptionWidth(), 42);
    }
    {
        auto dir = panelWith({{"premium_beauty.json", composite(at42)}});
        Panel panel(dir->path() + "/");
        panel.build();
        QWidget *page = panel.open("美颜美型", "高级美型");
        for (Slider *s : on<Slider>(page))
            QCOMPARE(captionOf(s)->width(), 42);
    }
    {
        // The width stays in force for slider rows built later outside any composite.
        auto dir = panelWith({{"premium_beauty.json", composite(at43)},
                              {"beauty_body.json", R"({"displayName":"美体","uiType":"Slider",
                                "sdkParam":{"effectName":"body.waist","effectValue":5}})"}});
        Panel panel(dir->path() + "/");
        panel.build();
        panel.open("美颜美型", "高级美型");
        QWidget *page = panel.open("美颜美型", "美体");
        QCOMPARE(captionOf(on<Slider>(page).front())->width(), 56);
    }
}

void TestWidgetCreater::sliderInitialValues()
{
    Panel panel;
    panel.build();
    panel.mark();
    QWidget *page = panel.open("滤镜调色", "画质调整");
    const auto sliders = on<Slider>(page);
    QCOMPARE(sliders.size(), 3);
    // A "Slider" shows its own value, within the range of its effect.
    QCOMPARE(sliders[0]->minimum(), -100);
    QCOMPARE(sliders[0]->maximum(), 100);
    QCOMPARE(sliders[1]->value(), 10);
    QCOMPARE(valueLabelOf(sliders[1])->text(), QStringLiteral("10"));
    QCOMPARE(captionOf(sliders[1])->text(), QStringLiteral("饱和度"));
    QCOMPARE(sliders[1]->parentWidget()->width(), 228);

    // Group sliders: the selected option's value, or 0.
    page = panel.open("美妆", "单点美妆");
    const auto groupSliders = on<Slider>(page);
    QCOMPARE(groupSliders.size(), 3);
    QCOMPARE(groupSliders[0]->value(), 70); // 口红: option 3 marked
    QVERIFY(groupSliders[0]->parentWidget()->isVisibleTo(page));
    QCOMPARE(groupSliders[1]->value(), 0); // 腮红: option 0 marked, slider hidden
    QVERIFY(!groupSliders[1]->parentWidget()->isVisibleTo(page));
    QCOMPARE(groupSliders[2]->value(), 0); // 眉毛: nothing marked
    QVERIFY(!groupSliders[2]->parentWidget()->isVisibleTo(page));
    QCOMPARE(panel.module(3).children[3].selectedIndex, -1);

    // Building sets values without running the slider rule; moving the
    // slider of a group sends its selected option.
    QVERIFY(panel.sent().isEmpty());
    groupSliders[0]->setValue(33);
    QCOMPARE(panel.sent(), QStringList{"makeup.lip 33 makeup/makeup.lip3.png"});
    QCOMPARE(panel.module(3).children[1].children[3].sdkParam.effectValue, 33);
    QCOMPARE(valueLabelOf(groupSliders[0])->text(), QStringLiteral("33"));
}

void TestWidgetCreater::downloadPathCarriesOver()
{
    Panel panel;
    panel.build();
    QVERIFY(panel.creater.downloadPathInForce().isEmpty());
    panel.open("美颜美型", "美颜");
    QCOMPARE(panel.creater.downloadPathInForce(), QStringLiteral("beauty/"));
    panel.open("美颜美型", "高级美型"); // sets none of its own
    QCOMPARE(panel.creater.downloadPathInForce(), QStringLiteral("beauty/"));
    panel.open("贴纸特效", "2D贴纸");
    QCOMPARE(panel.creater.downloadPathInForce(), QStringLiteral("stickers2d/"));
    QCOMPARE(panel.creater.category(), std::string("motion"));
}

void TestWidgetCreater::moduleWithoutKindGivesEmptyPage()
{
    auto dir = panelWith({{"lut.json", R"({"displayName":"滤镜","uiType":"NoSuchKind"})"},
                          {"virtual_character.json", QByteArray()}});
    Panel panel(dir->path() + "/");
    panel.build();
    QCOMPARE(panel.module(13).uiType, int(UiNone)); // missing file
    QVERIFY(!panel.creater.moduleIndexes().contains("原子能力"));
    QWidget *page = panel.open("滤镜调色", "滤镜");
    QVERIFY(page);
    QCOMPARE(panel.stack->currentWidget(), page);
    QCOMPARE(page->width(), 260);
    QVERIFY(!page->layout());
    QVERIFY(page->findChildren<QWidget *>().isEmpty());
    QCOMPARE(panel.creater.category(), std::string("lut"));
    QCOMPARE(panel.creater.shownModuleIndex(), 8);

    // A button naming no module stays unbound.
    panel.open("原子能力", "原子能力");
    QCOMPARE(panel.creater.shownModuleIndex(), 8);
}

void TestWidgetCreater::gridColumnRule()
{
    QCOMPARE(WidgetCreater::gridColumns(260, 45, 16), 4);
    QCOMPARE(WidgetCreater::gridColumns(260, 65, 16), 3);
    QCOMPARE(WidgetCreater::gridColumns(170, 34, 11), 4);
    QCOMPARE(WidgetCreater::gridColumns(260, 65, 12), 3);
    QCOMPARE(WidgetCreater::gridColumns(30, 45, 16), 1);
    QCOMPARE(WidgetCreater::gridColumns(-100, 45, 16), 1);

    Panel panel;
    panel.build();
    QWidget *page = panel.open("贴纸特效", "2D贴纸");
    const auto thumbs = on<DIYButton>(page);
    QCOMPARE(thumbs.size(), 40);
    QCOMPARE(gridColumnsUsed(thumbs), 4);
    QCOMPARE(thumbs.front()->imageLabel()->width(), 45);
    QCOMPARE(gridCell(thumbs[39]), QPoint(3, 9));
}

void TestWidgetCreater::groupButton1Layout()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("美妆", "单点美妆");
    auto *name = page->findChild<QLabel *>(QStringLiteral("nameText"));
    QVERIFY(name);
    QCOMPARE(name->width(), 42);
    QList<DIYButton *> lips;
    for (DIYButton *b : on<DIYButton>(page))
        if (b->caption().startsWith("口红") || (lips.isEmpty() && b->caption() == "无"))
            lips.append(b);
    QCOMPARE(lips.size(), 7);
    QWidget *holder = lips.front()->parentWidget();
    QCOMPARE(holder->width(), 170);
    auto *grid = qobject_cast<QGridLayout *>(holder->layout());
    QCOMPARE(grid->horizontalSpacing(), 11);
    QCOMPARE(grid->verticalSpacing(), 15);
    QCOMPARE(gridColumnsUsed(lips), 4);
    QCOMPARE(lips.front()->imageLabel()->width(), 34);
    QVERIFY(lips[3]->isSelected());

    // A thumbnail click selects the option; its slider sends it.
    panel.mark();
    QTest::mouseClick(lips[5], Qt::LeftButton);
    QCOMPARE(panel.sent(), QStringList{"makeup.lip 90 makeup/makeup.lip5.png"});
    PanelItem *group = &panel.module(3).children[1];
    QCOMPARE(group->selectedIndex, 5);
    QCOMPARE(group->children[3].uiState, 0);
    QCOMPARE(group->children[5].uiState, 2);
    Slider *slider = on<Slider>(page).front();
    QCOMPARE(slider->value(), 90);
    QVERIFY(slider->parentWidget()->isVisibleTo(page));
}

void TestWidgetCreater::laterMarkedOptionWins()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("美颜美型", "美体");
    const auto thumbs = on<DIYButton>(page);
    QCOMPARE(thumbs.size(), 8);
    PanelItem &group = panel.module(5).children[1];
    QCOMPARE(group.selectedIndex, 3);
    QVERIFY(thumbs[3]->isSelected());
    QVERIFY(!thumbs[1]->isSelected());
    auto *manager = page->findChild<DIYButtonGroupManager *>();
    QCOMPARE(manager->currentButton(), thumbs[3]);
    QCOMPARE(gridColumnsUsed(thumbs), 4);
    QCOMPARE(thumbs.front()->imageLabel()->width(), 45);
}

void TestWidgetCreater::tabWidget2Overflow()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("美妆", "风格整妆");
    const auto buttons = on<HighLightButton>(page);
    QCOMPARE(buttons.size(), 5);
    const auto combos = on<MoreComboBox>(page);
    QCOMPARE(combos.size(), 1);
    MoreComboBox *combo = combos.front();
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QStringLiteral("清冷感"));
    QCOMPARE(combo->itemText(2), QStringLiteral("国风"));
    QCOMPARE(gridCell(combo), QPoint(2, 1));
    QStackedWidget *stack = nullptr;
    for (QStackedWidget *s : on<QStackedWidget>(page))
        if (s->count() == 8)
            stack = s;
    QVERIFY(stack);
    QVERIFY(buttons[0]->isHighlighted());
    QCOMPARE(stack->currentIndex(), 0);

    buttons[2]->click();
    QCOMPARE(stack->currentIndex(), 2);
    QVERIFY(buttons[2]->isHighlighted());
    QVERIFY(!buttons[0]->isHighlighted());

    combo->setCurrentIndex(2);
    QCOMPARE(stack->currentIndex(), 7);
    QVERIFY(combo->isHighlighted());
    for (HighLightButton *b : buttons)
        QVERIFY(!b->isHighlighted());

    buttons[1]->click();
    QVERIFY(!combo->isHighlighted());
    // Choosing the entry that is already current still shows its page.
    emit combo->activated(2);
    QCOMPARE(stack->currentIndex(), 7);
    QVERIFY(combo->isHighlighted());

    // Each sub-page holds its option: a scrolling grid of that option's thumbnails.
    QCOMPARE(stack->widget(6)->findChildren<DIYButton *>().size(), 6);
    QCOMPARE(stack->widget(6)->width(), 260);
}

void TestWidgetCreater::tabWidget3AndTabWidget1()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("滤镜调色", "滤镜");
    const auto buttons = on<HighLightButton>(page);
    QCOMPARE(buttons.size(), 5);
    QVERIFY(on<MoreComboBox>(page).isEmpty());
    const auto combos = on<QComboBox>(page);
    QCOMPARE(combos.size(), 1);
    QCOMPARE(combos.front()->size(), QSize(65, 72));
    QCOMPARE(combos.front()->count(), 2);
    auto *grid = qobject_cast<QGridLayout *>(combos.front()->parentWidget()->layout());
    QCOMPARE(grid->horizontalSpacing(), 12);
    QCOMPARE(gridCell(combos.front()), QPoint(2, 1));
    QStackedWidget *stack = nullptr;
    for (QStackedWidget *s : on<QStackedWidget>(page))
        if (!qobject_cast<StackedWidget *>(s))
            stack = s;
    QCOMPARE(stack->count(), 5); // overflow options get no page
    buttons[4]->click();
    QCOMPARE(stack->currentIndex(), 4);
    combos.front()->setCurrentIndex(1);
    QCOMPARE(stack->currentIndex(), 4);

    page = panel.open("贴纸特效", "3D贴纸");
    const auto labels = on<ClickableLabel>(page);
    QCOMPARE(labels.size(), 4);
    QCOMPARE(labels.front()->size(), QSize(65, 72));
    QVERIFY(labels.front()->isSelected());
    QCOMPARE(gridCell(labels[3]), QPoint(0, 1));
    QStackedWidget *tabStack = on<QStackedWidget>(page).front();
    QCOMPARE(tabStack->count(), 4);
    QTest::mouseClick(labels[2], Qt::LeftButton);
    QCOMPARE(tabStack->currentIndex(), 2);
    QVERIFY(labels[2]->isSelected());
    QVERIFY(!labels[0]->isSelected());
}

void TestWidgetCreater::scrollGroupModes()
{
    Panel panel;
    panel.build();
    // Template tiles: clicks go to the template rules with module and group names.
    QWidget *page = panel.stack->currentWidget();
    const auto tiles = on<BeautyTemplateButton>(page);
    QVERIFY(tiles[2]->isSelected());
    panel.button("模板", "美颜模板")->setDotVisible(true);
    QTest::mouseClick(tiles[0], Qt::LeftButton);
    QCOMPARE(panel.module(0).selectedIndex, 0);
    QCOMPARE(panel.module(0).children[2].uiState, 0);
    QVERIFY(!panel.button("模板", "美颜模板")->isDotVisible());
    QString asked;
    panel.creater.answerNextDialog([&asked](ResetDialog &dialog) {
        asked = dialog.titleLabel()->text();
        return 0;
    });
    QTest::mouseClick(tiles[3], Qt::LeftButton);
    QCOMPARE(asked, QStringLiteral("应用美颜模板效果？"));
    QCOMPARE(panel.module(0).selectedIndex, 0);

    // Preset backgrounds: 65-pixel thumbnails in their category.
    page = panel.open("贴纸特效", "虚拟背景");
    const auto backgrounds = on<DIYButton>(page);
    QCOMPARE(backgrounds.size(), 6);
    QCOMPARE(backgrounds.front()->imageLabel()->width(), 65);
    QCOMPARE(backgrounds.front()->category(), QStringLiteral("预设背景"));
    QCOMPARE(gridColumnsUsed(backgrounds), 3);
    panel.mark();
    QTest::mouseClick(backgrounds[4], Qt::LeftButton);
    QCOMPARE(panel.sent(), QStringList{"segmentation 0 segmentation/bg4"});
    QCOMPARE(panel.module(12).children[1].selectedIndex, 4);
    QVERIFY(panel.button("贴纸特效", "虚拟背景")->isDotVisible());

    // Option 1 with an effect list makes template tiles, even for preset backgrounds.
    auto dir = panelWith({{"segmentation.json", R"({"displayName":"虚拟背景","uiType":"CompositeType",
        "propertyList":[{"displayName":"预设背景","uiType":"ScrollButtonGroup","propertyList":[
            {"displayName":"a","uiState":2},{"displayName":"t","paramList":[{"effectName":"x"}]}]}]})"}});
    Panel other(dir->path() + "/");
    other.build();
    page = other.open("贴纸特效", "虚拟背景");
    const auto templateTiles = on<BeautyTemplateButton>(page);
    QCOMPARE(templateTiles.size(), 2);
    QVERIFY(templateTiles[0]->isSelected());
    QVERIFY(on<DIYButton>(page).isEmpty());
}

void TestWidgetCreater::scrollGroupWithSliders()
{
    Panel panel;
    panel.build();
    PanelItem &group = panel.module(6).children[1];
    QWidget *page = panel.open("美妆", "轻美妆");
    const auto sliders = on<Slider>(page);
    QCOMPARE(sliders.size(), 2);
    QCOMPARE(captionOf(sliders[0])->text(), QStringLiteral("妆容"));
    QCOMPARE(captionOf(sliders[1])->text(), QStringLiteral("滤镜"));
    QCOMPARE(sliders[0]->value(), 52); // option 2 marked
    QCOMPARE(sliders[1]->value(), 22); // its single extra value
    QVERIFY(sliders[0]->parentWidget()->isVisibleTo(page));
    QVERIFY(sliders[1]->parentWidget()->isVisibleTo(page));
    QCOMPARE(group.selectedIndex, 2);

    // A thumbnail sets both sliders, whose rules send the option (its
    // resource cannot be fetched from the dead address, so without a path).
    const auto thumbs = on<DIYButton>(page);
    panel.mark();
    QTest::mouseClick(thumbs[5], Qt::LeftButton);
    QCOMPARE(group.selectedIndex, 5);
    QCOMPARE(sliders[0]->value(), 55);
    QCOMPARE(sliders[1]->value(), 25);
    QCOMPARE(panel.sent(), QStringList({R"(light.makeup 55 - {"filterStrength":"25"})",
                                        R"(light.makeup 55 - {"filterStrength":"25"})"}));

    // The second slider writes the option's extra value.
    panel.mark();
    sliders[1]->setValue(40);
    QCOMPARE(panel.sent(), QStringList{R"(light.makeup 55 - {"filterStrength":"40"})"});
    QCOMPARE(group.children[5].sdkParam.extraInfo.at("filterStrength"), std::string("40"));

    // Without a second caption there is only the main slider; option 0 keeps it hidden.
    page = panel.open("滤镜调色", "滤镜");
    QStackedWidget *stack = nullptr;
    for (QStackedWidget *s : on<QStackedWidget>(page))
        if (!qobject_cast<StackedWidget *>(s))
            stack = s;
    const auto lutSliders = stack->widget(0)->findChildren<Slider *>();
    QCOMPARE(lutSliders.size(), 1);
    QVERIFY(!lutSliders.front()->parentWidget()->isVisibleTo(page));

    // A non-decimal extra value reads as 0.
    int value = -1;
    QVERIFY(WidgetCreater::singleExtraValue(SdkParam{"x", 1, "", {{"k", "abc"}}}, &value));
    QCOMPARE(value, 0);
    QVERIFY(!WidgetCreater::singleExtraValue(SdkParam{"x", 1, "", {{"a", "1"}, {"b", "2"}}}, &value));

    // Two marked options: the rows follow the later one, which has no extra
    // information, so the second slider stays hidden.
    for (PanelItem &option : group.children)
        option.uiState = 0;
    group.children[2].uiState = 2;
    group.children[2].sdkParam.extraInfo = {{"k", "22"}};
    group.children[3].uiState = 2;
    group.children[3].sdkParam.extraInfo.clear();
    page = panel.open("美妆", "轻美妆");
    const auto rows = on<Slider>(page);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(group.selectedIndex, 3);
    QVERIFY(rows[0]->parentWidget()->isVisibleTo(page));
    QVERIFY(!rows[1]->parentWidget()->isVisibleTo(page));
}

void TestWidgetCreater::atomicAbilities()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("原子能力", "原子能力");
    QLabel *hint = nullptr;
    for (QLabel *l : on<QLabel>(page))
        if (l->text().startsWith(QStringLiteral("在体验原子能力时")))
            hint = l;
    QVERIFY(hint);
    QVERIFY(hint->wordWrap());
    const auto switches = on<SwitchButton>(page);
    QCOMPARE(switches.size(), 3);
    for (SwitchButton *s : switches) {
        QVERIFY(!s->isChecked());
        QCOMPARE(s->size(), QSize(30, 18));
    }
    // The second switch is option 2 (the hint is option 0); its dialog
    // belongs to the window.
    QWidget *dialogParent = nullptr;
    QString asked;
    panel.creater.answerNextDialog([&](ResetDialog &dialog) {
        dialogParent = dialog.parentWidget();
        asked = dialog.titleLabel()->text();
        return 1;
    });
    panel.mark();
    switches[1]->setChecked(true);
    QCOMPARE(asked, QStringLiteral("确认开启人像分割?"));
    QCOMPARE(dialogParent, &panel.window);
    QCOMPARE(panel.sent().last(), QStringLiteral("atomic.portraitSegment 1 -"));
}

void TestWidgetCreater::foldSectionsAndPlainKinds()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("美颜美型", "美颜");
    const auto sections = on<FoldPageWidget>(page);
    QCOMPARE(sections.size(), 2);
    QCOMPARE(sections[0]->foldButton()->titleLabel()->text(), QStringLiteral("基础美颜"));
    QCOMPARE(sections[0]->contentWidget()->findChildren<Slider *>().size(), 3);
    QCOMPARE(sections[1]->contentWidget()->findChildren<Slider *>().size(), 2);
    QVERIFY(!sections[0]->contentWidget()->isVisibleTo(page));
    // Sliders three levels below the module still drive their own record.
    Slider *whiten = sections[0]->contentWidget()->findChildren<Slider *>().front();
    QCOMPARE(whiten->value(), 50);
    panel.mark();
    whiten->setValue(51);
    QCOMPARE(panel.sent(), QStringList{"beauty.whiten 51 -"});
    QCOMPARE(panel.module(2).children[1].children[0].children[0].sdkParam.effectValue, 51);

    page = panel.open("贴纸特效", "手势贴纸");
    QLabel *placeholder = nullptr;
    for (QLabel *l : on<QLabel>(page))
        if (l->styleSheet() == QStringLiteral("QLabel{background-color: blue;}"))
            placeholder = l;
    QVERIFY(placeholder);
    QCOMPARE(placeholder->size(), QSize(228, 120));
    QCOMPARE(on<DIYButton>(page).size(), 8);
}

void TestWidgetCreater::uploadControl()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("贴纸特效", "虚拟背景");
    PanelItem &upload = panel.module(12).children[2];
    QLabel *hint = nullptr;
    for (QLabel *l : on<QLabel>(page))
        if (l->text() == QStringLiteral("请上传PNG、JPG格式文件，大小5MB以内"))
            hint = l;
    QVERIFY(hint);
    QCOMPARE(hint->height(), 20);
    const auto sliders = on<Slider>(page);
    QCOMPARE(sliders.size(), 5);
    QCOMPARE(sliders[2]->maximum(), 3); // corrosion
    QCOMPARE(sliders[1]->minimum(), 1); // smooth
    for (Slider *s : sliders)
        QVERIFY(s->parentWidget()->isVisibleTo(page)); // a custom picture is in use
    // A parameter slider sends the upload item with the rebuilt parameter list.
    panel.mark();
    sliders[3]->setValue(75);
    QCOMPARE(panel.sent(), QStringList{
        R"(segmentation 0 segmentation/green {"bgPath":"","bgType":"0","green_params_v2":[50,60,3,75,4]})"});
    QCOMPARE(upload.children[3].sdkParam.effectValue, 75);

    // The parameter sliders follow the module switch without touching the records.
    panel.creater.currentModuleSwitch()->setChecked(false);
    for (Slider *s : sliders)
        QCOMPARE(s->value(), s->minimum()); // 0, or the smallest value of its range
    QCOMPARE(upload.children[4].sdkParam.effectValue, 4);
    panel.creater.currentModuleSwitch()->setChecked(true);
    QCOMPARE(sliders[3]->value(), 75);

    // Without a custom picture the parameter rows start hidden.
    upload.uiState = 0;
    page = panel.open("贴纸特效", "虚拟背景");
    for (Slider *s : on<Slider>(page))
        QVERIFY(!s->parentWidget()->isVisibleTo(page));
}

void TestWidgetCreater::templatePageHeader()
{
    Panel panel;
    panel.build();
    QWidget page;
    page.setFixedWidth(260);
    auto *layout = new QVBoxLayout(&page);
    panel.creater.buildItem(panel.creater.templatePanel(), layout);
    const auto actions = on<IconTextWidget>(&page);
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->textLabel()->text(), QStringLiteral("美颜模板"));
    QCOMPARE(actions[1]->textLabel()->text(), QStringLiteral("恢复预设"));
    QCOMPARE(actions[0]->parentWidget()->width(), 228);
    // Back asks first, over the header's window; with no template being
    // edited neither action sends anything.
    QWidget *dialogParent = nullptr;
    QString asked;
    panel.creater.answerNextDialog([&](ResetDialog &dialog) {
        dialogParent = dialog.parentWidget();
        asked = dialog.titleLabel()->text();
        return 1;
    });
    panel.mark();
    QTest::mouseClick(actions[0], Qt::LeftButton);
    QTest::mouseClick(actions[1], Qt::LeftButton);
    QCOMPARE(asked, QStringLiteral("退出美颜模版？"));
    QCOMPARE(dialogParent, &page);
    QVERIFY(panel.sent().isEmpty());
    QCOMPARE(on<Slider>(&page).size(), 3);
}

void TestWidgetCreater::switchRowWiring()
{
    Panel panel;
    panel.build();
    QWidget *page = panel.open("美妆", "单点美妆");
    SwitchButton *toggle = panel.creater.currentModuleSwitch();
    QVERIFY(toggle);
    QVERIFY(toggle->isChecked());
    QCOMPARE(toggle->size(), QSize(62, 18));
    QCOMPARE(toggle->parentWidget()->width(), 228);

    // Off: the page's effects are switched off, its sliders and selected
    // thumbnails follow; on: they come back.
    const auto thumbs = on<DIYButton>(page);
    const auto sliders = on<Slider>(page);
    QVERIFY(thumbs[3]->isSelected());
    panel.mark();
    toggle->setChecked(false);
    QCOMPARE(panel.sent(), QStringList{"makeup.lip 0 -"});
    QCOMPARE(panel.module(3).children[0].uiState, 2);
    QVERIFY(panel.stack->isMaskVisible());
    QCOMPARE(sliders[0]->value(), 0);
    QVERIFY(!thumbs[3]->isSelected());
    panel.mark();
    toggle->setChecked(true);
    QCOMPARE(panel.sent(), QStringList{"makeup.lip 70 makeup/makeup.lip3.png"});
    QVERIFY(!panel.stack->isMaskVisible());
    QCOMPARE(sliders[0]->value(), 70);
    QVERIFY(thumbs[3]->isSelected());

    // The restore action rebuilds the page.
    const auto restore = on<IconTextWidget>(page);
    QCOMPARE(restore.size(), 1);
    QTest::mouseClick(restore.front(), Qt::LeftButton);
    QVERIFY(panel.stack->currentWidget() != page);
    QCOMPARE(panel.stack->count(), 1);

    // A "ClearSwitchButton" row has no restore action.
    page = panel.open("滤镜调色", "画质调整");
    QVERIFY(on<IconTextWidget>(page).isEmpty());
    QVERIFY(panel.creater.currentModuleSwitch());
}

void TestWidgetCreater::switchOffStateSurvivesRebuild()
{
    Panel panel;
    panel.build();
    panel.module(2).children[0].uiState = 2;
    panel.mark();
    panel.open("美颜美型", "美颜");
    SwitchButton *toggle = panel.creater.currentModuleSwitch();
    QVERIFY(toggle);
    QVERIFY(!toggle->isChecked());
    // The rebuilt switch is turned off again, which switches the module off.
    QVERIFY(panel.stack->isMaskVisible());
    QCOMPARE(panel.sent(), QStringList({"beauty.bigEye 0 -", "beauty.thinFace 0 -", "beauty.ruddy 0 -",
                                        "beauty.smooth 0 -", "beauty.whiten 0 -"}));
}

void TestWidgetCreater::replacedPagesAreDestroyed()
{
    Panel panel;
    panel.build();
    const QStringList groups = {"美颜美型", "美妆", "贴纸特效", "滤镜调色", "模板"};
    const QList<QStringList> modules = {{"美颜", "高级美型", "美体"},
                                        {"风格整妆", "单点美妆", "轻美妆"},
                                        {"2D贴纸", "3D贴纸", "手势贴纸", "虚拟背景"},
                                        {"滤镜", "画质调整"},
                                        {"美颜模板"}};
    QList<BeautyModuleButton *> buttons;
    for (int g = 0; g < groups.size(); ++g)
        for (const QString &m : modules[g])
            buttons.append(panel.button(groups[g], m));
    int baseline = -1;
    for (int click = 0; click < 100; ++click) {
        buttons[click % buttons.size()]->click();
        QCOMPARE(panel.stack->count(), 1);
        if (click % buttons.size() == buttons.size() - 1) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const int live = QApplication::allWidgets().size();
            if (baseline < 0)
                baseline = live;
            QCOMPARE(live, baseline);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(panel.stack->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).size(), 2);
}

void TestWidgetCreater::rebuildRetiresPagesOfTheOldTree()
{
    Panel panel;
    panel.build();
    panel.open("美颜美型", "美颜");
    QPointer<QWidget> oldPage = panel.stack->currentWidget();
    QPointer<Slider> oldSlider = oldPage->findChild<Slider *>();
    QVERIFY(oldSlider);

    // A side bar that names no module: no first page is shown, so only the
    // rebuild itself can take the page built from the old records away.
    SideBarWidget unbound(nullptr);
    unbound.addGroup(QStringLiteral("其他"));
    unbound.addItem(QStringLiteral("其他"), QStringLiteral("无此模块"));
    panel.creater.buildPanels(&unbound, panel.stack, &panel.filter, &panel.window, false);
    QCOMPARE(panel.stack->count(), 0);
    QVERIFY(!panel.creater.currentModuleSwitch());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!oldPage);
    QVERIFY(!oldSlider);
}

void TestWidgetCreater::moduleSwitchNeverDangles()
{
    Panel panel;
    panel.build();
    panel.open("美颜美型", "美颜");
    QPointer<SwitchButton> old = panel.creater.currentModuleSwitch();
    QVERIFY(old);
    // A page without a switch row: the old page's switch is no longer the module's.
    panel.open("模板", "美颜模板");
    QVERIFY(!panel.creater.currentModuleSwitch());
    QVERIFY(old); // still alive until the event loop runs
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);

    // A page destroyed from one of its own controls survives the click.
    panel.open("美颜美型", "美体");
    QPointer<QWidget> page = panel.stack->currentWidget();
    SwitchButton *toggle = panel.creater.currentModuleSwitch();
    connect(toggle, &SwitchButton::signalCheckedStateChange, &panel.creater,
            [&panel](bool) { panel.creater.clearPages(); });
    toggle->setChecked(false);
    QVERIFY(page);
    QVERIFY(!panel.creater.currentModuleSwitch());
    QCOMPARE(panel.stack->count(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!page);
}

void TestWidgetCreater::builderDestroyedBeforeWidgets()
{
    // The window destroys its by-value builder before its child widgets.
    QWidget window;
    auto *bar = new SideBarWidget(&window);
    bar->addDefaultModules();
    auto *stack = new StackedWidget(&window);
    VideoFilter filter;
    auto creater = std::make_unique<WidgetCreater>();
    creater->setPanelJsonDir(kFixtures + QStringLiteral("panel/"));
    creater->setAppDirPrefix(kFixtures);
    creater->buildPanels(bar, stack, &filter, &window, true);
    bar->findModuleButton("美颜美型", "美颜")->click();
    QPointer<QWidget> retired = stack->currentWidget();
    bar->findModuleButton("美妆", "单点美妆")->click();
    QPointer<QWidget> shown = stack->currentWidget();
    QPointer<Slider> slider = shown->findChild<Slider *>();
    QVERIFY(retired && shown && slider);
    creater.reset();
    QVERIFY(!retired);
    QVERIFY(!shown);
    QVERIFY(!slider);
    QCOMPARE(stack->count(), 0);
    // Clicks on the side bar reach nothing any more.
    bar->findModuleButton("美颜美型", "美体")->click();
    QCOMPARE(stack->count(), 0);
}

void TestWidgetCreater::shippedPanelBuilds()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    Panel panel(appDir + QStringLiteral("/beauty_panel/panel_json/"));
    panel.creater.setAppDirPrefix(appDir + QStringLiteral("/"));
    panel.build();
    QVERIFY(countLog(QStringLiteral("open json file failed: ")) == 0);
    QVERIFY(countLog(QStringLiteral("load json error: ")) == 0);
    QVERIFY(countLog(QStringLiteral("Failed to load pixmap")) == 0);
    // Every module of the side bar is bound and knows its group.
    int bound = 0;
    for (BeautyModuleButton *button : panel.bar->findChildren<BeautyModuleButton *>()) {
        if (button->text() == QStringLiteral("原子能力"))
            continue;
        button->click();
        QCOMPARE(panel.creater.shownModuleIndex(), panel.creater.moduleIndexes().value(button->text()));
        QVERIFY(!panel.creater.groupOfModule(button->text()).isEmpty());
        ++bound;
    }
    QCOMPARE(bound, 13);
    QWidget *page = panel.open("滤镜调色", "滤镜");
    QCOMPARE(on<DIYButton>(page).size(), 15); // "无" and fourteen filters
    QCOMPARE(panel.creater.category(), std::string("lut"));
    page = panel.open("模板", "美颜模板");
    QCOMPARE(on<BeautyTemplateButton>(page).size(), 7); // "关闭" and six templates
    QCOMPARE(panel.module(0).selectedIndex, 1);
}

void TestWidgetCreater::screenshots()
{
    const QString out = qEnvironmentVariable("PANELBUILDER_SCREENSHOTS");
    if (out.isEmpty())
        QSKIP("set PANELBUILDER_SCREENSHOTS to a folder to save one page per arrangement");
    QDir().mkpath(out);
    Panel panel;
    if (qEnvironmentVariableIsSet("PANELBUILDER_SCREENSHOTS_SHIPPED")) {
        // The description files and icons that ship beside the program.
        const QString appDir = QCoreApplication::applicationDirPath();
        panel.creater.setPanelJsonDir(appDir + QStringLiteral("/beauty_panel/panel_json/"));
        panel.creater.setAppDirPrefix(appDir + QStringLiteral("/"));
    }
    panel.window.setStyleSheet(QStringLiteral("background-color: #333;"));
    panel.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    panel.build();
    const QList<QPair<QString, QString>> pages = {
        {"模板", "美颜模板"},   {"美颜美型", "美颜"},   {"美颜美型", "高级美型"},
        {"美颜美型", "美体"},   {"美妆", "风格整妆"},   {"美妆", "单点美妆"},
        {"美妆", "轻美妆"},     {"贴纸特效", "2D贴纸"}, {"贴纸特效", "3D贴纸"},
        {"贴纸特效", "手势贴纸"}, {"贴纸特效", "虚拟背景"}, {"滤镜调色", "滤镜"},
        {"滤镜调色", "画质调整"}, {"原子能力", "原子能力"}};
    int n = 0;
    for (const auto &p : pages) {
        QWidget *page = panel.open(p.first, p.second);
        if (p.second == QStringLiteral("美颜")) {
            for (FoldPageWidget *section : on<FoldPageWidget>(page))
                QTest::mouseClick(section->foldButton(), Qt::LeftButton);
        }
        QTest::qWait(300); // thumbnails arrive from the loader
        panel.window.grab().save(QStringLiteral("%1/%2_%3.png").arg(out).arg(n++, 2, 10, QChar('0')).arg(p.second));
    }
    // The fine-tuning page, opened by clicking the selected template again.
    QWidget *page = panel.open("模板", "美颜模板");
    const int selected = panel.module(0).selectedIndex;
    if (selected > 0) {
        QTest::mouseClick(on<BeautyTemplateButton>(page)[selected], Qt::LeftButton);
        QTest::qWait(300);
        panel.window.grab().save(out + QStringLiteral("/%1_template_page.png").arg(n, 2, 10, QChar('0')));
    }
}

EFFECTDEMO_GL_TEST_MAIN(TestWidgetCreater)
#include "tst_widgetcreater.moc"
