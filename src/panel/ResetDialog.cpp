#include "ResetDialog.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const char *kOverlayStyle = "background-color: rgba(0, 0, 0, 128);";
const char *kConfirmStyle = "QPushButton {   background-color: #FFFFFF;   color: #1A1A1A;   border: none;   "
                            "border-radius: 6px;   font-size: 14px;}QPushButton:hover {   "
                            "background-color: #EEEEEE;}";
const char *kCancelStyle = "QPushButton {   background-color: #1A1A1A;   color: #FFFFFF;   border: 1px "
                           "solid white;   border-radius: 6px;   font-size: 12px;}QPushButton:hover {   "
                           "background-color: #444444;}";
const char *kCloseStyle = "QPushButton {   color: rgba(255, 255, 255, 0.55);   font-size: 20px;   "
                          "background: transparent;}QPushButton:hover {   color: #CCCCCC;}";
const QPoint kInitialOffset(300, 400);
} // namespace

ResetDialog::ResetDialog(const QString &title, const QString &text, const QString &confirmText,
                         const QString &cancelText, QWidget *parent)
    : QDialog(parent)
{
    QWidget *host = parent;
    if (!host) {
        // The list comes in no particular order: prefer a shown window over
        // hidden helpers, and never dim another dialog of ours.
        const QWidgetList tops = QApplication::topLevelWidgets();
        for (QWidget *w : tops) {
            if (w == this || qobject_cast<ResetDialog *>(w))
                continue;
            if (w->isVisible()) {
                host = w;
                break;
            }
            if (!host)
                host = w;
        }
    }
    m_overlayHost = host;

    if (host) {
        m_overlay = new QWidget(host);
        m_overlay->setStyleSheet(QLatin1String(kOverlayStyle));
        m_overlay->hide();
        m_overlay->resize(host->size());
        host->installEventFilter(this);
    }

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(498, 146);

    auto *container = new QWidget(this);
    container->setObjectName(QStringLiteral("dialogContainer"));
    container->setStyleSheet(QStringLiteral("background-color: #1A1A1A; border-radius: 8px;"));

    m_titleLabel = new QLabel(title, container);
    m_titleLabel->setStyleSheet(
        QStringLiteral("color: rgba(255, 255, 255, 0.90); font-size: 16px; font-weight: bold;"));

    m_textLabel = new QLabel(text, container);
    m_textLabel->setWordWrap(true);
    m_textLabel->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 0.55); font-size: 12px;"));

    m_confirmButton = new QPushButton(confirmText, container);
    m_confirmButton->setFixedSize(64, 30);
    m_confirmButton->setStyleSheet(QLatin1String(kConfirmStyle));

    m_cancelButton = new QPushButton(cancelText, container);
    m_cancelButton->setFixedSize(64, 30);
    m_cancelButton->setStyleSheet(QLatin1String(kCancelStyle));

    m_closeButton = new QPushButton(QStringLiteral("×"), container);
    m_closeButton->setFixedSize(24, 24);
    m_closeButton->setStyleSheet(QLatin1String(kCloseStyle));

    for (QPushButton *b : {m_confirmButton, m_cancelButton, m_closeButton}) {
        b->setCursor(Qt::PointingHandCursor);
        // Enter must not confirm a destructive question by accident.
        b->setAutoDefault(false);
    }

    auto *containerLayout = new QVBoxLayout(container);
    containerLayout->setContentsMargins(25, 25, 25, 25);
    containerLayout->setSpacing(20);
    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(m_titleLabel);
    titleRow->addStretch();
    titleRow->addWidget(m_closeButton);
    containerLayout->addLayout(titleRow);
    containerLayout->addWidget(m_textLabel);
    containerLayout->addStretch();
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_confirmButton);
    buttonRow->addWidget(m_cancelButton);
    containerLayout->addLayout(buttonRow);

    auto *dialogLayout = new QVBoxLayout(this);
    dialogLayout->addWidget(container);
    dialogLayout->setContentsMargins(40, 0, 40, 0);

    if (host) {
        move(host->mapToGlobal(QPoint(0, 0)) + kInitialOffset);
        qDebug() << "相对位置为：" << kInitialOffset.x() << kInitialOffset.y();
    } else {
        move(kInitialOffset);
    }

    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirmButton, &QPushButton::clicked, this, &QDialog::accept);
}

ResetDialog::~ResetDialog()
{
    if (m_overlayHost)
        m_overlayHost->removeEventFilter(this);
    if (m_anchorWidget)
        m_anchorWidget->removeEventFilter(this);
    // Nothing refers to the veil afterwards; don't let hidden ones pile up
    // on the window, one per question asked.
    delete m_overlay.data();
}

void ResetDialog::setAnchorWidget(QWidget *anchor)
{
    if (m_anchorWidget)
        m_anchorWidget->removeEventFilter(this);
    m_anchorWidget = anchor;
    if (anchor)
        anchor->installEventFilter(this);
}

void ResetDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_overlay) {
        m_overlay->raise();
        m_overlay->show();
    }
    centerOnAnchor();
}

void ResetDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (m_overlay)
        m_overlay->hide();
}

bool ResetDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (m_overlayHost && watched == m_overlayHost.data() && m_overlay)
            m_overlay->resize(m_overlayHost->size());
        if (m_anchorWidget && watched == m_anchorWidget.data())
            centerOnAnchor();
    }
    return QDialog::eventFilter(watched, event);
}

void ResetDialog::centerOnAnchor()
{
    if (!m_anchorWidget || !isVisible())
        return;
    const QPoint corner = m_anchorWidget->mapToGlobal(QPoint(0, 0));
    int x = corner.x() + (m_anchorWidget->width() - width()) / 2;
    int y = corner.y() + (m_anchorWidget->height() - height()) / 2;
    if (QScreen *screen = QGuiApplication::screenAt(corner)) {
        const QRect g = screen->geometry();
        x = qMax(g.left(), qMin(x, g.right() - width()));
        y = qMax(g.top(), qMin(y, g.bottom() - height()));
    }
    move(x, y);
}

QString ResetDialog::noticeTitle()
{
    return QStringLiteral("提示");
}

QString ResetDialog::noticeButtonText()
{
    return QStringLiteral("我知道了");
}

void ResetDialog::configureAsNotice(ResetDialog &dialog)
{
    dialog.confirmButton()->setText(QString());
    dialog.confirmButton()->setStyleSheet(QStringLiteral("background-color: #1A1A1A"));
    dialog.cancelButton()->setText(noticeButtonText());
}
