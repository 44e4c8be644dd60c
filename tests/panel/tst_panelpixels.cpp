// Pixel probes on the rendered widgets: the colours a user relies on to read
// the state at a glance.
#include "DIYButton.h"
#include "ImageLoadManager.h"
#include "SideBarWidget.h"
#include "SwitchButton.h"

#include <QDir>
#include <QLabel>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
bool near(QRgb px, const QColor &want, int tol = 12)
{
    const QColor got(px);
    return qAbs(got.red() - want.red()) <= tol && qAbs(got.green() - want.green()) <= tol
           && qAbs(got.blue() - want.blue()) <= tol;
}

QString describe(QRgb px)
{
    return QColor(px).name();
}

QImage render(QWidget &w)
{
    w.ensurePolished();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TestPanelPixels : public QObject
{
    Q_OBJECT
private slots:
    void switchColours()
    {
        SwitchButton on(QString(), 1.33f, true, 0, nullptr);
        on.setFixedSize(30, 18);
        QImage img = render(on);
        // Track left of the knob, and the knob centre.
        QVERIFY2(near(img.pixel(4, 9), QColor(QStringLiteral("#42D259"))), qPrintable(describe(img.pixel(4, 9))));
        const QPointF knobOn = on.knobRect().center();
        QVERIFY2(near(img.pixel(knobOn.toPoint()), Qt::white), qPrintable(describe(img.pixel(knobOn.toPoint()))));

        SwitchButton off(QString(), 1.33f, false, 0, nullptr);
        off.setFixedSize(30, 18);
        img = render(off);
        QVERIFY2(near(img.pixel(25, 9), QColor(247, 245, 241)), qPrintable(describe(img.pixel(25, 9))));
        const QPoint knobOff = off.knobRect().center().toPoint();
        QVERIFY2(near(img.pixel(knobOff), QColor(93, 93, 93)), qPrintable(describe(img.pixel(knobOff))));

        off.setEnabled(false);
        img = render(off);
        QVERIFY(near(img.pixel(knobOff), QColor(190, 190, 190)));
        QVERIFY(near(img.pixel(25, 9), QColor(247, 245, 241)));
    }

    void moduleDot()
    {
        SideBarWidget bar(nullptr);
        bar.addGroup(QStringLiteral("美颜美型"));
        bar.addItem(QStringLiteral("美颜美型"), QStringLiteral("美颜"));
        BeautyModuleButton *b = bar.findModuleButton(QStringLiteral("美颜美型"), QStringLiteral("美颜"));
        b->setParent(nullptr);
        b->resize(140, 38);
        b->setStyleSheet(QStringLiteral("QPushButton { background-color: #333; border: none; }"));
        const QPoint centre = b->dotRect().center();
        QImage img = render(*b);
        QVERIFY(!near(img.pixel(centre), QColor(88, 235, 111), 40));
        b->setDotVisible(true);
        img = render(*b);
        QVERIFY2(near(img.pixel(centre), QColor(88, 235, 111)), qPrintable(describe(img.pixel(centre))));
        // Nothing green just outside the dot.
        QVERIFY(!near(img.pixel(centre + QPoint(6, 0)), QColor(88, 235, 111), 40));
        delete b;
    }

    void selectedThumbnailHasAccentBorder()
    {
        QTemporaryDir dir;
        QImage pic(64, 64, QImage::Format_RGB32);
        pic.fill(QColor(20, 40, 160));
        const QString path = dir.filePath(QStringLiteral("blue.png"));
        QVERIFY(pic.save(path));

        QWidget page;
        page.setStyleSheet(QStringLiteral("background-color: #292929;"));
        auto *b = new DIYButton(QStringLiteral("蓝调"), path, 45, 45, &page);
        page.resize(60, 70);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QTRY_VERIFY(b->hasPicture());

        const int midY = b->imageLabel()->height() / 2;
        QImage img = render(*b->imageLabel());
        QVERIFY(!near(img.pixel(0, midY), QColor(QStringLiteral("#58EB6F")), 40));
        b->setSelected(true);
        img = render(*b->imageLabel());
        QVERIFY2(near(img.pixel(0, midY), QColor(QStringLiteral("#58EB6F")), 30), qPrintable(describe(img.pixel(0, midY))));
        QVERIFY2(near(img.pixel(22, midY), QColor(20, 40, 160), 20), qPrintable(describe(img.pixel(22, midY))));
    }

    void shippedArtworkLoads()
    {
        const QString dir = QCoreApplication::applicationDirPath()
                            + QStringLiteral("/beauty_panel/panel_icon/beauty/others/");
        for (const char *name : {"fold_arrow_down.svg", "fold_arrow_up.svg", "reset2.svg",
                                 "left_arrow.svg", "add.svg", "cancel.svg"}) {
            QSvgRenderer r(dir + QLatin1String(name));
            QVERIFY2(r.isValid(), name);
        }
        QImage none(dir + QStringLiteral("none.png"));
        QVERIFY(!none.isNull());
        QVERIFY(none.hasAlphaChannel());
        QCOMPARE(qAlpha(none.pixel(2, 2)), 0);
        // The loader backs it with the dark tile.
        const QImage tile = ImageLoadTask::prepare(dir + QStringLiteral("none.png"), 45, 45);
        QVERIFY(near(tile.pixel(22, 5), QColor(QStringLiteral("#3F3F3F")), 4));
    }
};

QTEST_MAIN(TestPanelPixels)
#include "tst_panelpixels.moc"
