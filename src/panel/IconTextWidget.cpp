#include "IconTextWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSvgWidget>
#include <QVBoxLayout>

IconTextWidget::IconTextWidget(QSize iconSize, const QString &text, const QString &iconPath,
                               QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *iconContainer = new QWidget(this);
    iconContainer->setFixedSize(iconSize);
    auto *iconLayout = new QVBoxLayout(iconContainer);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    iconLayout->setSpacing(0);

    m_icon = new QSvgWidget(iconContainer);
    m_icon->setFixedSize(iconSize);
    if (!iconPath.isEmpty())
        m_icon->load(iconPath);
    iconLayout->addWidget(m_icon);

    m_label = new QLabel(text, this);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setStyleSheet(QStringLiteral(
        "QLabel { color: rgba(255, 255, 255, 0.55); font-family: \"Microsoft YaHei\"; "
        "font-size: 12px; font-style: normal; font-weight: 400; line-height: 20px; }"));

    layout->addWidget(iconContainer);
    layout->addWidget(m_label);

    setMouseTracking(true);
}

void IconTextWidget::applyIconOffset()
{
    QWidget *container = m_icon->parentWidget();
    if (!container)
        return;
    if (auto *box = qobject_cast<QVBoxLayout *>(container->layout()))
        box->setContentsMargins(0, m_iconTopOffset, 0, 0);
}

void IconTextWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void IconTextWidget::mouseReleaseEvent(QMouseEvent *event)
{
    emit released();
    QWidget::mouseReleaseEvent(event);
}

void IconTextWidget::enterEvent(QEvent *event)
{
    setCursor(Qt::PointingHandCursor);
    QWidget::enterEvent(event);
}

void IconTextWidget::leaveEvent(QEvent *event)
{
    unsetCursor();
    QWidget::leaveEvent(event);
}
