#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QLabel;
class QSvgWidget;

// SVG icon (65 x 48) with a caption under it; a selectable panel tile.
class ClickableLabel : public QWidget
{
    Q_OBJECT
public:
    ClickableLabel(const QString &svgPath, const QString &text, QWidget *parent);

    bool isSelected() const { return m_selected; }
    QSvgWidget *iconWidget() const { return m_icon; }
    QLabel *textLabel() const { return m_text; }
    QString normalTextStyle() const { return m_normalTextStyle; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    friend class ClickableLabelGroupManager;
    void applySelectedLook(bool selected);

    QSvgWidget *m_icon = nullptr;
    QLabel *m_text = nullptr;
    QString m_normalTextStyle;
    bool m_selected = false;
};

// Keeps one tile of a page selected. Members are not owned.
class ClickableLabelGroupManager : public QObject
{
    Q_OBJECT
public:
    explicit ClickableLabelGroupManager(QObject *parent);

    void addLabel(ClickableLabel *label);
    void setCurrentLabel(ClickableLabel *label);

    ClickableLabel *currentLabel() const { return m_current; }
    QList<ClickableLabel *> labels() const;

private slots:
    void onLabelClicked();

private:
    QList<QPointer<ClickableLabel>> m_labels;
    QPointer<ClickableLabel> m_current;
};
