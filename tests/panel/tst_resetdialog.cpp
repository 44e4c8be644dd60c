#include "ResetDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {
ResetDialog *makeReset(QWidget *parent)
{
    return new ResetDialog(QStringLiteral("重置当前美颜效果？"),
                           QStringLiteral("重置后所有效果将会恢复至默认状态，且重置操作不可撤回。"),
                           QStringLiteral("重置"), QStringLiteral("取消"), parent);
}

QList<QWidget *> plainChildren(QWidget *host)
{
    QList<QWidget *> out;
    for (QWidget *w : host->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w->metaObject() == &QWidget::staticMetaObject)
            out << w;
    return out;
}
} // namespace

class TestResetDialog : public QObject
{
    Q_OBJECT
private slots:
    void buildsTheBox()
    {
        QWidget host;
        host.resize(800, 600);
        std::unique_ptr<ResetDialog> d(makeReset(&host));
        QCOMPARE(d->size(), QSize(498, 146));
        QVERIFY(d->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(d->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(d->titleLabel()->text(), QStringLiteral("重置当前美颜效果？"));
        QVERIFY(d->textLabel()->wordWrap());
        QCOMPARE(d->confirmButton()->text(), QStringLiteral("重置"));
        QCOMPARE(d->confirmButton()->size(), QSize(64, 30));
        QCOMPARE(d->cancelButton()->size(), QSize(64, 30));
        QCOMPARE(d->closeButton()->text(), QStringLiteral("×"));
        QCOMPARE(d->closeButton()->size(), QSize(24, 24));
        QVERIFY(d->findChild<QWidget *>(QStringLiteral("dialogContainer")));
        QCOMPARE(d->overlayHost(), &host);
        QVERIFY(d->overlay());
        QCOMPARE(d->overlay()->parentWidget(), &host);
        QVERIFY(d->overlay()->isHidden());
        QCOMPARE(d->overlay()->size(), host.size());
        QCOMPARE(d->pos(), host.mapToGlobal(QPoint(0, 0)) + QPoint(300, 400));
    }

    void resultOfEachButton_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("result");
        QTest::newRow("confirm") << 0 << 1;
        QTest::newRow("cancel") << 1 << 0;
        QTest::newRow("close") << 2 << 0;
    }
    void resultOfEachButton()
    {
        QFETCH(int, which);
        QFETCH(int, result);
        QWidget host;
        host.resize(800, 600);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        std::unique_ptr<ResetDialog> d(makeReset(&host));
        bool overlayShownDuringExec = false;
        QTimer::singleShot(50, d.get(), [&] {
            overlayShownDuringExec = d->overlay()->isVisible();
            QPushButton *buttons[] = {d->confirmButton(), d->cancelButton(), d->closeButton()};
            QTest::mouseClick(buttons[which], Qt::LeftButton);
        });
        QCOMPARE(d->exec(), result);
        QVERIFY(overlayShownDuringExec);
        QVERIFY(d->overlay()->isHidden());
    }

    void overlayFollowsHostAndWithoutParentDimsAWindow()
    {
        QWidget window;
        window.resize(640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        std::unique_ptr<ResetDialog> d(makeReset(nullptr));
        QCOMPARE(d->overlayHost(), &window);
        d->show();
        QVERIFY(d->overlay()->isVisible());
        window.resize(700, 500);
        QCOMPARE(d->overlay()->size(), QSize(700, 500));
        d->hide();
        QVERIFY(!d->overlay()->isVisible());
        d.reset();
        // The veil goes with the dialog.
        QVERIFY(plainChildren(&window).isEmpty());
    }

    void centresOnAnchorAndFollowsIt()
    {
        QWidget window;
        window.setGeometry(100, 100, 1000, 700);
        auto *view = new QWidget(&window);
        view->setGeometry(50, 40, 800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        std::unique_ptr<ResetDialog> d(makeReset(&window));
        d->setAnchorWidget(view);
        d->show();
        auto expected = [&] {
            const QPoint c = view->mapToGlobal(QPoint(0, 0));
            return QPoint(c.x() + (view->width() - 498) / 2, c.y() + (view->height() - 146) / 2);
        };
        QCOMPARE(d->pos(), expected());
        view->resize(600, 401);
        QCOMPARE(d->pos(), expected());
        d->hide();
    }

    void clampsToTheScreen()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QWidget window;
        window.setGeometry(screen.right() - 300, screen.bottom() - 120, 300, 100);
        auto *view = new QWidget(&window);
        view->setGeometry(0, 0, 300, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        std::unique_ptr<ResetDialog> d(makeReset(&window));
        d->setAnchorWidget(view);
        d->show();
        const QPoint corner = view->mapToGlobal(QPoint(0, 0));
        if (!screen.contains(corner))
            QSKIP("the window was not placed where asked");
        QCOMPARE(d->x(), screen.right() - 498);
        QCOMPARE(d->y(), screen.bottom() - 146);
        d->hide();
    }

    void anchorAndHostMayDieWhileOpen()
    {
        auto *window = new QWidget;
        window->resize(640, 480);
        auto *view = new QWidget(window);
        view->resize(300, 200);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        std::unique_ptr<ResetDialog> d(makeReset(nullptr));
        QCOMPARE(d->overlayHost(), window);
        auto *otherAnchor = new QWidget;
        d->setAnchorWidget(otherAnchor);
        d->show();
        delete otherAnchor;
        QCOMPARE(d->anchorWidget(), nullptr);
        d->centerOnAnchor();
        delete window; // takes the overlay with it
        QCOMPARE(d->overlayHost(), nullptr);
        QCOMPARE(d->overlay(), nullptr);
        d->hide();
        d.reset(); // must not touch the dead host
    }

    void reanchoringMovesTheFilter()
    {
        QWidget window;
        auto *a = new QWidget(&window);
        auto *b = new QWidget(&window);
        window.resize(500, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        std::unique_ptr<ResetDialog> d(makeReset(&window));
        d->setAnchorWidget(a);
        d->setAnchorWidget(b);
        b->setGeometry(0, 0, 498, 146);
        d->show();
        const QPoint atB = d->pos();
        QCOMPARE(atB, b->mapToGlobal(QPoint(0, 0)));
        a->resize(200, 200); // the old anchor no longer moves the dialog
        QCOMPARE(d->pos(), atB);
        d->setAnchorWidget(nullptr);
        d->hide();
    }

    void noticeLook()
    {
        QWidget host;
        ResetDialog d(ResetDialog::noticeTitle(), QStringLiteral("图片尺寸过大"), QString(),
                      ResetDialog::noticeButtonText(), &host);
        ResetDialog::configureAsNotice(d);
        QCOMPARE(d.titleLabel()->text(), QStringLiteral("提示"));
        QCOMPARE(d.cancelButton()->text(), QStringLiteral("我知道了"));
        QCOMPARE(d.confirmButton()->text(), QString());
        QCOMPARE(d.confirmButton()->styleSheet(), QStringLiteral("background-color: #1A1A1A"));
    }
};

QTEST_MAIN(TestResetDialog)
#include "tst_resetdialog.moc"
