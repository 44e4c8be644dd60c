#include "Slider.h"

#include <QWheelEvent>

Slider::Slider(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    setStyleSheet(styleSheetText());
}

QString Slider::styleSheetText()
{
    return QStringLiteral(
        "QSlider::groove:horizontal { height: 2px; background: rgba(255, 255, 255, 0.42); "
        "border-radius: 1px; }"
        "QSlider::sub-page:horizontal { background: white; border-radius: 1px; }"
        "QSlider::handle:horizontal { background: white; border: none; width: 10px; height: 10px; "
        "margin: -4px 0; border-radius: 5px; }");
}

void Slider::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}
