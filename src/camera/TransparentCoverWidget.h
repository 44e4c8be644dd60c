#pragma once

#include <QPointer>
#include <QWidget>

// Transparent layer over a selector combo's closed face: a left click opens
// the combo's popup; over the camera selector only while camera access is
// granted.
class TransparentCoverWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TransparentCoverWidget(QWidget *covered);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_covered;
};
