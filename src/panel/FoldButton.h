#pragma once

#include <QWidget>

class QLabel;
class QLayout;
class QSvgWidget;

// Section header: title on the left, an arrow on the right that points down
// while collapsed and up while expanded.
class FoldButton : public QWidget
{
    Q_OBJECT
public:
    FoldButton(const QString &title, QWidget *parent);

    bool isExpanded() const { return m_expanded; }
    QString currentArrowPath() const { return m_expanded ? m_upArrowPath : m_downArrowPath; }
    QLabel *titleLabel() const { return m_title; }
    QSvgWidget *arrowWidget() const { return m_arrow; }

signals:
    void clicked(bool checked);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_downArrowPath;
    QString m_upArrowPath;
    bool m_expanded = false;
    QLabel *m_title = nullptr;
    QSvgWidget *m_arrow = nullptr;
};

// A fold header above a content widget that it shows and hides.
class FoldPageWidget : public QWidget
{
    Q_OBJECT
public:
    FoldPageWidget(const QString &title, QWidget *parent);

    void setContentLayout(QLayout *layout);
    FoldButton *foldButton() const { return m_foldButton; }
    QWidget *contentWidget() const { return m_content; }

signals:
    void signalFoldPageClicked();

private:
    FoldButton *m_foldButton = nullptr;
    QWidget *m_content = nullptr;
};
