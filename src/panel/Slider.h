#pragma once

#include <QSlider>

// Horizontal effect-strength slider. The wheel is left to the enclosing
// scroll area, so scrolling a page never changes an effect by accident.
class Slider : public QSlider
{
    Q_OBJECT
public:
    explicit Slider(QWidget *parent);

    static QString styleSheetText();

protected:
    void wheelEvent(QWheelEvent *event) override;
};
