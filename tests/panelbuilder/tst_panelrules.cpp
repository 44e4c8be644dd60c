#include "PanelRig.h"

#include "BeautyTemplateButton.h"
#include "DIYButton.h"
#include "IconTextWidget.h"
#include "ResetDialog.h"
#include "Slider.h"
#include "SwitchButton.h"
#include "TestHttpServer.h"
#include "ZipTestUtil.h"

#include <QImage>
#include <QJsonDocument>
#include <QLabel>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

template <typename T>
QList<T *> on(QWidget *page)
{
    return page->findChildren<T *>();
}

// Modules 1 to 4 small enough that every setting a template sends can be
// listed: two sliders of one key in module 1 (the later one is found first)
// and a key that modules 1 and 2 share.
const QByteArray kPremium = R"({"displayName":"高级美型","uiType":"CompositeType","propertyList":[
    {"displayName":"高级美型","uiType":"ResetButtonGroup"},
    {"displayName":"下巴1","uiType":"Slider","sdkParam":{"effectName":"basicV7.chin","effectValue":30}},
    {"displayName":"下巴2","uiType":"Slider","sdkParam":{"effectName":"basicV7.chin","effectValue":31}},
    {"displayName":"美白","uiType":"Slider","sdkParam":{"effectName":"beauty.whiten","effectValue":45}}]})";
const QByteArray kBeauty = R"({"displayName":"美颜","uiType":"CompositeType","propertyList":[
    {"displayName":"美白","uiType":"Slider","sdkParam":{"effectName":"beauty.whiten","effectValue":50}},
    {"displayName":"磨皮","uiType":"Slider","sdkParam":{"effectName":"beauty.smooth","effectValue":60}}]})";
const QByteArray kSingle = R"({"displayName":"单点美妆","uiType":"CompositeType","propertyList":[
    {"displayName":"单点美妆","uiType":"ResetButtonGroup"},
    {"displayName":"口红","uiType":"GroupButton1","sdkParam":{"effectName":"makeup.lip"},"propertyList":[
        {"displayName":"无","sdkParam":{"effectName":"","effectValue":0}},
        {"displayName":"口红1","uiState":2,"sdkParam":{"effectName":"makeup.lip","effectValue":50,"resourcePath":"makeup/makeup.lip1.png"}},
        {"displayName":"口红2","sdkParam":{"effectName":"makeup.lip","effectValue":60,"resourcePath":"makeup/makeup.lip2.png"}},
        {"displayName":"口红3","sdkParam":{"effectName":"makeup.lip","effectValue":70,"resourcePath":"makeup/makeup.lip3.png"}}]}]})";
const QByteArray kQuality = R"({"displayName":"画质调整","uiType":"CompositeType","propertyList":[
    {"displayName":"锐化","uiType":"Slider","sdkParam":{"effectName":"smooth.sharpen","effectValue":30}}]})";
// "A" reaches outside the four modules ("extra.effect"), "B" is the marked one.
const QByteArray kTemplates = R"({"displayName":"美颜模板","uiType":"ScrollButtonGroup","propertyList":[
    {"displayName":"关闭","icon":"icons/none.png"},
    {"displayName":"A","icon":"icons/thumb1.png","paramList":[
        {"effectName":"beauty.whiten","effectValue":40},{"effectName":"basicV7.chin","effectValue":25},
        {"effectName":"makeup.lip","effectValue":60,"resourcePath":"makeup/makeup.lip2.png"},
        {"effectName":"extra.effect","effectValue":10}]},
    {"displayName":"B","icon":"icons/thumb2.png","uiState":2,"paramList":[
        {"effectName":"beauty.smooth","effectValue":30},{"effectName":"sticker.x","effectValue":5}]}]})";

// Sticker, light makeup and filter modules whose resources come from the
// test server (%1 is its address).
const char *const kStickers = R"({"displayName":"2D贴纸","uiType":"CompositeType","downloadPath":"motion/","propertyList":[
    {"displayName":"2D贴纸","uiType":"ClearSwitchButton"},
    {"displayName":"贴纸","uiType":"ScrollButtonGroup","propertyList":[
        {"displayName":"无","sdkParam":{"effectName":"","effectValue":0}},
        {"displayName":"a","sdkParam":{"effectName":"motion","effectValue":100,"resourcePath":"motion/a/template.json"}},
        {"displayName":"cat","resourceUri":"%1/stickers/cat.zip","sdkParam":{"effectName":"motion","effectValue":100}},
        {"displayName":"c","uiState":2,"sdkParam":{"effectName":"motion","effectValue":90,"resourcePath":"motion/c/template.json"}},
        {"displayName":"gone","resourceUri":"%1/missing.zip","sdkParam":{"effectName":"motion","effectValue":100}},
        {"displayName":"dead","resourceUri":"http://127.0.0.1:1/dead.zip","sdkParam":{"effectName":"motion","effectValue":100}}]}]})";
