#include "MainWindow.h"
#include "TestCameraPlatform.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QtTest>

#include "../support/GlTestMain.h"

namespace {

bool sendPress(QWidget *target, Qt::MouseButton button, QPoint pos)
{
    QMouseEvent press(QEvent::MouseButtonPress, pos, target->mapToGlobal(pos), button, button, Qt::NoModifier);
    press.setAccepted(false);
    QApplication::sendEvent(target, &press);
    return press.isAccepted();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    // The frame needs no camera; real ones on the machine stay closed.
    void initTestCase() { setActiveCameraPlatform(std::make_shared<TestCameraPlatform>()); }
    void cleanupTestCase() { setActiveCameraPlatform(nullptr); }

    void frameLooksAsDesigned()
    {
        MainWindow window;
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        auto *bar = window.findChild<QFrame *>(QStringLiteral("widget"));
        QVERIFY(bar);
        QCOMPARE(bar->height(), MainWindow::kDragStripHeight);
        for (const char *name : {"minimizeBtn", "fullscreenBtn", "closeBtn"}) {
            auto *button = window.findChild<QPushButton *>(QLatin1String(name));
            QVERIFY2(button, name);
            QCOMPARE(button->size(), QSize(16, 16));
            QVERIFY2(!button->icon().isNull(), name); // artwork ships beside the program
        }
        // The document link opens the integration guide shipped beside the program.
        const QUrl doc = MainWindow::sdkDocumentUrl();
        QVERIFY(doc.isLocalFile());
        QVERIFY2(QFileInfo::exists(doc.toLocalFile()), qPrintable(doc.toLocalFile()));
    }

    void dragStripRule()
    {
        MainWindow window;
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(sendPress(&window, Qt::LeftButton, QPoint(300, 56)));
        QVERIFY(window.isDragging());

        QVERIFY(sendPress(&window, Qt::LeftButton, QPoint(300, 57)));
        QVERIFY(!window.isDragging());

        QVERIFY(sendPress(&window, Qt::LeftButton, QPoint(10, 0)));
        QVERIFY(window.isDragging());
        QMouseEvent release(QEvent::MouseButtonRelease, QPoint(10, 0), window.mapToGlobal(QPoint(10, 0)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &release);
        QVERIFY(!window.isDragging());

        // Other buttons neither start a drag nor are accepted.
        QVERIFY(!sendPress(&window, Qt::RightButton, QPoint(10, 10)));
        QVERIFY(!window.isDragging());
    }

    void dragMovesWindowByCursorDelta()
    {
        MainWindow window;
        window.resize(800, 600);
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.frameGeometry().topLeft();

        const QPoint grab(200, 20);
        QVERIFY(sendPress(&window, Qt::LeftButton, grab));
        const QPoint globalStart = window.mapToGlobal(grab);
        QMouseEvent move(QEvent::MouseMove, grab, globalStart + QPoint(40, 25), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QCOMPARE(window.pos(), start + QPoint(40, 25));

        // Without the left button held nothing moves.
        QMouseEvent hover(QEvent::MouseMove, grab, globalStart + QPoint(300, 300), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&window, &hover);
        QCOMPARE(window.pos(), start + QPoint(40, 25));
    }

    void maximizeButtonToggles()
    {
        MainWindow window;
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *button = window.findChild<QPushButton *>(QStringLiteral("fullscreenBtn"));
        QVERIFY(button);
        const QImage iconBefore = button->icon().pixmap(16, 16).toImage();

        button->click();
        QVERIFY(window.isMaximized());
        QVERIFY(!window.isFullScreen());
        QCOMPARE(button->icon().pixmap(16, 16).toImage(), iconBefore);

        button->click();
        QVERIFY(!window.isMaximized());
        QCOMPARE(button->icon().pixmap(16, 16).toImage(), iconBefore);
    }

    void closeButtonClosesWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QPushButton *>(QStringLiteral("closeBtn"))->click();
        QVERIFY(!window.isVisible());
    }
};

EFFECTDEMO_GL_TEST_MAIN(TestMainWindow)

#include "tst_mainwindow.moc"
