#include "FoldButton.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSvgWidget>
#include <QVBoxLayout>

FoldButton::FoldButton(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_downArrowPath(QCoreApplication::applicationDirPath()
                      + QStringLiteral("/beauty_panel/panel_icon/beauty/others/fold_arrow_down.svg"))
    , m_upArrowPath(QCoreApplication::applicationDirPath()
                    + QStringLiteral("/beauty_panel/panel_icon/beauty/others/fold_arrow_up.svg"))
{
    setCursor(Qt::PointingHandCursor);

    m_title = new QLabel(title, this);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_title->setFixedHeight(22);
    m_title->setStyleSheet(QStringLiteral(
        "color: rgba(255,255,255,0.9);  border: none;font-family: 'Microsoft YaHei', 'PingFang SC', "
        "sans-serif;font-size: 14px;font-style: normal;font-weight: 400;"));

    m_arrow = new QSvgWidget(m_downArrowPath, this);
    m_arrow->setFixedSize(10, 6);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignVCenter);
    layout->addWidget(m_title, 0, Qt::AlignLeft | Qt::AlignVCenter);
    layout->addStretch();
    layout->addWidget(m_arrow, 0, Qt::AlignVCenter);
}

void FoldButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_expanded = !m_expanded;
        m_arrow->load(currentArrowPath());
        emit clicked(m_expanded);
    }
    QWidget::mousePressEvent(event);
}

FoldPageWidget::FoldPageWidget(const QString &title, QWidget *parent)
    : QWidget(parent)
{
    m_foldButton = new FoldButton(title, this);
    m_foldButton->setFixedHeight(22);
    m_foldButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_content = new QWidget(this);
    m_content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_content->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_foldButton);
    layout->addWidget(m_content);

    connect(m_foldButton, &FoldButton::clicked, this, [this](bool checked) {
        m_content->setVisible(checked);
        adjustSize();
        emit signalFoldPageClicked();
    });
}

void FoldPageWidget::setContentLayout(QLayout *layout)
{
    m_content->setLayout(layout);
    adjustSize();
}
