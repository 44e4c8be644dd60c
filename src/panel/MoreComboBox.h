#pragma once

#include <QComboBox>

class QListView;

// 65 x 28 drop-down holding the entries of a button row that did not fit.
class MoreComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit MoreComboBox(QWidget *parent);

    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return m_highlighted; }

    void showPopup() override;

    // The style sheet for a highlight state and current text; public so the
    // look can be checked without a screen.
    static QString styleFor(bool highlighted, const QString &currentText);

signals:
    void highlightedStateChanged(bool isHighlighted);
    // Declared for the panel builder's connection to the row's manager.
    void requestExclusiveHighlight(MoreComboBox *combo);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void restyle();

    QListView *m_view = nullptr;
    bool m_highlighted = false;
};
