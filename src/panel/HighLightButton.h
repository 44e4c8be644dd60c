#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QPushButton>

class MoreComboBox;

// Rounded text button, 65 x 28 (75 x 28 for five-character captions). The
// highlight is its own flag, independent of the push button's checked state.
class HighLightButton : public QPushButton
{
    Q_OBJECT
public:
    HighLightButton(const QString &text, QWidget *parent);

    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return m_highlighted; }

    static QString highlightedStyle();
    static QString normalStyle();

private:
    bool m_highlighted = false;
};

// Keeps at most one button of a row, or the row's overflow combo, highlighted.
class HighLightButtonGroupManager : public QObject
{
    Q_OBJECT
public:
    explicit HighLightButtonGroupManager(QObject *parent);

    void addButton(HighLightButton *button);
    void setCurrentButton(HighLightButton *button);
    void setMoreComboBox(MoreComboBox *combo);
    void clearHighlights();

    HighLightButton *currentButton() const { return m_current; }
    MoreComboBox *moreComboBox() const { return m_combo; }
    QList<HighLightButton *> buttons() const;

public slots:
    void highlightExclusively(QObject *widget);

private slots:
    void onButtonClicked();

private:
    QList<QPointer<HighLightButton>> m_buttons;
    QPointer<HighLightButton> m_current;
    QPointer<MoreComboBox> m_combo;
};
