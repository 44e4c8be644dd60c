#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QTimer>
#include <QWidget>

class QLabel;

// Download overlay: a translucent rounded box with a ring of twelve green
// dots whose sizes rotate, and the percentage received below the ring.
class Loading : public QWidget
{
    Q_OBJECT
public:
    explicit Loading(QWidget *parent = nullptr);

    void setProgress(int percent);
    void start();
    void stop();

    int progress() const { return m_progress; }
    int step() const { return m_step; }
    bool isRunning() const { return m_timer.isActive(); }
    QLabel *captionLabel() const { return m_label; }

signals:
    void processChangeSinal(int process); // kept for callers; never emitted

public slots:
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void updateGeometryValues();
    void computeRing(float size);
    void placeCaption();

    int m_step = 0;
    int m_interval = 50;
    QTimer m_timer;
    QColor m_dotColor = QColor(Qt::green);
    int m_dotCount = 12;
    float m_minDiameter = 2.0f;
    float m_maxDiameter = 10.0f;
    float m_squareSize = 0.0f;
    float m_centerDistance = 0.0f;
    QList<float> m_radii;
    QList<QPointF> m_centers;
    QLabel *m_label = nullptr;
    int m_progress = 0;
};
