#include "TransparentCoverWidget.h"

#include "CameraPermission.h"

#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>

TransparentCoverWidget::TransparentCoverWidget(QWidget *covered) : QWidget(covered), m_covered(covered)
{
    setStyleSheet("background: transparent; border: none;");
    if (covered) {
        setFixedSize(covered->size());
        // Follow the covered widget's size without relying on its owner.
        covered->installEventFilter(this);
    }
}

void TransparentCoverWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TransparentCoverWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (!m_covered || !m_covered->isEnabled())
        return;
    auto *combo = qobject_cast<QComboBox *>(m_covered.data());
    if (!combo)
        return;
    if (m_covered->inherits("CameraComboBox") && !checkCameraPermission())
        return;
    combo->showPopup();
}

bool TransparentCoverWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_covered && event->type() == QEvent::Resize)
        setFixedSize(m_covered->size());
    return QWidget::eventFilter(watched, event);
}
