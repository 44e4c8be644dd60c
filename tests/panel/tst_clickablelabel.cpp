#include "ClickableLabel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSvgWidget>
#include <QtTest>

namespace {
class ProbeLabel : public ClickableLabel
{
public:
    using ClickableLabel::ClickableLabel;
    int clickReceivers() const { return receivers(SIGNAL(clicked())); }
};

// Records presses that travel up from a child.
class PressRecorder : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        ++presses;
        e->accept();
    }
};

QString iconPath()
{
    return QCoreApplication::applicationDirPath()
           + QStringLiteral("/beauty_panel/panel_icon/beauty/others/add.svg");
}
} // namespace

class TestClickableLabel : public QObject
{
    Q_OBJECT
private slots:
    void layoutAndNormalLook()
    {
        ClickableLabel l(iconPath(), QStringLiteral("眉毛"), nullptr);
        QCOMPARE(l.iconWidget()->size(), QSize(65, 48));
        QCOMPARE(l.textLabel()->text(), QStringLiteral("眉毛"));
        QCOMPARE(l.textLabel()->styleSheet(),
                 QStringLiteral("QLabel { color: rgba(255, 255, 255, 0.55); font-size:14px; }"));
        QCOMPARE(l.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!l.isSelected());
    }

    void leftPressClicksOtherButtonsTravelOn()
    {
        PressRecorder parent;
        auto *l = new ClickableLabel(iconPath(), QStringLiteral("眉毛"), &parent);
        QSignalSpy spy(l, &ClickableLabel::clicked);
        QTest::mousePress(l, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(parent.presses, 0);

        // The QTest helper sends directly; go through the application so an
        // ignored press propagates like a real one.
        QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QApplication::sendEvent(l, &right);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(parent.presses, 1);
    }

    void managerMovesTheSelection()
    {
        QWidget page;
        auto *a = new ProbeLabel(iconPath(), QStringLiteral("A"), &page);
        auto *b = new ProbeLabel(iconPath(), QStringLiteral("B"), &page);
        ClickableLabelGroupManager m(&page);
        m.addLabel(a);
        m.addLabel(a);
        m.addLabel(b);
        QCOMPARE(m.labels().size(), 2);
        QCOMPARE(a->clickReceivers(), 1);

        QTest::mousePress(a, Qt::LeftButton);
        QVERIFY(a->isSelected());
        QVERIFY(a->iconWidget()->styleSheet().contains(QLatin1String("#58EB6F")));
        QCOMPARE(a->textLabel()->styleSheet(),
                 QStringLiteral("QLabel { color: rgba(255,255,255,0.9); font-weight: 400; font-size:14px; }"));

        QTest::mousePress(b, Qt::LeftButton);
        QVERIFY(!a->isSelected());
        QVERIFY(b->isSelected());
        QCOMPARE(a->textLabel()->styleSheet(), a->normalTextStyle());
        QCOMPARE(a->iconWidget()->styleSheet(),
                 QStringLiteral("background: transparent; border: 1px solid transparent; border-radius: 6px;"));

        QTest::mousePress(b, Qt::LeftButton);
        QVERIFY(b->isSelected());
        m.setCurrentLabel(nullptr);
        QVERIFY(!b->isSelected());
        QCOMPARE(m.currentLabel(), nullptr);
    }
};

QTEST_MAIN(TestClickableLabel)
#include "tst_clickablelabel.moc"
