#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

// The confirmation dialog: a frameless dark box with a title, an explanation,
// a confirm and a cancel button and a close cross, over a dimmed window.
// Callers create it on the stack, optionally anchor it, and run exec():
// 1 when confirmed, 0 when cancelled or closed.
class ResetDialog : public QDialog
{
    Q_OBJECT
public:
    ResetDialog(const QString &title, const QString &text, const QString &confirmText,
                const QString &cancelText, QWidget *parent);
    ~ResetDialog() override;

    void setAnchorWidget(QWidget *anchor);
    QWidget *anchorWidget() const { return m_anchorWidget; }
    QWidget *overlayHost() const { return m_overlayHost; }
    QWidget *overlay() const { return m_overlay; }

    QLabel *titleLabel() const { return m_titleLabel; }
    QLabel *textLabel() const { return m_textLabel; }
    QPushButton *confirmButton() const { return m_confirmButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *closeButton() const { return m_closeButton; }

    // Moves the dialog to the anchor's centre, kept on the anchor's screen.
    void centerOnAnchor();

    // The one-button message used for failures the user must see: title
    // "提示", the message and "我知道了"; the blank first button blends in.
    static void configureAsNotice(ResetDialog &dialog);
    static QString noticeTitle();
    static QString noticeButtonText();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_titleLabel = nullptr;
    QLabel *m_textLabel = nullptr;
    QPushButton *m_confirmButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_closeButton = nullptr;

    // Guarded: host and anchor may be destroyed while the dialog is open, and
    // the overlay dies with its host.
    QPointer<QWidget> m_overlayHost;
    QPointer<QWidget> m_overlay;
    QPointer<QWidget> m_anchorWidget;
};
