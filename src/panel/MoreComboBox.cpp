#include "MoreComboBox.h"

#include "AppIcons.h"

#include <QFrame>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

namespace {
// Five placeholders, filled in one pass so no value can be taken for a marker.
const char *kTemplate =
    "MoreComboBox { background-color: #292929; border: 1px solid %1; border-radius: 6px; "
    "color: %2; %5 font-family: \"Microsoft YaHei\"; outline: none; %4 }"
    "MoreComboBox::drop-down { %3 border: none; }"
    "MoreComboBox::down-arrow { image: url(:/icons/combobox_arrow_down.svg); width: 10px; "
    "height: 6px; border: none; background: transparent; }"
    "MoreComboBox::down-arrow:on { image: url(:/icons/combobox_arrow_up.svg); width: 10px; "
    "height: 6px; border: none; background: transparent; }"
    "MoreComboBox QAbstractItemView { background-color: #191919; width: 66px; border: none; "
    "border-radius: 6px; color: rgba(255, 255, 255, 0.55); font-size: 12px; "
    "font-family: \"Microsoft YaHei\"; selection-background-color: transparent; "
    "selection-color: #7BF38E; outline: none; padding: 8px 5px; }"
    "MoreComboBox QAbstractItemView::item { margin: 6px 0; background-color: transparent; }";
} // namespace

MoreComboBox::MoreComboBox(QWidget *parent)
    : QComboBox(parent)
{
    ensureAppIcons();
    setCursor(Qt::PointingHandCursor);
    setFixedSize(65, 28);
    m_view = new QListView(this);
    setView(m_view);
    connect(this, &QComboBox::currentTextChanged, this, [this] { restyle(); });
    restyle();
}

QString MoreComboBox::styleFor(bool highlighted, const QString &currentText)
{
    QString dropDown, textPos, font;
    switch (currentText.length()) {
    case 3:
        dropDown = QStringLiteral("margin-right: 8px;");
        textPos = QStringLiteral("padding: 0 0 0 6px;");
        font = QStringLiteral("font-size: 12px;");
        break;
    case 4:
        dropDown = QStringLiteral("margin-right: 2px;");
        textPos = QStringLiteral("padding: 0 0 0 3px;");
        font = QStringLiteral("font-size: 11px;");
        break;
    default:
        dropDown = QStringLiteral("margin-right: 19px;");
        textPos = QStringLiteral("padding: 0 0 0 11px;");
        font = QStringLiteral("font-size: 12px;");
        break;
    }
    return QString::fromLatin1(kTemplate)
        .arg(highlighted ? QStringLiteral("#7BF38E") : QStringLiteral("#4A4A4A"),
             highlighted ? QStringLiteral("white") : QStringLiteral("rgba(255, 255, 255, 0.55)"),
             dropDown, textPos, font);
}

void MoreComboBox::restyle()
{
    setStyleSheet(styleFor(m_highlighted, currentText()));
}

void MoreComboBox::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    restyle();
    emit highlightedStateChanged(highlighted);
}

void MoreComboBox::mousePressEvent(QMouseEvent *event)
{
    QComboBox::mousePressEvent(event);
    if (!m_highlighted)
        setHighlighted(true);
}

void MoreComboBox::showPopup()
{
    QComboBox::showPopup();
    // The container is positioned by the style during showPopup; move it on
    // the next turn so it drops 5 pixels below the combo instead of over it.
    QTimer::singleShot(0, this, [this] {
        auto *frame = findChild<QFrame *>();
        if (!frame)
            return;
        frame->move(mapToGlobal(QPoint(0, 0)) + QPoint(0, height() + 5));
    });
}
