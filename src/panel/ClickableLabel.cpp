#include "ClickableLabel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSvgWidget>
#include <QVBoxLayout>

namespace {
const char *kIconNormal = "background: transparent; border: 1px solid transparent; border-radius: 6px;";
const char *kIconSelected = "background: transparent; border: 1px solid #58EB6F; border-radius: 6px;";
const char *kTextSelected =
    "QLabel { color: rgba(255,255,255,0.9); font-weight: 400; font-size:14px; }";
} // namespace

ClickableLabel::ClickableLabel(const QString &svgPath, const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_normalTextStyle(QStringLiteral("QLabel { color: rgba(255, 255, 255, 0.55); font-size:14px; }"))
{
    setCursor(Qt::PointingHandCursor);

    m_icon = new QSvgWidget(this);
    m_icon->setFixedSize(65, 48);
    if (!svgPath.isEmpty())
        m_icon->load(svgPath);

    m_text = new QLabel(text, this);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setStyleSheet(m_normalTextStyle);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addWidget(m_text);
}

void ClickableLabel::applySelectedLook(bool selected)
{
    m_selected = selected;
    if (selected) {
        m_text->setStyleSheet(QLatin1String(kTextSelected));
        m_icon->setStyleSheet(QLatin1String(kIconSelected));
    } else {
        m_text->setStyleSheet(m_normalTextStyle);
        m_icon->setStyleSheet(QLatin1String(kIconNormal));
    }
}

void ClickableLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        event->accept();
    } else {
        // Let other buttons travel on to the parent.
        event->ignore();
    }
}

ClickableLabelGroupManager::ClickableLabelGroupManager(QObject *parent)
    : QObject(parent)
{
}

QList<ClickableLabel *> ClickableLabelGroupManager::labels() const
{
    QList<ClickableLabel *> out;
    for (const auto &l : m_labels)
        if (l)
            out.append(l);
    return out;
}

void ClickableLabelGroupManager::addLabel(ClickableLabel *label)
{
    if (!label || labels().contains(label))
        return;
    m_labels.append(label);
    connect(label, &ClickableLabel::clicked, this, &ClickableLabelGroupManager::onLabelClicked,
            Qt::UniqueConnection);
}

void ClickableLabelGroupManager::onLabelClicked()
{
    if (auto *label = qobject_cast<ClickableLabel *>(sender()))
        setCurrentLabel(label);
}

void ClickableLabelGroupManager::setCurrentLabel(ClickableLabel *label)
{
    if (label == m_current)
        return;
    if (m_current && m_current->isSelected())
        m_current->applySelectedLook(false);
    m_current = label;
    if (label && !label->isSelected())
        label->applySelectedLook(true);
}
