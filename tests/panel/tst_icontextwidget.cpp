#include "IconTextWidget.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QVBoxLayout>
#include <QtTest>

class TestIconTextWidget : public QObject
{
    Q_OBJECT
private slots:
    void emptyIconPathKeepsIconArea()
    {
        IconTextWidget w(QSize(16, 16), QStringLiteral("对比"), QString(), nullptr);
        QCOMPARE(w.iconWidget()->size(), QSize(16, 16));
        QCOMPARE(w.iconWidget()->parentWidget()->size(), QSize(16, 16));
        QVERIFY(!w.iconWidget()->renderer()->isValid());
        QCOMPARE(w.textLabel()->text(), QStringLiteral("对比"));
    }

    void leftPressClicksOnceAnywhere()
    {
        IconTextWidget w(QSize(16, 16), QStringLiteral("重置"), QString(), nullptr);
        w.resize(80, 20);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy clicked(&w, &IconTextWidget::clicked);
        QSignalSpy released(&w, &IconTextWidget::released);

        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(70, 10));
        QCOMPARE(clicked.count(), 1);
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(70, 10));
        QCOMPARE(released.count(), 1);

        // Clicks on the child label and icon reach the control as well.
        QTest::mousePress(w.iconWidget(), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(clicked.count(), 2);
    }

    void otherButtonsOnlyRelease()
    {
        IconTextWidget w(QSize(16, 16), QStringLiteral("重置"), QString(), nullptr);
        w.resize(80, 20);
        QSignalSpy clicked(&w, &IconTextWidget::clicked);
        QSignalSpy released(&w, &IconTextWidget::released);
        QTest::mousePress(&w, Qt::RightButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&w, Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(released.count(), 1);
    }

    void iconOffsetMovesIconDown()
    {
        IconTextWidget w(QSize(16, 16), QStringLiteral("对比"), QString(), nullptr);
        w.setIconTopOffset(2);
        w.applyIconOffset();
        auto *box = qobject_cast<QVBoxLayout *>(w.iconWidget()->parentWidget()->layout());
        QVERIFY(box);
        QCOMPARE(box->contentsMargins(), QMargins(0, 2, 0, 0));
    }
};

QTEST_MAIN(TestIconTextWidget)
#include "tst_icontextwidget.moc"
