#include "BeautyTemplateButton.h"

#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Counts the connections on clicked(), so a duplicate add shows up.
class ProbeButton : public BeautyTemplateButton
{
public:
    using BeautyTemplateButton::BeautyTemplateButton;
    int clickReceivers() const { return receivers(SIGNAL(clicked())); }
};

QString writePicture(const QTemporaryDir &dir, const QString &name, const QColor &fill)
{
    QImage img(80, 80, QImage::Format_ARGB32);
    img.fill(fill);
    const QString path = dir.filePath(name);
    img.save(path);
    return path;
}
} // namespace

class TestBeautyTemplateButton : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_red;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_red = writePicture(m_dir, QStringLiteral("red.png"), Qt::red);
    }

    void thumbnailIsPreparedRoundedAndSized()
    {
        BeautyTemplateButton b(QStringLiteral("自然"), m_red, 65, 65, nullptr);
        QCOMPARE(b.imageLabel()->size(), QSize(65, 65));
        QVERIFY(b.imageLabel()->hasScaledContents());
        QCOMPARE(b.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(b.testAttribute(Qt::WA_Hover));
        const QImage img = b.imageLabel()->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(img.size(), QSize(65, 65));
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0); // clipped corner
        QCOMPARE(QColor(img.pixel(32, 32)), QColor(Qt::red));
        QCOMPARE(b.selectionOverlay()->geometry(), QRect(1, 1, 63, 63));
        QVERIFY(b.selectionOverlay()->isHidden());
        QVERIFY(!b.isSelected());
        QVERIFY(b.imageLabel()->styleSheet().contains(QLatin1String("transparent")));
    }

    void transparentNonePictureGetsDarkTile()
    {
        const QString none = writePicture(m_dir, QStringLiteral("none.png"), Qt::transparent);
        BeautyTemplateButton b(QStringLiteral("无"), none, 65, 65, nullptr);
        const QImage img = b.imageLabel()->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(QColor(img.pixel(32, 32)), QColor(QStringLiteral("#3F3F3F")));
        // A transparent picture of another name stays transparent.
        const QString clear = writePicture(m_dir, QStringLiteral("clear.png"), Qt::transparent);
        BeautyTemplateButton c(QStringLiteral("透明"), clear, 65, 65, nullptr);
        QCOMPARE(qAlpha(c.imageLabel()->pixmap(Qt::ReturnByValue).toImage().pixel(32, 32)), 0);
    }

    void missingPictureShowsErrorAndStaysSelectable()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Failed to load pixmap:")));
        BeautyTemplateButton b(QStringLiteral("坏图"), m_dir.filePath(QStringLiteral("gone.png")), 65,
                               65, nullptr);
        QCOMPARE(b.imageLabel()->text(), QStringLiteral("Error"));
        b.setSelected(true);
        QVERIFY(b.isSelected());
    }

    void offTemplateNeverGetsOverlay()
    {
        BeautyTemplateButton off(QStringLiteral("关闭"), m_red, 65, 65, nullptr);
        off.setSelected(true);
        QVERIFY(off.selectionOverlay()->isHidden());
        QVERIFY(off.imageLabel()->styleSheet().contains(QLatin1String("#00EF5C")));
        QCOMPARE(off.textLabel()->styleSheet(), QStringLiteral("color: white; font-size: 12px; border: none"));

        BeautyTemplateButton other(QStringLiteral("关闭美颜"), m_red, 65, 65, nullptr);
        other.setSelected(true);
        QVERIFY(!other.selectionOverlay()->isHidden());
        other.setSelected(false);
        QVERIFY(other.selectionOverlay()->isHidden());
        QCOMPARE(other.textLabel()->styleSheet(),
                 QStringLiteral("color: rgba(255, 255, 255, 0.75); font-size: 12px; border: none"));
    }

    void managerKeepsOneSelectedAndIgnoresDuplicates()
    {
        QWidget page;
        auto *a = new ProbeButton(QStringLiteral("A"), m_red, 65, 65, &page);
        auto *b = new ProbeButton(QStringLiteral("B"), m_red, 65, 65, &page);
        auto *m = new BeautyTemplateButtonGroupManager(&page);
        m->addButton(a);
        m->addButton(a);
        m->addButton(b);
        QCOMPARE(m->buttons().size(), 2);
        QCOMPARE(a->clickReceivers(), 1);

        QTest::mousePress(a, Qt::RightButton);
        QVERIFY(!a->isSelected());
        QTest::mousePress(a, Qt::LeftButton);
        QVERIFY(a->isSelected());
        QCOMPARE(m->currentButton(), a);
        QTest::mousePress(b, Qt::LeftButton);
        QVERIFY(!a->isSelected());
        QVERIFY(b->isSelected());
        QVERIFY(a->selectionOverlay()->isHidden());

        // Clicking the current, selected template changes nothing.
        QTest::mousePress(b, Qt::LeftButton);
        QVERIFY(b->isSelected());
        QCOMPARE(m->currentButton(), b);

        m->setCurrentButton(nullptr);
        QVERIFY(!b->isSelected());
        QCOMPARE(m->currentButton(), nullptr);
    }

    void builderCanAdoptAPreselectedTemplate()
    {
        QWidget page;
        auto *a = new BeautyTemplateButton(QStringLiteral("A"), m_red, 65, 65, &page);
        auto *b = new BeautyTemplateButton(QStringLiteral("B"), m_red, 65, 65, &page);
        BeautyTemplateButtonGroupManager m(&page);
        m.addButton(a);
        m.addButton(b);
        b->setSelected(true);
        m.setCurrentButton(b);
        QCOMPARE(m.currentButton(), b);
        QVERIFY(b->isSelected());
        m.setCurrentButton(a);
        QVERIFY(!b->isSelected());
        QVERIFY(a->isSelected());
    }

    void destroyedMemberIsForgotten()
    {
        QWidget page;
        auto *a = new BeautyTemplateButton(QStringLiteral("A"), m_red, 65, 65, &page);
        auto *b = new BeautyTemplateButton(QStringLiteral("B"), m_red, 65, 65, &page);
        BeautyTemplateButtonGroupManager m(&page);
        m.addButton(a);
        m.addButton(b);
        m.setCurrentButton(a);
        delete a;
        QCOMPARE(m.currentButton(), nullptr);
        QCOMPARE(m.buttons().size(), 1);
        m.setCurrentButton(b);
        QVERIFY(b->isSelected());
    }
};

QTEST_MAIN(TestBeautyTemplateButton)
#include "tst_beautytemplatebutton.moc"
