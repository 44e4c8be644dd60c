#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QLabel;

// Square template thumbnail with its caption under it. It only looks selected
// and reports presses; what a template does is decided by the panel rules.
class BeautyTemplateButton : public QWidget
{
    Q_OBJECT
public:
    BeautyTemplateButton(const QString &text, const QString &iconPath, int width, int height,
                         QWidget *parent);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    // Flag and look only; used by the group manager, which decides the rule.
    void applySelectedLook(bool selected);

    QLabel *imageLabel() const { return m_imageLabel; }
    QLabel *textLabel() const { return m_textLabel; }
    QWidget *selectionOverlay() const { return m_overlay; }
    QString text() const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    friend class BeautyTemplateButtonGroupManager;

    QLabel *m_textLabel = nullptr;
    QLabel *m_imageLabel = nullptr;
    QWidget *m_overlay = nullptr;
    bool m_selected = false;
};

// Keeps one template of a page selected. Members are not owned.
class BeautyTemplateButtonGroupManager : public QObject
{
    Q_OBJECT
public:
    explicit BeautyTemplateButtonGroupManager(QObject *parent);

    void addButton(BeautyTemplateButton *button);
    void setCurrentButton(BeautyTemplateButton *button);

    BeautyTemplateButton *currentButton() const { return m_current; }
    QList<BeautyTemplateButton *> buttons() const;

private slots:
    void onButtonClicked();

private:
    void makeCurrent(BeautyTemplateButton *button);

    QList<QPointer<BeautyTemplateButton>> m_buttons;
    QPointer<BeautyTemplateButton> m_current;
};
