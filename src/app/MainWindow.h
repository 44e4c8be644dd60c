#pragma once

#include <QMainWindow>
#include <QPoint>

class QFrame;
class QPushButton;
class VideoShowWidget;

namespace Ui {
class MainWindow;
}

// The single frameless top-level window: its own top bar (logo, version,
// document link, minimize, maximize, close) over the body row.
class MainWindow : public QMainWindow
{
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void openSdkDocument();

    // Address of the engine integration guide opened by the top bar link.
    static QUrl sdkDocumentUrl();
    // Pixels from the window's top edge that can drag the frameless window.
    static constexpr int kDragStripHeight = 56;

    bool isDragging() const { return m_isDragging; }
    VideoShowWidget *videoShowWidget() const { return m_videoShowWidget; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QFrame *createTopBar();
    QFrame *createMainArea();
    void toggleMaximized();

    Ui::MainWindow *ui;
    VideoShowWidget *m_videoShowWidget = nullptr;
    QPoint m_dragPosition;
    bool m_isDragging = false;
};
