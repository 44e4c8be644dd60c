#include "SideBarWidget.h"

#include <QButtonGroup>
#include <QtTest>

class TestSideBar : public QObject
{
    Q_OBJECT
private slots:
    void defaultModulesMakeTypedInertRows()
    {
        SideBarWidget bar(nullptr);
        bar.addDefaultModules();
        QCOMPARE(bar.count(), 5 + 13 + 5);
        QCOMPARE(bar.moduleButtons().size(), 13);

        QStringList kinds;
        for (int i = 0; i < bar.count(); ++i) {
            QListWidgetItem *row = bar.item(i);
            QCOMPARE(row->flags(), Qt::NoItemFlags);
            kinds << row->data(SideBarWidget::RowTypeRole).toString();
        }
        QCOMPARE(kinds.mid(0, 6), (QStringList{"group", "item", "spacing", "group", "item", "item"}));
        QCOMPARE(kinds.last(), QStringLiteral("spacing"));
        QCOMPARE(bar.item(2)->sizeHint(), QSize(0, 20));

        auto *header = qobject_cast<QPushButton *>(bar.itemWidget(bar.item(0)));
        QVERIFY(header);
        QCOMPARE(header->text(), QStringLiteral("模板"));
        QCOMPARE(header->property("itemType").toString(), QStringLiteral("group"));
        QVERIFY(!header->isEnabled());

        auto *first = qobject_cast<BeautyModuleButton *>(bar.itemWidget(bar.item(1)));
        QVERIFY(first);
        QCOMPARE(first->text(), QStringLiteral("美颜模板"));
        QCOMPARE(first->property("itemType").toString(), QStringLiteral("item"));
        QVERIFY(first->isCheckable());

        // Both button kinds fill their row; the checked module turns green.
        const QString style = bar.styleSheet();
        for (const char *kind : {"group", "item"}) {
            const QString selector = QStringLiteral("QPushButton[itemType=\"%1\"] {").arg(kind);
            const int from = style.indexOf(selector);
            QVERIFY2(from >= 0, kind);
            const QString rule = style.mid(from, style.indexOf(QLatin1Char('}'), from) - from);
            QVERIFY2(rule.contains(QLatin1String("width: 100%;")), kind);
            QVERIFY2(rule.contains(QLatin1String("height: 100%;")), kind);
            QVERIFY2(rule.contains(QLatin1String("padding-left: 28px;")), kind);
        }
        QVERIFY(style.contains(QLatin1String(
            "QPushButton[itemType=\"item\"]:checked { background-color: #292929; color: #00EF5C; }")));
    }

    void lookups()
    {
        SideBarWidget bar(nullptr);
        bar.addDefaultModules();
        BeautyModuleButton *vb = bar.findModuleButton(QStringLiteral("贴纸特效"), QStringLiteral("虚拟背景"));
        QVERIFY(vb);
        QCOMPARE(vb->text(), QStringLiteral("虚拟背景"));
        QCOMPARE(bar.itemWidget(bar.item(bar.count() - 6)), vb);
        QCOMPARE(bar.findModuleButton(QStringLiteral("美妆"), QStringLiteral("虚拟背景")), nullptr);
        QCOMPARE(bar.findModuleButton(QStringLiteral("不存在"), QStringLiteral("美颜")), nullptr);
    }

    void unknownAndDuplicateGroups()
    {
        SideBarWidget bar(nullptr);
        bar.addItem(QStringLiteral("美颜美型"), QStringLiteral("美颜")); // no groups at all
        QCOMPARE(bar.count(), 0);
        bar.addGroup(QStringLiteral("美颜美型"));
        bar.addGroup(QStringLiteral("美颜美型"));
        QCOMPARE(bar.count(), 1);
        bar.addItem(QStringLiteral("美妆"), QStringLiteral("轻美妆")); // unknown group
        QCOMPARE(bar.count(), 1);
        bar.addSpacing(0);
        bar.addSpacing(-3);
        QCOMPARE(bar.count(), 1);
        bar.addItem(QStringLiteral("美颜美型"), QStringLiteral("美颜"));
        QCOMPARE(bar.count(), 2);
    }

    void onlyOneModuleChecked()
    {
        SideBarWidget bar(nullptr);
        bar.setFixedWidth(140);
        bar.addDefaultModules();
        bar.resize(140, 800);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QVERIFY(bar.buttonGroup()->exclusive());
        BeautyModuleButton *a = bar.findModuleButton(QStringLiteral("美颜美型"), QStringLiteral("美颜"));
        BeautyModuleButton *b = bar.findModuleButton(QStringLiteral("滤镜调色"), QStringLiteral("滤镜"));
        QTest::mouseClick(a, Qt::LeftButton);
        QVERIFY(a->isChecked());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked());
        QVERIFY(!a->isChecked());
        QTest::mouseClick(b, Qt::LeftButton); // clicking the checked module keeps it checked
        QVERIFY(b->isChecked());
        int checked = 0;
        for (BeautyModuleButton *m : bar.moduleButtons())
            checked += m->isChecked() ? 1 : 0;
        QCOMPARE(checked, 1);
    }

    void dotSitsRightAndCentred()
    {
        BeautyModuleButton b(QStringLiteral("美颜"), nullptr);
        b.resize(140, 38);
        QCOMPARE(b.dotRect(), QRect(140 - 6 - 31, 16, 6, 6));
        b.resize(120, 37);
        QCOMPARE(b.dotRect(), QRect(120 - 37, 15, 6, 6));
        QVERIFY(!b.isDotVisible());
        b.setDotVisible(true);
        QVERIFY(b.isDotVisible());
    }
};

QTEST_MAIN(TestSideBar)
#include "tst_sidebar.moc"
