#pragma once

#include <QStackedWidget>

// Page stack that can be greyed out: a translucent mask covers everything
// below the top 50 pixels (where a module's on/off switch lives) and takes
// the clicks meant for the pages.
class StackedWidget : public QStackedWidget
{
    Q_OBJECT
public:
    explicit StackedWidget(QWidget *parent);

    void setMaskVisible(bool visible);
    bool isMaskVisible() const { return m_maskVisible; }
    QWidget *maskWidget() const { return m_mask; }

    static constexpr int UncoveredTop = 50;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_mask = nullptr;
    bool m_maskVisible = false;
};
