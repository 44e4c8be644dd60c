#pragma once

#include <QWidget>

class QLabel;
class QSvgWidget;

// SVG icon above a caption on a transparent background ("添加背景").
class TransparentButton : public QWidget
{
    Q_OBJECT
public:
    TransparentButton(const QString &text, QSize size, const QString &iconPath, QSize iconSize,
                      QWidget *parent);

    QSvgWidget *iconWidget() const { return m_icon; }
    QLabel *textLabel() const { return m_text; }

signals:
    void signalClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QSvgWidget *m_icon = nullptr;
    QLabel *m_text = nullptr;
};
