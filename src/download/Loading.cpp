#include "Loading.h"

#include <QLabel>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>

Loading::Loading(QWidget *parent)
    : QWidget(parent)
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);

    connect(&m_timer, &QTimer::timeout, this, &Loading::refresh);

    m_label = new QLabel(QStringLiteral("下载中0%"), this);
    m_label->setStyleSheet(QStringLiteral(
        "QLabel { background: transparent; color: white; font-size: 12px; "
        "font-family: \"Microsoft YaHei\"; }"));
    m_label->show();

    updateGeometryValues();
}

void Loading::updateGeometryValues()
{
    computeRing(float(std::min(width(), height())));
}

void Loading::computeRing(float size)
{
    m_squareSize = size;
    m_centerDistance = (m_squareSize * 0.5f - m_maxDiameter * 0.5f - 1.0f) * 0.5f;

    m_radii.clear();
    m_centers.clear();
    const float half = m_squareSize / 2.0f;
    for (int i = 0; i < m_dotCount; ++i) {
        m_radii.append(m_maxDiameter * 0.5f
                       - (m_maxDiameter - m_minDiameter) / float(m_dotCount - 1) * 0.5f * float(i));
        const double angle = qDegreesToRadians(-(360.0 / m_dotCount) * i);
        m_centers.append(QPointF(std::cos(angle) * m_centerDistance + half,
                                 half - std::sin(angle) * m_centerDistance));
    }
}

void Loading::placeCaption()
{
    m_label->adjustSize();
    const int e = int(m_maxDiameter + m_squareSize) + 40;
    const int total = m_label->height() + e + 10;
    const int x = (width() - e) / 2 + (e - m_label->width()) / 2;
    // Rounded down: truncating a negative half would make the check below
    // grow a fixed-size overlay by one pixel.
    const int top = int(std::floor((height() - total) / 2.0));
    const int y = int(top + 20 + m_squareSize * 0.5f
                      + (2.0f * m_centerDistance + m_maxDiameter) * 0.5f + 10);
    m_label->move(x, y);
    if (height() < 2 * top + total)
        setMinimumHeight(2 * top + total);
}

void Loading::setProgress(int percent)
{
    m_progress = std::clamp(percent, 0, 100);
    m_label->setText(QStringLiteral("下载中%1%").arg(m_progress));
    placeCaption();
}

void Loading::start()
{
    m_timer.setInterval(m_interval);
    m_timer.start();
}

void Loading::stop()
{
    m_timer.stop();
}

void Loading::refresh()
{
    repaint();
}

void Loading::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateGeometryValues();
    placeCaption();
}

void Loading::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateGeometryValues();
    placeCaption();
}

void Loading::paintEvent(QPaintEvent *)
{
    updateGeometryValues();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const int caption = m_label->isVisible() ? m_label->height() : 20;
    int w = int(m_maxDiameter + m_squareSize) + 40;
    int h = int(m_maxDiameter + m_squareSize) + caption + 50;
    int x = std::max((width() - w) / 2, 0);
    int y = std::max((height() - h) / 2, 0);
    if (width() < w) {
        w = width() - 10;
        x = 5;
    }
    if (height() < h) {
        h = height() - 10;
        y = 5;
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 200));
    painter.drawRoundedRect(QRectF(x, y, w, h), 10, 10);

    // The ring is laid out for the box, not for the whole widget.
    const float widgetSize = m_squareSize;
    computeRing(float(std::min(w - 40, h - caption - 50)));
    painter.translate(x + w / 2 - m_squareSize / 2,
                      (h - caption - 50) / 2 + y + 20 - m_squareSize / 2);

    painter.setBrush(m_dotColor);
    for (int i = 0; i < m_dotCount; ++i) {
        const float r = m_radii.at((m_dotCount + m_step - i) % m_dotCount);
        painter.drawEllipse(m_centers.at(i), r, r);
    }

    ++m_step;
    computeRing(widgetSize);
}
