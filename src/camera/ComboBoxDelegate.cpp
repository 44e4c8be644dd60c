#include "ComboBoxDelegate.h"

#include "AppIcons.h"

#include <QPainter>
#include <QSvgRenderer>

void ComboBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect r = option.rect;
    if (index.data(SeparatorRole).isValid()) {
        painter->save();
        painter->setPen(QPen(QColor(255, 255, 255, 21), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        const int y = r.top() + r.height() / 2;
        painter->drawLine(r.left(), y, r.right(), y);
        painter->restore();
        return;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QRect textRect = r;
    textRect.setHeight(20);
    textRect.moveTop(r.top() + (r.height() - 20) / 2);
    QColor pen(255, 255, 255, 140);
    if (option.state & QStyle::State_Selected) {
        ensureAppIcons();
        static QSvgRenderer tick(QStringLiteral(":/icons/combox_tip.svg"));
        const QSizeF natural = tick.defaultSize();
        const qreal h = 8;
        const qreal w = natural.height() > 0 ? natural.width() * h / natural.height() : h;
        tick.render(painter, QRectF(r.left() + 4, r.top() + (r.height() - h) / 2, w, h));
        pen = QColor(QStringLiteral("#58EB6F"));
    }
    painter->setPen(pen);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(12);
    font.setWeight(50);
    font.setStyle(QFont::StyleNormal);
    painter->setFont(font);
    painter->drawText(textRect.adjusted(24, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

QSize ComboBoxDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!index.data(Qt::DisplayRole).toString().isEmpty())
        size.setHeight(32);
    return size;
}
