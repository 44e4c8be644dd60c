#include "SwitchButton.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

SwitchButton::SwitchButton(const QString &text, float knobMargin, bool checked, int spacing,
                           QWidget *parent)
    : QWidget(parent)
    , m_knobMargin(knobMargin)
    , m_spacing(spacing)
    , m_captionWidth(text.isEmpty() ? 0 : 24)
    , m_checked(checked)
    , m_caption(text)
{
    setFixedSize(62, 18);
    setCursor(Qt::PointingHandCursor);
    m_animation = new QPropertyAnimation(this, "m_xPos", this);
    m_animation->setDuration(100);
    m_animation->setLoopCount(1);
    m_xPos = m_checked ? travel() : 0;
}

double SwitchButton::travel() const
{
    return width() - m_captionWidth - m_spacing - height() + 2;
}

void SwitchButton::setXPos(double x)
{
    m_xPos = x;
    update();
}

bool SwitchButton::isSliding() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

QRectF SwitchButton::trackRect() const
{
    return QRectF(m_captionWidth + m_spacing, 1, width() - m_spacing - m_captionWidth, height() - 2);
}

QRectF SwitchButton::knobRect() const
{
    const double side = height() - 2.0 * (m_knobMargin + 1.0);
    return QRectF(m_captionWidth + m_knobMargin + m_spacing + m_xPos, m_knobMargin + 1.0, side, side);
}

void SwitchButton::setChecked(bool checked)
{
    if (checked == m_checked)
        return;
    m_checked = checked;
    startSlide();
    emit signalCheckedStateChange(m_checked);
}

void SwitchButton::setTextFont(const QFont &font)
{
    m_captionFont = font;
    m_captionWidth = m_caption.isEmpty() ? 0 : QFontMetrics(font).horizontalAdvance(m_caption);
    // Placed directly: a font change is set-up, not a transition to animate.
    m_xPos = m_checked ? travel() : 0;
}

void SwitchButton::startSlide()
{
    m_animation->stop();
    m_animation->setStartValue(m_checked ? 0.0 : travel());
    m_animation->setEndValue(m_checked ? travel() : 0.0);
    m_animation->start();
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QColor track, knob;
    if (!isEnabled()) {
        track = m_backgroundColor;
        knob = m_disabledColor;
    } else if (m_checked) {
        track = m_pressedColor;
        knob = Qt::white;
    } else {
        track = m_backgroundColor;
        knob = m_circleColor;
    }

    if (m_captionWidth > 0 && !m_caption.isEmpty()) {
        p.setFont(m_captionFont);
        p.setPen(m_captionColor);
        p.drawText(QRect(0, 0, m_captionWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, m_caption);
    }

    const QRectF trackArea = trackRect();
    const int radius = qMin(width(), height() - 2) / 2;
    QPainterPath path;
    path.addRoundedRect(trackArea, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawPath(path.simplified());

    p.setBrush(knob);
    p.setOpacity(1.0);
    p.drawEllipse(knobRect());
}

void SwitchButton::mousePressEvent(QMouseEvent *event)
{
    if (isEnabled() && (event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void SwitchButton::mouseReleaseEvent(QMouseEvent *event)
{
    // A release during a slide is the second half of a double click: ignore it
    // so a quick double click toggles once.
    if (isEnabled() && !isSliding() && event->type() == QEvent::MouseButtonRelease
        && event->button() == Qt::LeftButton) {
        event->accept();
        m_checked = !m_checked;
        startSlide();
        emit signalCheckedStateChange(m_checked);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void SwitchButton::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_xPos = m_checked ? travel() : 0;
}
