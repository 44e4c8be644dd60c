#pragma once

#include <QStyledItemDelegate>

// Paints the selector popups' text rows (grey, the selected one green with a
// tick) and separators; rows hosting widgets are left to their widgets.
class ComboBoxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Item data roles marking the non-camera rows; only their presence counts.
    static constexpr int SeparatorRole = Qt::UserRole + 2;
    static constexpr int WidgetRole = Qt::UserRole + 3;
    static constexpr int SpacerRole = Qt::UserRole + 4;
    static constexpr int TitleRole = Qt::UserRole + 5;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
