#include "HighLightButton.h"
#include "MoreComboBox.h"

#include <QFrame>
#include <QSignalSpy>
#include <QtTest>

namespace {
class ProbeButton : public HighLightButton
{
public:
    using HighLightButton::HighLightButton;
    int clickReceivers() const { return receivers(SIGNAL(clicked(bool))); }
};
} // namespace

class TestHighLightButton : public QObject
{
    Q_OBJECT
private slots:
    void widthFollowsCaptionLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("4") << QStringLiteral("720P") << 65;
        QTest::newRow("5") << QStringLiteral("1080P") << 75;
        QTest::newRow("6") << QStringLiteral("自然风格美颜") << 65;
        QTest::newRow("5 wide") << QStringLiteral("日系小清新") << 75;
    }
    void widthFollowsCaptionLength()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        HighLightButton b(text, nullptr);
        QCOMPARE(b.size(), QSize(width, 28));
        QCOMPARE(b.minimumSize(), b.maximumSize());
    }

    void clickHighlightsButNeverRemoves()
    {
        HighLightButton b(QStringLiteral("自然"), nullptr);
        QCOMPARE(b.styleSheet(), HighLightButton::normalStyle());
        QVERIFY(HighLightButton::normalStyle().contains(QLatin1String("rgba(74, 74, 74, 0.75)")));
        b.click();
        QVERIFY(b.isHighlighted());
        QCOMPARE(b.styleSheet(), HighLightButton::highlightedStyle());
        QVERIFY(HighLightButton::highlightedStyle().contains(QLatin1String("1px solid #58EB6F")));
        b.click();
        QVERIFY(b.isHighlighted());
        QVERIFY(!b.isChecked()); // the highlight is not the push button's check state
    }

    void managerIsExclusiveAndTakesOverFromCombo()
    {
        QWidget row;
        auto *a = new ProbeButton(QStringLiteral("A"), &row);
        auto *b = new ProbeButton(QStringLiteral("B"), &row);
        auto *combo = new MoreComboBox(&row);
        HighLightButtonGroupManager m(&row);
        m.addButton(a);
        m.addButton(a);
        m.addButton(b);
        m.setMoreComboBox(combo);
        QCOMPARE(m.buttons().size(), 2);
        // Its own highlight connection plus exactly one from the manager.
        QCOMPARE(a->clickReceivers(), 2);

        a->click();
        QCOMPARE(m.currentButton(), a);
        b->click();
        QVERIFY(!a->isHighlighted());
        QVERIFY(b->isHighlighted());

        combo->setHighlighted(true);
        QSignalSpy spy(combo, &MoreComboBox::highlightedStateChanged);
        a->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QVERIFY(combo->styleSheet().contains(QLatin1String("border: 1px solid #4A4A4A")));
        QVERIFY(a->isHighlighted());
        QVERIFY(!b->isHighlighted());
    }

    void exclusiveRule()
    {
        QWidget row;
        auto *a = new HighLightButton(QStringLiteral("A"), &row);
        auto *b = new HighLightButton(QStringLiteral("B"), &row);
        auto *combo = new MoreComboBox(&row);
        HighLightButtonGroupManager m(&row);
        m.addButton(a);
        m.addButton(b);
        m.setMoreComboBox(combo);
        connect(combo, &MoreComboBox::requestExclusiveHighlight, &m,
                &HighLightButtonGroupManager::highlightExclusively);

        a->click();
        emit combo->requestExclusiveHighlight(combo);
        QVERIFY(!a->isHighlighted());
        QVERIFY(combo->isHighlighted());
        QCOMPARE(m.currentButton(), nullptr);

        m.highlightExclusively(b);
        QVERIFY(b->isHighlighted());
        QVERIFY(!combo->isHighlighted());
        QCOMPARE(m.currentButton(), b);

        QObject stranger;
        m.highlightExclusively(&stranger);
        QVERIFY(!b->isHighlighted());
        QCOMPARE(m.currentButton(), nullptr);
    }

    void clearHighlightsLeavesCombo()
    {
        QWidget row;
        auto *a = new HighLightButton(QStringLiteral("A"), &row);
        auto *combo = new MoreComboBox(&row);
        HighLightButtonGroupManager m(&row);
        m.addButton(a);
        m.setMoreComboBox(combo);
        a->click();
        combo->setHighlighted(true);
        m.clearHighlights();
        QVERIFY(!a->isHighlighted());
        QCOMPARE(m.currentButton(), nullptr);
        QVERIFY(combo->isHighlighted());
    }

    void comboStyleFollowsTextLengthAndHighlight()
    {
        MoreComboBox c(nullptr);
        QCOMPARE(c.size(), QSize(65, 28));
        c.addItems({QStringLiteral("更多"), QStringLiteral("复古风"), QStringLiteral("清透"),
                    QStringLiteral("水光肌"), QStringLiteral("日系小清新")});
        c.setCurrentIndex(1); // 3 characters
        QVERIFY(c.styleSheet().contains(QLatin1String("margin-right: 8px;")));
        QVERIFY(c.styleSheet().contains(QLatin1String("padding: 0 0 0 6px;")));
        QVERIFY(c.styleSheet().contains(QLatin1String("font-size: 12px;")));
        c.setCurrentIndex(4); // 5 characters
        QVERIFY(c.styleSheet().contains(QLatin1String("margin-right: 19px;")));
        QVERIFY(c.styleSheet().contains(QLatin1String("padding: 0 0 0 11px;")));
        c.setCurrentIndex(0); // 2 characters
        QVERIFY(c.styleSheet().contains(QLatin1String("padding: 0 0 0 11px;")));

        const QString four = MoreComboBox::styleFor(false, QStringLiteral("水光肌肤"));
        QVERIFY(four.contains(QLatin1String("font-size: 11px;")));
        QVERIFY(four.contains(QLatin1String("padding: 0 0 0 3px;")));
        QVERIFY(four.contains(QLatin1String("margin-right: 2px;")));
        QVERIFY(four.contains(QLatin1String("color: rgba(255, 255, 255, 0.55);")));
        QVERIFY(!four.contains(QLatin1Char('%')));

        QSignalSpy spy(&c, &MoreComboBox::highlightedStateChanged);
        c.setHighlighted(true);
        QVERIFY(c.styleSheet().contains(QLatin1String("border: 1px solid #7BF38E")));
        QVERIFY(c.styleSheet().contains(QLatin1String("color: white;")));
        c.setHighlighted(true);
        QCOMPARE(spy.count(), 1);
        c.setHighlighted(false);
        QCOMPARE(spy.count(), 2);
    }

    void pressHighlightsAndPopupDropsBelow()
    {
        QWidget window;
        window.resize(300, 300);
        auto *c = new MoreComboBox(&window);
        c->move(40, 60);
        c->addItems({QStringLiteral("复古风"), QStringLiteral("清透")});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QSignalSpy spy(c, &MoreComboBox::highlightedStateChanged);
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(20, 14));
        QCOMPARE(spy.count(), 1);
        QVERIFY(c->isHighlighted());
        QFrame *frame = c->findChild<QFrame *>();
        QVERIFY(frame);
        const QPoint expected = c->mapToGlobal(QPoint(0, 0)) + QPoint(0, c->height() + 5);
        QTRY_COMPARE(frame->pos(), expected);
        c->hidePopup();
        QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(20, 14));
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(20, 14));
        QCOMPARE(spy.count(), 1); // already highlighted
        c->hidePopup();
    }
};

QTEST_MAIN(TestHighLightButton)
#include "tst_highlightbutton.moc"
