#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class QPropertyAnimation;

// On/off switch with an optional caption on its left; the knob slides in
// 100 ms. Colours and the knob offset are properties so styles and the
// animation can reach them.
class SwitchButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor m_backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QColor m_pressedColor READ pressedColor WRITE setPressedColor)
    Q_PROPERTY(QColor m_disabledColor READ disabledColor WRITE setDisabledColor)
    Q_PROPERTY(QColor m_circleColor READ circleColor WRITE setCircleColor)
    Q_PROPERTY(double m_xPos READ xPos WRITE setXPos)
public:
    SwitchButton(const QString &text, float knobMargin, bool checked, int spacing, QWidget *parent);

    void setChecked(bool checked);
    bool isChecked() const { return m_checked; }
    void setTextFont(const QFont &font);

    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &c) { m_backgroundColor = c; }
    QColor pressedColor() const { return m_pressedColor; }
    void setPressedColor(const QColor &c) { m_pressedColor = c; }
    QColor disabledColor() const { return m_disabledColor; }
    void setDisabledColor(const QColor &c) { m_disabledColor = c; }
    QColor circleColor() const { return m_circleColor; }
    void setCircleColor(const QColor &c) { m_circleColor = c; }
    double xPos() const { return m_xPos; }
    void setXPos(double x);

    // Geometry used for painting, exposed for layout checks.
    int captionWidth() const { return m_captionWidth; }
    double travel() const;
    QRectF trackRect() const;
    QRectF knobRect() const;
    bool isSliding() const;

signals:
    void signalCheckedStateChange(bool checked);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void startSlide();

    QColor m_backgroundColor{247, 245, 241};
    QColor m_pressedColor{QStringLiteral("#42D259")};
    QColor m_disabledColor{190, 190, 190};
    QColor m_circleColor{93, 93, 93};
    QColor m_captionColor{255, 255, 255, 230};
    double m_xPos = 0;
    float m_knobMargin;
    int m_spacing;
    int m_captionWidth;
    bool m_checked;
    QPropertyAnimation *m_animation = nullptr;
    QString m_caption;
    QFont m_captionFont;
};