const char *const kLight = R"({"displayName":"轻美妆","uiType":"CompositeType","downloadPath":"light/","propertyList":[
    {"displayName":"轻美妆","uiType":"ClearSwitchButton"},
    {"displayName":"轻美妆","uiType":"ScrollButtonGroupWithSlider","defaultSliderDisPlayName":"妆容",
     "extroSliderDisPlayName":"滤镜","sdkParam":{"effectName":"light.makeup"},"propertyList":[
        {"displayName":"无","sdkParam":{"effectName":"","effectValue":0}},
        {"displayName":"two","sdkParam":{"effectName":"light.makeup","effectValue":40,"resourcePath":"light/two/","extraInfo":{"a":"1","b":"2"}}},
        {"displayName":"odd","sdkParam":{"effectName":"light.makeup","effectValue":30,"resourcePath":"light/odd/","extraInfo":{"filterStrength":"12abc"}}},
        {"displayName":"soft","resourceUri":"%1/looks/soft.zip","sdkParam":{"effectName":"light.makeup","effectValue":50,"extraInfo":{"filterStrength":"20"}}}]}]})";
const char *const kLut = R"({"displayName":"滤镜","uiType":"CompositeType","downloadPath":"lut/","propertyList":[
    {"displayName":"滤镜","uiType":"ClearSwitchButton"},
    {"displayName":"自然","uiType":"ScrollButtonGroupWithSlider","defaultSliderDisPlayName":"强度","sdkParam":{"effectName":"lut"},"propertyList":[
        {"displayName":"无","sdkParam":{"effectName":"","effectValue":0}},
        {"displayName":"warm","resourceUri":"%1/luts/warm.zip","sdkParam":{"effectName":"lut","effectValue":80}}]}]})";

QMap<QString, QByteArray> ruleFixtures(const QString &server)
{
    return {{"premium_beauty.json", kPremium},
            {"beauty.json", kBeauty},
            {"single_beauty.json", kSingle},
            {"image_quality.json", kQuality},
            {"beauty_template.json", kTemplates},
            {"2d_motions.json", QString::fromUtf8(kStickers).arg(server).toUtf8()},
            {"light_makeup.json", QString::fromUtf8(kLight).arg(server).toUtf8()},
            {"lut.json", QString::fromUtf8(kLut).arg(server).toUtf8()}};
}

// Answers the next dialog and remembers its title.
struct DialogAnswerer
{
    QString title;
    int asked = 0;
    void queue(WidgetCreater &creater, int answer, std::function<void()> meanwhile = {})
    {
        creater.answerNextDialog([this, answer, meanwhile](ResetDialog &dialog) {
            title = dialog.titleLabel()->text();
            ++asked;
            if (meanwhile)
                meanwhile();
            return answer;
        });
    }
};

QStringList zeros(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines << name + QStringLiteral(" 0 -");
    return lines;
}

QJsonObject extraOf(const QString &line)
{
    const int brace = line.indexOf(QLatin1Char('{'));
    return brace < 0 ? QJsonObject() : QJsonDocument::fromJson(line.mid(brace).toUtf8()).object();
}

} // namespace

class TestPanelRules : public QObject
{
    Q_OBJECT

    TestHttpServer server;
    QTemporaryDir runtimeDir;
    std::unique_ptr<QTemporaryDir> panelDir;

    std::unique_ptr<Panel> makePanel()
    {
        auto panel = std::make_unique<Panel>(panelDir->path() + QStringLiteral("/"));
        panel->build();
        panel->mark();
        return panel;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(DisplayContext().valid());
        // Mirrored pictures go to the private folder under the runtime directory.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
        panelDir = panelWith(ruleFixtures(server.url(QString())));
        TestHttpServer::Route cat;
        cat.body = buildZip({{"cat/", {}, true}, {"cat/template.json", "{}"}});
        server.setRoute("/stickers/cat.zip", cat);
        TestHttpServer::Route soft;
        soft.body = buildZip({{"soft/", {}, true}, {"soft/look.json", "{}"}});
        server.setRoute("/looks/soft.zip", soft);
        TestHttpServer::Route warm;
        warm.body = buildZip({{"warm/", {}, true}, {"warm/warm.png", "png"}});
        server.setRoute("/luts/warm.zip", warm);
        TestHttpServer::Route missing;
        missing.status = 404;
        missing.body = "not here";
        server.setRoute("/missing.zip", missing);
    }

