#pragma once

#include <QWidget>

class QLabel;
class QSvgWidget;

// Clickable SVG icon followed by a caption (the "SDK集成文档" link, the
// comparison and reset buttons, "恢复预设").
class IconTextWidget : public QWidget
{
    Q_OBJECT
public:
    IconTextWidget(QSize iconSize, const QString &text, const QString &iconPath, QWidget *parent);

    QSvgWidget *iconWidget() const { return m_icon; }
    QLabel *textLabel() const { return m_label; }

    // The owner sets the offset, then calls applyIconOffset().
    void setIconTopOffset(int offset) { m_iconTopOffset = offset; }
    int iconTopOffset() const { return m_iconTopOffset; }
    void applyIconOffset();

signals:
    void clicked();
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QSvgWidget *m_icon = nullptr;
    QLabel *m_label = nullptr;
    int m_iconTopOffset = 0;
};
