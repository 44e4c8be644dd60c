// Every widget of the panel kit in its states on one dark page, for looking
// at. --screenshot FILE saves the page (with the dialog composed over it) and
// quits.
#include "BeautyTemplateButton.h"
#include "ClickableLabel.h"
#include "DIYButton.h"
#include "FoldButton.h"
#include "HighLightButton.h"
#include "ImageLoadManager.h"
#include "MoreComboBox.h"
#include "ResetDialog.h"
#include "SideBarWidget.h"
#include "Slider.h"
#include "StackedWidget.h"
#include "SwitchButton.h"
#include "TransparentButton.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QString othersDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/beauty_panel/panel_icon/beauty/others/");
}

// Stand-in thumbnails: soft gradients, like the shipped effect previews.
QString makePicture(const QTemporaryDir &dir, const QString &name, const QColor &a, const QColor &b)
{
    QImage img(160, 160, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 160, 160);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 120), 6));
    p.drawEllipse(QPoint(80, 70), 34, 40);
    p.end();
    const QString path = dir.filePath(name);
    img.save(path);
    return path;
}

QString makeIcon(const QTemporaryDir &dir, const QString &name, const QString &shape)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='65' height='48' viewBox='0 0 65 48'>"
                           "<g fill='none' stroke='#FFFFFF' stroke-opacity='0.8' stroke-width='2' "
                           "stroke-linecap='round'>%1</g></svg>")
                .arg(shape)
                .toUtf8());
    return path;
}

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.42); font-size: 12px;"));
    return l;
}

