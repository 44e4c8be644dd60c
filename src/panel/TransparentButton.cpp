#include "TransparentButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSvgWidget>
#include <QVBoxLayout>

TransparentButton::TransparentButton(const QString &text, QSize size, const QString &iconPath,
                                     QSize iconSize, QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *inner = new QWidget(this);
    outer->addWidget(inner);

    auto *innerLayout = new QVBoxLayout(inner);
    innerLayout->setSpacing(4);
    innerLayout->setContentsMargins(0, 0, 0, 0);
    innerLayout->setAlignment(Qt::AlignHCenter);

    auto *iconHolder = new QWidget(inner);
    iconHolder->setFixedSize(size.width(), iconSize.height());
    iconHolder->setStyleSheet(QStringLiteral("QWidget{ background-color:transparent; border:none; }"));
    auto *iconRow = new QHBoxLayout(iconHolder);
    iconRow->setContentsMargins(0, 0, 0, 0);
    iconRow->setAlignment(Qt::AlignCenter);
    m_icon = new QSvgWidget(iconPath, iconHolder);
    m_icon->setFixedSize(iconSize);
    m_icon->setContentsMargins(1, 1, 1, 1);
    iconRow->addWidget(m_icon);

    m_text = new QLabel(text, inner);
    m_text->setFixedSize(size);
    m_text->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    m_text->setFont(font);
    m_text->setStyleSheet(QStringLiteral(
        "QLabel{ color:rgba(255, 255, 255, 0.9); background-color:transparent; border:none; }"));

    innerLayout->addWidget(iconHolder, 0, Qt::AlignHCenter);
    innerLayout->addWidget(m_text, 0, Qt::AlignHCenter);
}

void TransparentButton::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit signalClicked();
}
