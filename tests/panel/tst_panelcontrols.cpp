#include "FoldButton.h"
#include "Slider.h"
#include "StackedWidget.h"
#include "TransparentButton.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QVBoxLayout>
#include <QtTest>
#include <qtestspontaneevent.h>

class TestPanelControls : public QObject
{
    Q_OBJECT
private slots:
    void sliderLeavesTheWheelToTheScrollArea()
    {
        QScrollArea area;
        area.resize(300, 200);
        auto *content = new QWidget;
        content->setFixedSize(280, 2000);
        auto *slider = new Slider(content);
        slider->setRange(0, 100);
        slider->setValue(50);
        slider->setGeometry(10, 20, 200, 20);
        area.setWidget(content);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QVERIFY(slider->styleSheet().contains(QLatin1String("border-radius: 5px")));
        QCOMPARE(slider->orientation(), Qt::Horizontal);

        const QPoint local(100, 10);
        QWheelEvent wheel(QPointF(local), QPointF(slider->mapToGlobal(local)), QPoint(), QPoint(0, -240),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        // Only spontaneous wheel events travel up the parent chain, as a real
        // wheel turn does; sendEvent() would clear the flag, notify() keeps it.
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        qApp->notify(slider, &wheel);
        QCOMPARE(slider->value(), 50);
        QVERIFY(area.verticalScrollBar()->value() > 0);
    }

    void foldButtonFoldsOnLeftPressOnly()
    {
        FoldButton fold(QStringLiteral("基础美颜"), nullptr);
        QVERIFY(!fold.isExpanded());
        QVERIFY(fold.currentArrowPath().endsWith(QLatin1String("/beauty_panel/panel_icon/beauty/others/fold_arrow_down.svg")));
        QCOMPARE(fold.arrowWidget()->size(), QSize(10, 6));
        QVERIFY(fold.arrowWidget()->renderer()->isValid());
        QCOMPARE(fold.titleLabel()->height(), 22);
        QSignalSpy spy(&fold, &FoldButton::clicked);
        QTest::mousePress(&fold, Qt::RightButton);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!fold.isExpanded());
        QTest::mousePress(&fold, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QVERIFY(fold.currentArrowPath().endsWith(QLatin1String("fold_arrow_up.svg")));
        QVERIFY(fold.arrowWidget()->renderer()->isValid());
        QTest::mousePress(&fold, Qt::LeftButton);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
    }

    void foldPageShowsAndHidesContent()
    {
        FoldPageWidget page(QStringLiteral("高级"), nullptr);
        auto *layout = new QVBoxLayout;
        auto *inner = new QLabel(QStringLiteral("内容"));
        inner->setFixedHeight(100);
        layout->addWidget(inner);
        page.setContentLayout(layout);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.contentWidget()->isHidden());
        QCOMPARE(page.foldButton()->height(), 22);
        const int collapsed = page.height();

        QSignalSpy spy(&page, &FoldPageWidget::signalFoldPageClicked);
        QTest::mousePress(page.foldButton(), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QVERIFY(page.contentWidget()->isVisible());
        QVERIFY(page.height() >= collapsed + 16 + 100);
        QTest::mousePress(page.foldButton(), Qt::LeftButton);
        QCOMPARE(spy.count(), 2);
        QVERIFY(page.contentWidget()->isHidden());
        QCOMPARE(page.height(), collapsed);
    }

    void transparentButton()
    {
        const QString icon = QCoreApplication::applicationDirPath()
                             + QStringLiteral("/beauty_panel/panel_icon/beauty/others/add.svg");
        TransparentButton b(QStringLiteral("添加背景"), QSize(208, 17), icon, QSize(16, 16), nullptr);
        QCOMPARE(b.textLabel()->size(), QSize(208, 17));
        QCOMPARE(b.iconWidget()->size(), QSize(16, 16));
        QVERIFY(b.iconWidget()->renderer()->isValid());
        QCOMPARE(b.iconWidget()->parentWidget()->size(), QSize(208, 16));
        QSignalSpy spy(&b, &TransparentButton::signalClicked);
        QTest::mousePress(&b, Qt::RightButton);
        QCOMPARE(spy.count(), 0);
        QTest::mousePress(&b, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
    }

    void maskCatchesClicksBelowTheTop()
    {
        StackedWidget stack(nullptr);
        stack.resize(300, 400);
        auto *page = new QWidget;
        auto *topButton = new QPushButton(QStringLiteral("开关"), page);
        topButton->setGeometry(10, 10, 80, 30);
        auto *lowButton = new QPushButton(QStringLiteral("滤镜"), page);
        lowButton->setGeometry(10, 200, 80, 30);
        stack.addWidget(page);
        stack.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stack));
        QSignalSpy top(topButton, &QPushButton::clicked);
        QSignalSpy low(lowButton, &QPushButton::clicked);

        stack.setMaskVisible(true);
        QCOMPARE(stack.maskWidget()->geometry(), QRect(0, 50, 300, 400));
        QCOMPARE(stack.maskWidget()->cursor().shape(), Qt::ForbiddenCursor);
        QTest::mouseClick(stack.windowHandle(), Qt::LeftButton, {}, QPoint(40, 215));
        QTest::mouseClick(stack.windowHandle(), Qt::LeftButton, {}, QPoint(40, 25));
        QCOMPARE(low.count(), 0);
        QCOMPARE(top.count(), 1);

        // A page raised later stays under the mask.
        auto *later = new QWidget;
        stack.addWidget(later);
        stack.setCurrentWidget(later);
        QApplication::processEvents();
        QCOMPARE(stack.childAt(40, 215), stack.maskWidget());

        stack.setCurrentWidget(page);
        stack.setMaskVisible(false);
        QTest::mouseClick(stack.windowHandle(), Qt::LeftButton, {}, QPoint(40, 215));
        QCOMPARE(low.count(), 1);

        stack.resize(320, 500);
        QCOMPARE(stack.maskWidget()->geometry(), QRect(0, 50, 320, 500));
    }
};

QTEST_MAIN(TestPanelControls)
#include "tst_panelcontrols.moc"