QWidget *section(const QString &title, QLayout *content, QWidget *parent)
{
    auto *box = new QWidget(parent);
    box->setObjectName(QStringLiteral("section"));
    box->setStyleSheet(QStringLiteral("QWidget#section { background-color: #292929; border-radius: 8px; }"));
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(12, 10, 12, 12);
    v->setSpacing(8);
    v->addWidget(heading(title, box));
    v->addLayout(content);
    v->addStretch();
    return box;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("微软雅黑")));
    QString screenshot;
    const QStringList args = QApplication::arguments();
    const int at = args.indexOf(QStringLiteral("--screenshot"));
    if (at >= 0 && at + 1 < args.size())
        screenshot = args.at(at + 1);

    QTemporaryDir tmp;
    const QString warm = makePicture(tmp, QStringLiteral("warm.png"), QColor(236, 150, 120), QColor(120, 60, 90));
    const QString cool = makePicture(tmp, QStringLiteral("cool.png"), QColor(90, 170, 230), QColor(30, 50, 110));
    const QString leaf = makePicture(tmp, QStringLiteral("leaf.png"), QColor(150, 220, 140), QColor(40, 90, 70));
    const QString none = othersDir() + QStringLiteral("none.png");

    QWidget page;
    page.setObjectName(QStringLiteral("page"));
    page.setStyleSheet(QStringLiteral("QWidget#page { background-color: #333; }"));
    page.setWindowTitle(QStringLiteral("widget_gallery"));
    auto *root = new QHBoxLayout(&page);
    root->setContentsMargins(0, 0, 12, 12);
    root->setSpacing(12);

    // Side bar column.
    auto *bar = new SideBarWidget(&page);
    bar->setFixedWidth(140);
    bar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bar->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bar->addDefaultModules();
    bar->findModuleButton(QStringLiteral("美颜美型"), QStringLiteral("美颜"))->setChecked(true);
    bar->findModuleButton(QStringLiteral("美颜美型"), QStringLiteral("美颜"))->setDotVisible(true);
    bar->findModuleButton(QStringLiteral("滤镜调色"), QStringLiteral("滤镜"))->setDotVisible(true);
    root->addWidget(bar);

    auto *columns = new QGridLayout;
    columns->setSpacing(12);
    columns->setContentsMargins(0, 12, 0, 0);
    root->addLayout(columns, 1);

    // Templates.
    {
        auto *row = new QHBoxLayout;
        auto *mgr = new BeautyTemplateButtonGroupManager(&page);
        auto *off = new BeautyTemplateButton(QStringLiteral("关闭"), none, 65, 65, &page);
        auto *a = new BeautyTemplateButton(QStringLiteral("自然"), warm, 65, 65, &page);
        auto *b = new BeautyTemplateButton(QStringLiteral("清透"), cool, 65, 65, &page);
        auto *offSel = new BeautyTemplateButton(QStringLiteral("关闭"), none, 65, 65, &page);
        auto *bad = new BeautyTemplateButton(QStringLiteral("坏图"), tmp.filePath(QStringLiteral("x.png")), 65, 65, &page);
        for (auto *t : {off, a, b})
            mgr->addButton(t);
        mgr->setCurrentButton(a);
        offSel->setSelected(true);
        for (auto *t : {off, a, b, offSel, bad})
            row->addWidget(t);
        row->addStretch();
        columns->addWidget(section(QStringLiteral("BeautyTemplateButton: 关闭 / 选中 / 普通 / 关闭(选中,无遮罩) / Error"), row, &page), 0, 0);
    }
    // Icon tiles.
    {
        auto *row = new QHBoxLayout;
        auto *mgr = new ClickableLabelGroupManager(&page);
        const QString brow = makeIcon(tmp, QStringLiteral("brow.svg"), QStringLiteral("<path d='M14 28 Q32 12 51 26'/>"));
        const QString lip = makeIcon(tmp, QStringLiteral("lip.svg"), QStringLiteral("<path d='M18 24 Q32 14 47 24 Q32 36 18 24 Z'/>"));
        const QString eye = makeIcon(tmp, QStringLiteral("eye.svg"), QStringLiteral("<path d='M14 24 Q32 8 51 24 Q32 40 14 24 Z'/><circle cx='32.5' cy='24' r='5'/>"));
        auto *l1 = new ClickableLabel(brow, QStringLiteral("眉毛"), &page);
        auto *l2 = new ClickableLabel(lip, QStringLiteral("口红"), &page);
        auto *l3 = new ClickableLabel(eye, QStringLiteral("眼影"), &page);
        for (auto *l : {l1, l2, l3}) {
            mgr->addLabel(l);
            row->addWidget(l);
        }
        mgr->setCurrentLabel(l2);
        row->addStretch();
        columns->addWidget(section(QStringLiteral("ClickableLabel: 普通 / 选中 / 普通"), row, &page), 1, 0);
    }
    // Text buttons and the overflow combo.
    {
        auto *v = new QVBoxLayout;
        auto *row = new QHBoxLayout;
        auto *mgr = new HighLightButtonGroupManager(&page);
        auto *combo = new MoreComboBox(&page);
        combo->addItems({QStringLiteral("更多"), QStringLiteral("复古风"), QStringLiteral("水光肌肤")});
        mgr->setMoreComboBox(combo);
        const QStringList texts = {QStringLiteral("720P"), QStringLiteral("1080P"), QStringLiteral("自然"),
                                   QStringLiteral("日系小清新")};
        HighLightButton *second = nullptr;
        for (const QString &t : texts) {
            auto *b = new HighLightButton(t, &page);
            mgr->addButton(b);
            row->addWidget(b);
            if (!second && t == QStringLiteral("1080P"))
                second = b;
        }
        mgr->setCurrentButton(second);
        row->addWidget(combo);
        row->addStretch();
        v->addLayout(row);
        auto *row2 = new QHBoxLayout;
        for (int i = 0; i < 3; ++i) {
            auto *c = new MoreComboBox(&page);
            c->addItems({QStringLiteral("复古风"), QStringLiteral("水光肌肤"), QStringLiteral("更多")});
            c->setCurrentIndex(i);
            c->setHighlighted(i == 1);
            row2->addWidget(c);
        }
        row2->addStretch();
        v->addLayout(row2);
        columns->addWidget(section(QStringLiteral("HighLightButton (65/75) + MoreComboBox: 3 字 / 4 字高亮 / 2 字"), v, &page), 2, 0);
    }
    // Switches, slider, fold pages, icon button.
    {
        auto *v = new QVBoxLayout;
        auto *row = new QHBoxLayout;
        QFont capFont(QStringLiteral("Microsoft YaHei"));
        capFont.setPixelSize(12);
        capFont.setWeight(QFont::Normal);
        auto *s1 = new SwitchButton(QStringLiteral("美颜"), 1.33f, true, 8, &page);
        s1->setFixedSize(62, 18);
        s1->setTextFont(capFont);
        auto *s2 = new SwitchButton(QStringLiteral("美颜"), 1.33f, false, 8, &page);
        s2->setFixedSize(62, 18);
        s2->setTextFont(capFont);
        auto *mirror = new SwitchButton(QStringLiteral("镜像"), 1.33f, true, 8, &page);
        mirror->setFixedSize(86, 18);
        mirror->setTextFont(capFont);
        auto *s3 = new SwitchButton(QString(), 1.33f, true, 0, &page);
        s3->setFixedSize(30, 18);
        auto *s4 = new SwitchButton(QString(), 1.33f, false, 0, &page);
        s4->setFixedSize(30, 18);
        auto *s5 = new SwitchButton(QString(), 1.33f, false, 0, &page);
        s5->setFixedSize(30, 18);
        s5->setEnabled(false);
        for (QWidget *w : {static_cast<QWidget *>(s1), static_cast<QWidget *>(s2),
                           static_cast<QWidget *>(mirror), static_cast<QWidget *>(s3),
                           static_cast<QWidget *>(s4), static_cast<QWidget *>(s5)})
            row->addWidget(w);
        row->addStretch();
        v->addLayout(row);

        auto *sliderRow = new QHBoxLayout;
        auto *slider = new Slider(&page);
        slider->setRange(0, 100);
        slider->setValue(65);
        slider->setFixedHeight(16);
        auto *value = new QLabel(QStringLiteral("65"), &page);
        value->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.9); font-size: 12px;"));
        sliderRow->addWidget(slider);
        sliderRow->addWidget(value);
        v->addLayout(sliderRow);

        auto *closed = new FoldPageWidget(QStringLiteral("基础美颜（收起）"), &page);
        auto *open = new FoldPageWidget(QStringLiteral("高级美型（展开）"), &page);
        auto *inner = new QHBoxLayout;
        auto *innerText = new QLabel(QStringLiteral("展开后的内容"), &page);
        innerText->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.55); font-size: 12px;"));
        inner->addWidget(innerText);
        open->setContentLayout(inner);
        open->foldButton()->setFocus();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(open->foldButton(), &press);
        v->addWidget(closed);
        v->addWidget(open);

        auto *tb = new TransparentButton(QStringLiteral("添加背景"), QSize(208, 17), othersDir() + QStringLiteral("add.svg"),
                                         QSize(16, 16), &page);
        tb->setFixedWidth(208);
        v->addWidget(tb);
        auto *artRow = new QHBoxLayout;
        for (const char *n : {"fold_arrow_down.svg", "fold_arrow_up.svg", "reset2.svg", "left_arrow.svg", "add.svg", "cancel.svg"}) {
            const QString caption = QString::fromLatin1(n).section(QLatin1Char('.'), 0, 0).remove(QStringLiteral("fold_arrow_"));
            auto *art = new TransparentButton(caption, QSize(70, 17),
                                              othersDir() + QLatin1String(n), QSize(16, 16), &page);
            artRow->addWidget(art);
        }
        artRow->addStretch();
        v->addLayout(artRow);
        columns->addWidget(section(QStringLiteral("SwitchButton 开/关/镜像/无字开/无字关/禁用 · Slider · FoldPageWidget · TransparentButton · 图标"), v, &page), 0, 1, 2, 1);
    }
    // Thumbnails.
    {
        auto *grid = new QHBoxLayout;
        auto *mgr = new DIYButtonGroupManager(&page);
        auto *t1 = new DIYButton(QStringLiteral("无"), none, 45, 45, &page);
        auto *t2 = new DIYButton(QStringLiteral("暖阳"), warm, 45, 45, &page);
        auto *t3 = new DIYButton(QStringLiteral("冷调胶片质感"), cool, 45, 45, &page);
        auto *t4 = new DIYButton(QStringLiteral("森系"), leaf, 34, 34, &page);
        auto *t5 = new DIYButton(QStringLiteral("丢失"), tmp.filePath(QStringLiteral("gone.png")), 45, 45, &page);
        auto *t6 = new DIYButton(QStringLiteral("星空"), cool, 65, 65, &page);
        t6->setCategory(QStringLiteral("预设背景"));
        auto *t7 = new DIYButton(QStringLiteral("海边"), leaf, 65, 65, &page);
        t7->setCategory(QStringLiteral("预设背景"));
        for (auto *t : {t1, t2, t3, t4, t5, t6, t7}) {
            mgr->addButton(t);
            grid->addWidget(t, 0, Qt::AlignBottom);
        }
        mgr->setCurrentButton(t3);
        t6->setSelected(true);
        grid->addStretch();
        columns->addWidget(section(QStringLiteral("DIYButton: 无 / 普通 / 选中(长标题滚动) / 34px / 缺图占位 / 预设背景 选中 / 预设背景"), grid, &page), 2, 1);
    }
    // Masked stack and the dialog.
    QWidget *dialogHost = nullptr;
    {
        auto *row = new QHBoxLayout;
        auto *stack = new StackedWidget(&page);
        stack->setFixedSize(300, 180);
        auto *stackPage = new QWidget;
        stackPage->setObjectName(QStringLiteral("stackPage"));
        stackPage->setStyleSheet(QStringLiteral("QWidget#stackPage { background-color: #292929; }"));
        auto *sv = new QVBoxLayout(stackPage);
        auto *sw = new SwitchButton(QStringLiteral("美妆"), 1.33f, false, 8, stackPage);
        sw->setFixedSize(62, 18);
        QFont capFont(QStringLiteral("Microsoft YaHei"));
        capFont.setPixelSize(12);
        sw->setTextFont(capFont);
        sv->addWidget(sw);
        sv->addSpacing(20);
        auto *pageRow = new QHBoxLayout;
        for (const QString &t : {QStringLiteral("自然"), QStringLiteral("复古风"), QStringLiteral("清透")})
            pageRow->addWidget(new HighLightButton(t, stackPage));
        sv->addLayout(pageRow);
        sv->addStretch();
        stack->addWidget(stackPage);
        stack->setMaskVisible(true);
        row->addWidget(stack);

        // Stands in for the video view: a picture, so the dimming shows.
        auto *view = new QLabel(&page);
        view->setPixmap(QPixmap(warm));
        view->setScaledContents(true);
        view->setFixedSize(600, 240);
        dialogHost = view;
        row->addWidget(dialogHost);
        row->addStretch();
        columns->addWidget(section(QStringLiteral("StackedWidget（遮罩，顶部 50 像素可用） · ResetDialog（遮罩 + 居中）"), row, &page), 3, 0, 1, 2);
    }

    page.resize(1480, 900);
    page.show();

    auto *dialog = new ResetDialog(QStringLiteral("重置当前美颜效果？"),
                                   QStringLiteral("重置后所有效果将会恢复至默认状态，且重置操作不可撤回。"),
                                   QStringLiteral("重置"), QStringLiteral("取消"), dialogHost);
    dialog->setAnchorWidget(dialogHost);
    dialog->setModal(false);
    dialog->show();

    if (screenshot.isEmpty())
        return app.exec();

    int rc = 1;
    // Give the thumbnails time to arrive, then compose the page and the dialog.
    QTimer::singleShot(1500, &app, [&] {
        ImageLoadManager::instance().waitForIdle(5000);
        QCoreApplication::processEvents();
        QImage shot = page.grab().toImage();
        QPainter p(&shot);
        p.drawPixmap(page.mapFromGlobal(dialog->pos()), dialog->grab());
        p.end();
        rc = shot.save(screenshot) ? 0 : 1;
        app.quit();
    });
    app.exec();
    delete dialog;
    return rc;
}
