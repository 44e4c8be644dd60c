#include "SideBarWidget.h"

#include <QButtonGroup>
#include <QPainter>

namespace {
const char *kSideBarStyle =
    "QListWidget { background-color: #333; border: none; padding: 5px 0; }"
    "QListWidget::item { height: 38px; border: none; }"
    "QPushButton[itemType=\"group\"] { background-color: #333; color: rgba(255, 255, 255, 0.42); "
    "text-align: left; padding-left: 28px; border: none; font-size: 12px; width: 100%; "
    "height: 100%; }"
    "QPushButton[itemType=\"item\"] { background-color: #333; color: rgba(255, 255, 255, 0.90); "
    "text-align: left; padding-left: 28px; border: none; width: 100%; height: 100%; "
    "font-size: 14px; }"
    "QPushButton[itemType=\"item\"]:checked { background-color: #292929; color: #00EF5C; }";

QString moduleKey(const QString &group, const QString &name)
{
    return group + QLatin1Char('|') + name;
}
} // namespace

BeautyModuleButton::BeautyModuleButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
}

void BeautyModuleButton::setDotVisible(bool visible)
{
    m_dotVisible = visible;
    update();
}

QRect BeautyModuleButton::dotRect() const
{
    return QRect(width() - m_dotDiameter - m_dotRightMargin, (height() - m_dotDiameter) / 2,
                 m_dotDiameter, m_dotDiameter);
}

void BeautyModuleButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    if (!m_dotVisible)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(88, 235, 111));
    p.drawEllipse(dotRect());
}

SideBarWidget::SideBarWidget(QWidget *parent)
    : QListWidget(parent)
{
    setStyleSheet(QLatin1String(kSideBarStyle));
    m_buttonGroup = new QButtonGroup(this);
    m_buttonGroup->setExclusive(true);
}

void SideBarWidget::addGroup(const QString &group)
{
    if (groupRows.contains(group))
        return;
    auto *row = new QListWidgetItem(this);
    row->setData(RowTypeRole, QStringLiteral("group"));
    row->setFlags(Qt::NoItemFlags);
    auto *header = new QPushButton(group, this);
    header->setProperty("itemType", QStringLiteral("group"));
    header->setEnabled(false);
    setItemWidget(row, header);
    groupRows.insert(group, row);
}

void SideBarWidget::addItem(const QString &group, const QString &name)
{
    if (groupRows.isEmpty() || !groupRows.value(group))
        return;
    auto *row = new QListWidgetItem(this);
    row->setData(RowTypeRole, QStringLiteral("item"));
    row->setFlags(Qt::NoItemFlags);
    auto *button = new BeautyModuleButton(name, this);
    button->setProperty("itemType", QStringLiteral("item"));
    button->setEnabled(true);
    button->setCheckable(true);
    m_buttonGroup->addButton(button);
    setItemWidget(row, button);
    const QString key = moduleKey(group, name);
    // A repeated module gets a new row; lookups find the newest one.
    moduleButtonByKey.insert(key, button);
}

void SideBarWidget::addSpacing(int height)
{
    if (height <= 0)
        return;
    auto *row = new QListWidgetItem(this);
    row->setData(RowTypeRole, QStringLiteral("spacing"));
    row->setFlags(Qt::NoItemFlags);
    row->setSizeHint(QSize(0, height));
}

BeautyModuleButton *SideBarWidget::findModuleButton(const QString &group, const QString &name) const
{
    return moduleButtonByKey.value(moduleKey(group, name), nullptr);
}

QList<BeautyModuleButton *> SideBarWidget::moduleButtons() const
{
    return moduleButtonByKey.values();
}

void SideBarWidget::addDefaultModules()
{
    struct Group {
        const char *caption;
        QStringList modules;
    };
    const QList<Group> groups = {
        {"模板", {QStringLiteral("美颜模板")}},
        {"美颜美型", {QStringLiteral("美颜"), QStringLiteral("高级美型"), QStringLiteral("美体")}},
        {"美妆", {QStringLiteral("风格整妆"), QStringLiteral("单点美妆"), QStringLiteral("轻美妆")}},
        {"贴纸特效",
         {QStringLiteral("2D贴纸"), QStringLiteral("3D贴纸"), QStringLiteral("手势贴纸"),
          QStringLiteral("虚拟背景")}},
        {"滤镜调色", {QStringLiteral("滤镜"), QStringLiteral("画质调整")}},
    };
    for (const Group &g : groups) {
        const QString caption = QString::fromUtf8(g.caption);
        addGroup(caption);
        for (const QString &m : g.modules)
            addItem(caption, m);
        addSpacing(20);
    }
}
