#include "SwitchButton.h"

#include <QSignalSpy>
#include <QtTest>

class TestSwitchButton : public QObject
{
    Q_OBJECT
private slots:
    void captionedGeometry()
    {
        SwitchButton s(QStringLiteral("美颜"), 1.33f, true, 8, nullptr);
        QCOMPARE(s.size(), QSize(62, 18));
        QCOMPARE(s.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(s.captionWidth(), 24);
        QCOMPARE(s.trackRect(), QRectF(32, 1, 30, 16));
        QVERIFY(qAbs(s.knobRect().width() - 13.34) < 0.01);
        QCOMPARE(s.knobRect().height(), s.knobRect().width());
        QVERIFY(qAbs(s.travel() - 14.0) < 1e-9);
        QVERIFY(qAbs(s.xPos() - 14.0) < 1e-9);
        // On: the knob ends one margin inside the track's right end.
        QVERIFY(qAbs(s.knobRect().right() - (62 - 1.33)) < 0.01);
    }

    void captionlessStartsAtSpacing()
    {
        SwitchButton s(QString(), 1.33f, false, 0, nullptr);
        s.setFixedSize(30, 18);
        QCOMPARE(s.captionWidth(), 0);
        QCOMPARE(s.trackRect(), QRectF(0, 1, 30, 16));
        QVERIFY(qAbs(s.travel() - 14.0) < 1e-9);
        QCOMPARE(s.xPos(), 0.0);

        SwitchButton spaced(QString(), 1.33f, false, 5, nullptr);
        QCOMPARE(spaced.trackRect().x(), 5.0);
    }

    void textFontSetsCaptionWidthAndPlacesKnob()
    {
        SwitchButton s(QStringLiteral("镜像"), 1.33f, true, 8, nullptr);
        s.setFixedSize(86, 18);
        QFont f(QStringLiteral("Microsoft YaHei"));
        f.setPixelSize(12);
        s.setTextFont(f);
        const int advance = QFontMetrics(f).horizontalAdvance(QStringLiteral("镜像"));
        QCOMPARE(s.captionWidth(), advance);
        QVERIFY(qAbs(s.xPos() - (86 - advance - 8 - 18 + 2)) < 1e-9);
        QVERIFY(!s.isSliding());

        SwitchButton empty(QString(), 1.33f, false, 0, nullptr);
        empty.setTextFont(f);
        QCOMPARE(empty.captionWidth(), 0);
    }

    void setCheckedEmitsOnlyOnChange()
    {
        SwitchButton s(QStringLiteral("美颜"), 1.33f, true, 8, nullptr);
        QSignalSpy spy(&s, &SwitchButton::signalCheckedStateChange);
        s.setChecked(true);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!s.isSliding());
        s.setChecked(false);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QVERIFY(s.isSliding());
        QTRY_VERIFY(!s.isSliding());
        QCOMPARE(s.xPos(), 0.0);
    }

    void clickTogglesOnRelease()
    {
        SwitchButton s(QString(), 1.33f, false, 0, nullptr);
        s.setFixedSize(30, 18);
        QSignalSpy spy(&s, &SwitchButton::signalCheckedStateChange);
        QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!s.isChecked());
        QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(28, 16));
        QCOMPARE(spy.count(), 1);
        QVERIFY(s.isChecked());
        QTRY_VERIFY(!s.isSliding());
        QVERIFY(qAbs(s.xPos() - s.travel()) < 1e-9);

        QTest::mouseClick(&s, Qt::RightButton);
        QCOMPARE(spy.count(), 1);
    }

    void doubleClickTogglesOnce()
    {
        SwitchButton s(QString(), 1.33f, false, 0, nullptr);
        QSignalSpy spy(&s, &SwitchButton::signalCheckedStateChange);
        QTest::mouseClick(&s, Qt::LeftButton);
        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QVERIFY(s.isChecked());
        QTRY_VERIFY(!s.isSliding());
        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(spy.count(), 2);
        QVERIFY(!s.isChecked());
    }

    void disabledIgnoresClicks()
    {
        SwitchButton s(QString(), 1.33f, false, 0, nullptr);
        s.setEnabled(false);
        QSignalSpy spy(&s, &SwitchButton::signalCheckedStateChange);
        QTest::mouseClick(&s, Qt::LeftButton);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!s.isChecked());
    }

    void propertiesAndResize()
    {
        SwitchButton s(QStringLiteral("美颜"), 1.33f, true, 8, nullptr);
        QCOMPARE(s.property("m_pressedColor").value<QColor>(), QColor(QStringLiteral("#42D259")));
        QCOMPARE(s.property("m_backgroundColor").value<QColor>(), QColor(247, 245, 241));
        QCOMPARE(s.property("m_disabledColor").value<QColor>(), QColor(190, 190, 190));
        QCOMPARE(s.property("m_circleColor").value<QColor>(), QColor(93, 93, 93));
        QVERIFY(s.setProperty("m_pressedColor", QColor(Qt::blue)));
        QCOMPARE(s.pressedColor(), QColor(Qt::blue));
        QVERIFY(s.setProperty("m_xPos", 3.5));
        QCOMPARE(s.xPos(), 3.5);
        s.setFixedSize(80, 18);
        s.show(); // a hidden widget gets its resize event when shown
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        QVERIFY(qAbs(s.xPos() - (80 - 24 - 8 - 18 + 2)) < 1e-9);
    }
};

QTEST_MAIN(TestSwitchButton)
#include "tst_switchbutton.moc"
