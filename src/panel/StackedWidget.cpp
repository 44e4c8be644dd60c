#include "StackedWidget.h"

StackedWidget::StackedWidget(QWidget *parent)
    : QStackedWidget(parent)
{
    m_mask = new QWidget(this);
    m_mask->setStyleSheet(QStringLiteral("background-color: rgba(41, 41, 41, 128) !important;"));
    m_mask->setCursor(Qt::ForbiddenCursor);
    m_mask->hide();
    connect(this, &QStackedWidget::currentChanged, this, [this] {
        if (m_maskVisible)
            m_mask->raise();
    });
}

void StackedWidget::setMaskVisible(bool visible)
{
    m_maskVisible = visible;
    if (visible) {
        m_mask->raise();
        m_mask->show();
    } else {
        m_mask->hide();
    }
}

void StackedWidget::resizeEvent(QResizeEvent *event)
{
    QStackedWidget::resizeEvent(event);
    m_mask->setGeometry(0, UncoveredTop, width(), height());
}

void StackedWidget::paintEvent(QPaintEvent *event)
{
    QStackedWidget::paintEvent(event);
    // Pages added or raised later must stay under the mask.
    if (m_maskVisible)
        m_mask->raise();
}
