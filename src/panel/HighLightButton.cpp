#include "HighLightButton.h"

#include "MoreComboBox.h"

namespace {
QString buttonStyle(const char *border, const char *color)
{
    return QStringLiteral("QPushButton { background-color: #292929; border: %1; border-radius: 6px; "
                          "color: %2; font-size: 12px; font-family: \"Microsoft YaHei\"; "
                          "outline: none; }")
        .arg(QLatin1String(border), QLatin1String(color));
}
} // namespace

QString HighLightButton::highlightedStyle()
{
    return buttonStyle("1px solid #58EB6F", "white");
}

QString HighLightButton::normalStyle()
{
    return buttonStyle("1px solid rgba(74, 74, 74, 0.75)", "rgba(255, 255, 255, 0.55)");
}

HighLightButton::HighLightButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    // Five-character captions need the wider button to stay on one line.
    if (text.length() == 5)
        setFixedSize(75, 28);
    else
        setFixedSize(65, 28);
    setStyleSheet(normalStyle());
    // Connected before any manager, so a click highlights first and the
    // manager then clears the others.
    connect(this, &QPushButton::clicked, this, [this] {
        if (!m_highlighted)
            setHighlighted(true);
    });
}

void HighLightButton::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setStyleSheet(highlighted ? highlightedStyle() : normalStyle());
}

HighLightButtonGroupManager::HighLightButtonGroupManager(QObject *parent)
    : QObject(parent)
{
}

QList<HighLightButton *> HighLightButtonGroupManager::buttons() const
{
    QList<HighLightButton *> out;
    for (const auto &b : m_buttons)
        if (b)
            out.append(b);
    return out;
}

void HighLightButtonGroupManager::addButton(HighLightButton *button)
{
    if (!button || buttons().contains(button))
        return;
    m_buttons.append(button);
    connect(button, &QPushButton::clicked, this, &HighLightButtonGroupManager::onButtonClicked,
            Qt::UniqueConnection);
}

void HighLightButtonGroupManager::onButtonClicked()
{
    if (auto *button = qobject_cast<HighLightButton *>(sender()))
        setCurrentButton(button);
}

void HighLightButtonGroupManager::setCurrentButton(HighLightButton *button)
{
    if (button == m_current)
        return;
    if (m_current && m_current->isHighlighted())
        m_current->setHighlighted(false);
    if (m_combo && m_combo->isHighlighted())
        m_combo->setHighlighted(false);
    m_current = button;
    if (button && !button->isHighlighted())
        button->setHighlighted(true);
}

void HighLightButtonGroupManager::setMoreComboBox(MoreComboBox *combo)
{
    m_combo = combo;
}

void HighLightButtonGroupManager::clearHighlights()
{
    for (HighLightButton *b : buttons())
        if (b->isHighlighted())
            b->setHighlighted(false);
    m_current = nullptr;
}

void HighLightButtonGroupManager::highlightExclusively(QObject *widget)
{
    clearHighlights();
    if (m_combo && m_combo->isHighlighted())
        m_combo->setHighlighted(false);

    if (auto *button = qobject_cast<HighLightButton *>(widget)) {
        if (!button->isHighlighted())
            button->setHighlighted(true);
        m_current = button;
    } else if (auto *combo = qobject_cast<MoreComboBox *>(widget)) {
        combo->setHighlighted(true);
    }
}