    void optionZeroForms_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("module");
        QTest::addColumn<QStringList>("expected");
        // Value form, resource kept; option 0 sends nothing of its own.
        QTest::newRow("GroupButton1") << "美妆" << "单点美妆"
                                      << QStringList{"makeup.lip 0 makeup/makeup.lip1.png"};
        // Path form, then option 0's own setting under the category's name.
        QTest::newRow("ScrollButtonGroup") << "贴纸特效" << "2D贴纸" << QStringList{"motion 90 -", "motion 0 -"};
    }
    void optionZeroForms()
    {
        QFETCH(QString, group);
        QFETCH(QString, module);
        QFETCH(QStringList, expected);
        auto panel = makePanel();
        QWidget *page = panel->open(group, module);
        PanelItem &options = panel->module(module).children[1];
        const int previous = options.selectedIndex;
        QVERIFY(previous > 0);
        panel->button(group, module)->setDotVisible(true);
        panel->mark();
        QTest::mouseClick(on<DIYButton>(page).front(), Qt::LeftButton);
        QCOMPARE(panel->sent(), expected);
        QCOMPARE(options.selectedIndex, 0);
        QCOMPARE(options.children[std::size_t(previous)].uiState, 0);
        QCOMPARE(options.children[0].uiState, 2);
        // Only the thumbnail group hides the module's dot.
        QCOMPARE(panel->button(group, module)->isDotVisible(), group == QStringLiteral("美妆"));
    }

    void sliderRules()
    {
        auto panel = makePanel();
        LogCapture log;
        // An option whose value the slider already holds is still sent.
        QWidget *page = panel->open("美妆", "单点美妆");
        QTest::mouseClick(on<DIYButton>(page)[1], Qt::LeftButton);
        QCOMPARE(panel->sent(), QStringList{"makeup.lip 50 makeup/makeup.lip1.png"});
        QVERIFY(panel->button("美妆", "单点美妆")->isDotVisible());

        // Extra mode on an option with two entries sends it unchanged.
        page = panel->open("美妆", "轻美妆");
        PanelItem &looks = panel->module("轻美妆").children[1];
        const auto sliders = on<Slider>(page);
        QCOMPARE(sliders.size(), 2);
        QTest::mouseClick(on<DIYButton>(page)[1], Qt::LeftButton);
        QVERIFY(sliders[1]->parentWidget()->isVisibleTo(page));
        panel->mark();
        sliders[1]->setValue(77);
        const std::map<std::string, std::string> two{{"a", "1"}, {"b", "2"}};
        QCOMPARE(looks.children[1].sdkParam.extraInfo, two);
        QCOMPARE(panel->sent(), QStringList{R"(light.makeup 40 light/two/ {"a":"1","b":"2"})"});

        // A value that is not a decimal integer reads as 0, with one log line.
        log.clear();
        QTest::mouseClick(on<DIYButton>(page)[2], Qt::LeftButton);
        QCOMPARE(sliders[0]->value(), 30);
        QCOMPARE(sliders[1]->value(), 0);
        QCOMPARE(log.count(QStringLiteral("额外信息不是整数")), 1);
    }

    void moduleSwitchResendsEverything()
    {
        auto panel = makePanel();
        QWidget *page = panel->open("美颜美型", "高级美型");
        on<Slider>(page)[0]->setValue(12);
        panel->mark();
        panel->creater.currentModuleSwitch()->setChecked(false);
        QCOMPARE(panel->sent(), zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin"}));
        QVERIFY(!panel->button("美颜美型", "高级美型")->isDotVisible());
        panel->mark();
        panel->creater.currentModuleSwitch()->setChecked(true);
        QCOMPARE(panel->sent(), QStringList({"beauty.whiten 45 -", "basicV7.chin 31 -", "basicV7.chin 12 -"}));
        QVERIFY(panel->button("美颜美型", "高级美型")->isDotVisible());

        // A group's selected option comes back too.
        page = panel->open("美妆", "单点美妆");
        panel->creater.currentModuleSwitch()->setChecked(false);
        panel->mark();
        panel->creater.currentModuleSwitch()->setChecked(true);
        QCOMPARE(panel->sent(), QStringList{"makeup.lip 50 makeup/makeup.lip1.png"});
    }

    void ensureResource_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("module");
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("resourcePath");
        QTest::addColumn<QString>("extracted");
        QTest::addColumn<QString>("firstSend");
        QTest::newRow("sticker") << "贴纸特效" << "2D贴纸" << 2 << "/stickers/cat.zip"
                                 << "motion/cat/template.json" << "motion/cat/template.json"
                                 << "motion 100 motion/cat/template.json";
        QTest::newRow("light.makeup") << "美妆" << "轻美妆" << 3 << "/looks/soft.zip" << "light/soft/"
                                      << "light/soft/look.json"
                                      << R"(light.makeup 50 light/soft/ {"filterStrength":"20"})";
        QTest::newRow("lut") << "滤镜调色" << "滤镜" << 1 << "/luts/warm.zip" << "lut/warm.zip" << "lut/warm/warm.png"
                             << "lut 80 lut/warm.zip";
        QTest::newRow("404") << "贴纸特效" << "2D贴纸" << 4 << "/missing.zip" << "" << "" << "motion 100 -";
        QTest::newRow("dead server") << "贴纸特效" << "2D贴纸" << 5 << "" << "" << "" << "motion 100 -";
    }
    void ensureResource()
    {
        QFETCH(QString, group);
        QFETCH(QString, module);
        QFETCH(int, option);
        QFETCH(QString, route);
        QFETCH(QString, resourcePath);
        QFETCH(QString, extracted);
        QFETCH(QString, firstSend);
        auto panel = makePanel();
        QSignalSpy loading(&panel->creater, &WidgetCreater::requestShowLoading);
        QWidget *page = panel->open(group, module);
        PanelItem &item = panel->module(module).children[1].children[std::size_t(option)];
        const int before = route.isEmpty() ? 0 : server.requestCount(route);

        QTest::mouseClick(on<DIYButton>(page)[option], Qt::LeftButton);
        QCOMPARE(QString::fromStdString(item.sdkParam.resourcePath), resourcePath);
        QCOMPARE(panel->sent().value(0), firstSend);
        QCOMPARE(item.uiState, 2);
        QCOMPARE(loading.count(), 1);
        if (!extracted.isEmpty())
            QVERIFY(QFileInfo::exists(panel->resources.filePath(extracted)));

        // A resource once there is not fetched again; a failed one is retried.
        QTest::mouseClick(on<DIYButton>(page)[option], Qt::LeftButton);
        QCOMPARE(loading.count(), resourcePath.isEmpty() ? 2 : 1);
        if (!route.isEmpty())
            QCOMPARE(server.requestCount(route), before + (resourcePath.isEmpty() ? 2 : 1));
    }

    void windowTakesNoInputWhileDownloading()
    {
        TestHttpServer::Route slow;
        slow.body = buildZip({{"slow/", {}, true}, {"slow/template.json", "{}"}});
        slow.mode = TestHttpServer::Route::Mode::Trickle;
        slow.trickleBytes = 64;
        slow.trickleIntervalMs = 40;
        server.setRoute("/stickers/cat.zip", slow);
        auto panel = makePanel();
        QWidget *page = panel->open("贴纸特效", "2D贴纸");
        LogCapture log;
        bool tried = false;
        connect(&panel->creater, &WidgetCreater::requestShowLoading, page, [&] {
            QTimer::singleShot(20, page, [&] {
                QVERIFY(panel->creater.isWaitingForDownload());
                // A real click on the side bar and calls from elsewhere are refused.
                QTest::mouseClick(panel->button("美颜美型", "美颜"), Qt::LeftButton);
                panel->creater.resetAllEffects();
                panel->creater.onModuleButtonClicked("美颜", panel->button("美颜美型", "美颜"));
                tried = true;
            });
        });
        QTest::mouseClick(on<DIYButton>(page)[2], Qt::LeftButton);
        QVERIFY(tried);
        QCOMPARE(panel->stack->currentWidget(), page);
        QCOMPARE(panel->module("2D贴纸").children[1].selectedIndex, 2);
        QVERIFY(log.count(QStringLiteral("资源下载中")) >= 2);
        QVERIFY(!panel->creater.isWaitingForDownload());
        // Input works again once the download is over.
        QTest::mouseClick(panel->button("美颜美型", "美颜"), Qt::LeftButton);
        QVERIFY(panel->stack->currentWidget() != page);
    }

    void exclusionTable_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("cleared");
        QTest::newRow("美颜模板") << "美颜模板" << QStringList{"美颜", "高级美型", "画质调整", "单点美妆"};
        for (const char *name : {"美颜", "高级美型", "画质调整"})
            QTest::newRow(name) << QString::fromUtf8(name) << QStringList{"美颜模板"};
        QTest::newRow("美体") << "美体" << QStringList();
        QTest::newRow("单点美妆") << "单点美妆" << QStringList{"轻美妆", "美颜模板"};
        QTest::newRow("轻美妆") << "轻美妆" << QStringList{"单点美妆", "滤镜"};
        QTest::newRow("滤镜") << "滤镜" << QStringList{"轻美妆"};
        const QStringList stickers{"虚拟背景", "2D贴纸", "3D贴纸", "手势贴纸", "风格整妆"};
        for (const QString &name : stickers)
            QTest::newRow(name.toUtf8().constData()) << name << stickers;
    }
    void exclusionTable()
    {
        QFETCH(QString, shown);
        QFETCH(QStringList, cleared);
        auto panel = makePanel();
        const int index = panel->creater.moduleIndexes().value(shown);
        PanelItem &module = panel->module(index);
        auto everythingInUse = [&] {
            for (PanelItem &m : panel->creater.root()->children)
                m.uiState = 1;
            for (BeautyModuleButton *b : panel->bar->moduleButtons())
                b->setDotVisible(true);
        };
        everythingInUse();
        panel->open(panel->creater.groupOfModule(shown), shown);
        // A module already in use clears nobody.
        PanelItem none;
        none.uiType = UiGroupButton1;
        panel->creater.onSliderValueChanged(&none, false, false, 0);
        for (PanelItem &m : panel->creater.root()->children)
            QCOMPARE(m.uiState, 1);

        module.uiState = 0;
        panel->creater.onSliderValueChanged(&none, false, false, 0);
        for (const PanelItem &m : panel->creater.root()->children) {
            const bool gone = m.displayName != shown && cleared.contains(m.displayName);
            QCOMPARE(m.uiState, gone ? 0 : 1);
            BeautyModuleButton *button = panel->button(panel->creater.groupOfModule(m.displayName), m.displayName);
            if (button)
                QCOMPARE(button->isDotVisible(), !gone);
        }
        QVERIFY(panel->sent().isEmpty());

        // "原子能力" clears every module and every dot but its own.
        everythingInUse();
        panel->open("原子能力", "原子能力");
        panel->module("原子能力").uiState = 0;
        panel->creater.onSliderValueChanged(&none, false, false, 0);
        for (const PanelItem &m : panel->creater.root()->children)
            QCOMPARE(m.uiState, m.displayName == QStringLiteral("原子能力") ? 1 : 0);
        for (BeautyModuleButton *b : panel->bar->moduleButtons())
            QCOMPARE(b->isDotVisible(), b == panel->button("原子能力", "原子能力"));
    }

    void atomicAbilities()
    {
        auto panel = makePanel();
        DialogAnswerer answer;
        QWidget *page = panel->open("原子能力", "原子能力");
        auto switches = on<SwitchButton>(page);

        // Confirmed: the other effects are reset and the ability goes on;
        // switched off, it goes off again.
        answer.queue(panel->creater, 1);
        switches[0]->setChecked(true);
        QCOMPARE(answer.title, QStringLiteral("确认开启人脸检测?"));
        QCOMPARE(panel->sent(), QStringList({"clearAllEffects", "motion 0 -", "lut 0 -", "light.makeup 0 -",
                                             "makeup 0 -", "segmentation 0 -", "atomic.faceDetect 1 -"}));
        panel->mark();
        switches[0]->setChecked(false);
        QCOMPARE(panel->sent(), QStringList{"atomic.faceDetect 0 -"});

        // Cancelled: the switch turns off again and nothing is sent.
        panel->mark();
        answer.queue(panel->creater, 0);
        switches[1]->setChecked(true);
        QVERIFY(!switches[1]->isChecked());
        QVERIFY(panel->sent().isEmpty());

        // A module click while the dialog waits destroys the switch; the
        // answer then changes nothing.
        QPointer<SwitchButton> doomed = switches[2];
        answer.queue(panel->creater, 0, [&] {
            panel->button("美颜美型", "美体")->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        });
        switches[2]->setChecked(true);
        QVERIFY(!doomed);
        QCOMPARE(panel->creater.shownModuleIndex(), panel->creater.moduleIndexes().value("美体"));
        QVERIFY(panel->sent().isEmpty());

        // A rebuilt page shows the abilities that are on.
        page = panel->open("原子能力", "原子能力");
        answer.queue(panel->creater, 1);
        on<SwitchButton>(page)[2]->setChecked(true);
        page = panel->open("原子能力", "原子能力");
        switches = on<SwitchButton>(page);
        QVERIFY(!switches[0]->isChecked() && !switches[1]->isChecked() && switches[2]->isChecked());
    }

    void customBackground()
    {
        auto panel = makePanel();
        QTemporaryDir pictures;
        QImage picture(3, 1, QImage::Format_RGB32);
        picture.setPixel(0, 0, qRgb(255, 0, 0));
        picture.setPixel(1, 0, qRgb(0, 255, 0));
        picture.setPixel(2, 0, qRgb(0, 0, 255));
        QVERIFY(picture.save(pictures.filePath("pic.png")));
        QVERIFY(picture.save(pictures.filePath("holiday.jpg"), "JPEG", 100));
        // Named like a mirrored copy, outside the private folder.
        const QString victim = pictures.filePath("victim_mirrored.png");
        QVERIFY(picture.save(victim));

        QWidget *page = panel->open("贴纸特效", "虚拟背景");
        PanelItem &upload = panel->module("虚拟背景").children[2];
        const int values[] = {50, 60, 3, 70, 80};
        for (int i = 0; i < 5; ++i)
            upload.children[std::size_t(i)].sdkParam.effectValue = values[i];
        upload.sdkParam.extraInfo["bgPath"] = victim.toStdString();
        QList<QWidget *> rows;
        for (Slider *s : on<Slider>(page))
            rows << s->parentWidget();

        panel->mark();
        panel->creater.onCustomBackgroundChosen(&upload, rows, pictures.filePath("pic.png"));
        QVERIFY(QFileInfo::exists(victim));
        const QString first = QString::fromStdString(upload.sdkParam.extraInfo.at("bgPath"));
        QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("pic_mirrored.png"));
        const QFileInfo folder(QFileInfo(first).absolutePath());
        QVERIFY(folder.absoluteFilePath().startsWith(runtimeDir.path()));
        QCOMPARE(int(folder.permissions() & 0x0077), 0); // nobody but the owner
        QCOMPARE(QImage(first).pixel(0, 0), qRgb(0, 0, 255));
        QCOMPARE(upload.sdkParam.extraInfo.at("green_params_v2"), std::string("[50,60,3,70,80]"));
        QCOMPARE(upload.uiState, 2);
        QCOMPARE(upload.icon, first);
        QCOMPARE(panel->module("虚拟背景").children[1].uiState, 0); // its siblings are deselected
        const QStringList sent = panel->sent();
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent[0].startsWith("segmentation 0 segmentation/green {"));
        QCOMPARE(extraOf(sent[0]).value("bgPath").toString(), first);
        QVERIFY(panel->button("贴纸特效", "虚拟背景")->isDotVisible());

        // A second picture replaces the first copy, in its own format.
        panel->creater.onCustomBackgroundChosen(&upload, rows, pictures.filePath("holiday.jpg"));
        const QString second = QString::fromStdString(upload.sdkParam.extraInfo.at("bgPath"));
        QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("holiday_mirrored.jpeg"));
        QVERIFY(QFileInfo::exists(second));
        QVERIFY(!QFileInfo::exists(first));

        // Green parameters follow the sliders while a picture is in use.
        panel->mark();
        on<Slider>(page)[4]->setValue(2);
        QCOMPARE(upload.sdkParam.extraInfo.at("green_params_v2"), std::string("[50,60,3,70,2]"));
        QCOMPARE(panel->sent().size(), 1);

        // An unreadable picture stops the rule; the copy in use stays.
        QFile junk(pictures.filePath("junk.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture at all");
        junk.close();
        panel->creater.onCustomBackgroundChosen(&upload, rows, junk.fileName());
        QVERIFY(QFileInfo::exists(second));


        // Cancel removes the copy and sends the item without resource.
        upload.uiState = 2;
        panel->mark();
        panel->creater.onCustomBackgroundCancelled(&upload, rows);
        QVERIFY(!QFileInfo::exists(second));
        QVERIFY(upload.icon.isEmpty());
        QCOMPARE(upload.uiState, 0);
        QCOMPARE(panel->sent().size(), 1);
        QVERIFY(panel->sent()[0].startsWith("segmentation 0 - {"));
        QCOMPARE(extraOf(panel->sent()[0]).value("bgPath").toString(), QString());
        for (QWidget *row : rows)
            QVERIFY(!row->isVisibleTo(page));
        // A cancel whose path lies outside the private folder deletes nothing.
        upload.sdkParam.extraInfo["bgPath"] = victim.toStdString();
        panel->creater.onCustomBackgroundCancelled(&upload, rows);
        QVERIFY(QFileInfo::exists(victim));
    }

    void templates()
    {
        auto panel = makePanel();
        DialogAnswerer answer;
        QWidget *page = panel->stack->currentWidget();
        auto tiles = on<BeautyTemplateButton>(page);
        QCOMPARE(tiles.size(), 3);
        PanelItem &group = panel->module(0);
        QCOMPARE(group.selectedIndex, 2);
        for (const char *name : {"美颜", "高级美型", "画质调整", "单点美妆"})
            panel->button(panel->creater.groupOfModule(name), name)->setDotVisible(true);

        // Cancelled: nothing changes.
        answer.queue(panel->creater, 0);
        QTest::mouseClick(tiles[1], Qt::LeftButton);
        QCOMPARE(answer.title, QStringLiteral("应用美颜模板效果？"));
        QCOMPARE(group.selectedIndex, 2);
        QCOMPARE(group.children[1].uiState, 0);
        QVERIFY(panel->sent().isEmpty());

        // Confirmed: modules 1 to 4 zeroed in walk order, then the template's
        // settings; the first item in walk order takes a shared key.
        const QStringList zeroedA = zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin", "beauty.smooth",
                                           "beauty.whiten"})
            + QStringList{"makeup.lip 0 makeup/makeup.lip1.png", "smooth.sharpen 0 -"};
        answer.queue(panel->creater, 1);
        QTest::mouseClick(tiles[1], Qt::LeftButton);
        QCOMPARE(panel->sent(), zeroedA + QStringList({"beauty.whiten 40 -", "basicV7.chin 25 -",
                                                        "makeup.lip 60 makeup/makeup.lip2.png", "extra.effect 10 -"}));
        PanelItem &premium = panel->module("高级美型");
        QCOMPARE(premium.children[3].sdkParam.effectValue, 40);
        QCOMPARE(premium.children[2].sdkParam.effectValue, 25);
        QCOMPARE(premium.children[1].sdkParam.effectValue, 0);
        QCOMPARE(panel->module("美颜").children[0].sdkParam.effectValue, 0);
        PanelItem &lips = panel->module("单点美妆").children[1];
        QCOMPARE(lips.children[1].uiState, 0);
        QCOMPARE(lips.children[2].uiState, 2);
        QCOMPARE(lips.selectedIndex, 2);
        QCOMPARE(group.selectedIndex, 1);
        QCOMPARE(group.children[1].uiState, 2);
        QCOMPARE(group.children[2].uiState, 0);
        QVERIFY(panel->button("模板", "美颜模板")->isDotVisible());
        for (const char *name : {"美颜", "高级美型", "画质调整", "单点美妆"})
            QVERIFY(!panel->button(panel->creater.groupOfModule(name), name)->isDotVisible());

        // Another template switches off what the last one set outside the modules.
        const QStringList zeroedB = zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin", "beauty.smooth",
                                           "beauty.whiten"})
            + QStringList{"makeup.lip 0 makeup/makeup.lip2.png", "smooth.sharpen 0 -"};
        panel->mark();
        answer.queue(panel->creater, 1);
        QTest::mouseClick(tiles[2], Qt::LeftButton);
        QCOMPARE(panel->sent(),
                 zeroedB + QStringList({"extra.effect 0 -", "beauty.smooth 30 -", "sticker.x 5 -"}));

        // The selected tile again: no dialog; its fine-tuning page opens with
        // the template's values, and its restore action returns to them.
        const int asked = answer.asked;
        panel->mark();
        QTest::mouseClick(tiles[2], Qt::LeftButton);
        QCOMPARE(answer.asked, asked);
        QCOMPARE(panel->creater.editedTemplate(), 2);
        page = panel->stack->currentWidget();
        auto sliders = on<Slider>(page);
        QCOMPARE(sliders.size(), 3);
        QCOMPARE(sliders[0]->value(), 0);  // whiten: not in "B"
        QCOMPARE(sliders[1]->value(), 30); // smooth
        QCOMPARE(on<IconTextWidget>(page)[0]->textLabel()->text(), QStringLiteral("B"));
        QVERIFY(panel->sent().isEmpty());
        sliders[1]->setValue(44);
        QCOMPARE(panel->sent(), QStringList{"beauty.smooth 44 -"});
        QTest::mouseClick(on<IconTextWidget>(page)[1], Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        page = panel->stack->currentWidget();
        QCOMPARE(on<Slider>(page)[1]->value(), 30);
        QCOMPARE(panel->sent().last(), QStringLiteral("sticker.x 5 -"));

        // Back: confirmed, the template is applied again and its module page returns.
        panel->mark();
        answer.queue(panel->creater, 1);
        QTest::mouseClick(on<IconTextWidget>(page)[0], Qt::LeftButton);
        QCOMPARE(answer.title, QStringLiteral("退出美颜模版？"));
        QCOMPARE(panel->sent().last(), QStringLiteral("sticker.x 5 -"));
        QCOMPARE(on<BeautyTemplateButton>(panel->stack->currentWidget()).size(), 3);

        // "关闭": modules zeroed, the outside effect switched off, nothing else.
        tiles = on<BeautyTemplateButton>(panel->stack->currentWidget());
        panel->mark();
        QTest::mouseClick(tiles[0], Qt::LeftButton);
        QCOMPARE(panel->sent(), zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin", "beauty.smooth",
                                       "beauty.whiten", "smooth.sharpen", "sticker.x"}));
        QCOMPARE(group.selectedIndex, 0);
        QVERIFY(!panel->button("模板", "美颜模板")->isDotVisible());
    }

    void noTemplateFromNone()
    {
        auto panel = makePanel();
        PanelItem &group = panel->module(0);
        for (PanelItem &option : group.children)
            option.uiState = 0;
        group.selectedIndex = -1;
        panel->creater.onNoTemplateClicked(&group, "美颜模板", "模板");
        QCOMPARE(group.selectedIndex, 0);
        QCOMPARE(group.children[0].uiState, 2);
        QCOMPARE(panel->sent(), zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin", "beauty.smooth",
                                       "beauty.whiten"})
                     + QStringList({"makeup.lip 0 makeup/makeup.lip1.png", "smooth.sharpen 0 -"}));
    }

    void restorePresetReloads()
    {
        auto panel = makePanel();
        QWidget *page = panel->open("美颜美型", "高级美型");
        on<Slider>(page)[0]->setValue(77);
        // The file changes on disk meanwhile: restore shows what it now says.
        QFile file(panelDir->filePath("premium_beauty.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kPremium).replace("\"effectValue\":30", "\"effectValue\":33"));
        file.close();
        panel->mark();
        QTest::mouseClick(on<IconTextWidget>(page).front(), Qt::LeftButton);
        QCOMPARE(panel->sent(), zeros({"beauty.whiten", "basicV7.chin", "basicV7.chin"})
                     + QStringList({"beauty.whiten 45 -", "basicV7.chin 31 -", "basicV7.chin 33 -"}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        page = panel->stack->currentWidget();
        QCOMPARE(on<Slider>(page)[0]->value(), 33);
        QVERIFY(panel->button("美颜美型", "高级美型")->isDotVisible() == (panel->module("高级美型").uiState == 1));

        // The effect index points into the reloaded records (read under ASan).
        PanelItem &premium = panel->module("高级美型");
        QCOMPARE(panel->creater.effectItems().at("basicV7.chin"), &premium.children[2]);
        QCOMPARE(panel->creater.effectItems().at("beauty.whiten"), &premium.children[3]);
        panel->creater.applyTemplate({SdkParam{"basicV7.chin", 12, "", {}}});
        QCOMPARE(premium.children[2].sdkParam.effectValue, 12);
        QFile restoreFile(panelDir->filePath("premium_beauty.json"));
        QVERIFY(restoreFile.open(QIODevice::WriteOnly));
        restoreFile.write(kPremium);
    }

    void resetAll()
    {
        auto panel = makePanel();
        QTemporaryDir pictures;
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QVERIFY(picture.save(pictures.filePath("bg.png")));
        QWidget *page = panel->open("贴纸特效", "虚拟背景");
        PanelItem *upload = &panel->module("虚拟背景").children[2];
        panel->creater.onCustomBackgroundChosen(upload, {}, pictures.filePath("bg.png"));
        const QString mirrored = QString::fromStdString(upload->sdkParam.extraInfo.at("bgPath"));
        QVERIFY(QFileInfo::exists(mirrored));
        Q_UNUSED(page)

        panel->mark();
        panel->creater.resetAllEffects();
        const QStringList sent = panel->sent();
        // The shown page goes off first, then everything is cleared.
        const int cleared = sent.indexOf("clearAllEffects");
        QVERIFY(cleared > 0);
        QCOMPARE(sent.mid(cleared, 6), QStringList({"clearAllEffects", "motion 0 -", "lut 0 -",
                                                    "light.makeup 0 -", "makeup 0 -", "segmentation 0 -"}));
        for (int i = cleared + 6; i < sent.size(); ++i)
            QVERIFY2(!sent[i].startsWith("segmentation"), qPrintable(sent[i]));
        // Then the marked template, "B", is applied to the fresh records.
        QCOMPARE(sent.mid(sent.size() - 2), QStringList({"beauty.smooth 30 -", "sticker.x 5 -"}));
        QCOMPARE(panel->module(0).selectedIndex, 2);

        // No custom background remains: not in the engine (not even after a
        // size change), not on disk, not in the records.
        QVERIFY(!QFileInfo::exists(mirrored));
        upload = &panel->module("虚拟背景").children[2];
        QCOMPARE(upload->sdkParam.extraInfo.at("bgPath"), std::string());
        QVERIFY(upload->icon.isEmpty());
        panel->mark();
        panel->filter.processController().setProcessResolution(640, 360);
        for (const QString &line : panel->sent())
            QVERIFY2(!line.startsWith("segmentation"), qPrintable(line));
        QCOMPARE(on<BeautyTemplateButton>(panel->stack->currentWidget()).size(), 3);
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestPanelRules)
#include "tst_panelrules.moc"
