#include "CameraPermissionPromptWidget.h"

#include "AppPaths.h"

#include <QLabel>
#include <QPushButton>
#include <QSvgWidget>
#include <QVBoxLayout>

CameraPermissionPromptWidget::CameraPermissionPromptWidget(QWidget *parent) : QWidget(parent)
{
    setStyleSheet(QStringLiteral("background-color: #000000;"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);

    m_iconWidget = new QSvgWidget(iconPath(QStringLiteral("Frame.svg")), this);
    m_iconWidget->setFixedSize(64, 64);

    m_titleLabel = new QLabel(QStringLiteral("摄像头权限未开启"), this);
    m_titleLabel->setStyleSheet(QStringLiteral("color: #FFFFFF;font-size: 16px;font-weight: bold;"));
    m_titleLabel->setAlignment(Qt::AlignCenter);

    m_descriptionLabel =
        new QLabel(QStringLiteral("请前往\"设置-隐私-摄像头权限\"，允许Corvane特效引擎访问摄像头"), this);
    m_descriptionLabel->setStyleSheet(
        QStringLiteral("background-color: #000000;color: #CCCCCC;font-size: 14px;"));
    m_descriptionLabel->setAlignment(Qt::AlignCenter);
    m_descriptionLabel->setWordWrap(false);

    m_settingsButton = new QPushButton(QStringLiteral("前往设置"), this);
    m_settingsButton->setFixedSize(120, 36);
    m_settingsButton->setCursor(Qt::PointingHandCursor);
    m_settingsButton->setStyleSheet(QStringLiteral(
        "QPushButton {   background-color: #FFFFFF;   color: #000000;   border: none;   border-radius: 4px;"
        "   font-size: 14px;}QPushButton:hover {   background-color: #F0F0F0;}"
        "QPushButton:pressed {   background-color: #E0E0E0;}"));

    layout->addWidget(m_iconWidget, 0, Qt::AlignCenter);
    layout->addWidget(m_titleLabel, 0, Qt::AlignCenter);
    layout->addWidget(m_descriptionLabel, 0, Qt::AlignCenter);
    layout->addWidget(m_settingsButton, 0, Qt::AlignCenter);

    connect(m_settingsButton, &QPushButton::clicked, this, &CameraPermissionPromptWidget::requestOpenSettings);
}
