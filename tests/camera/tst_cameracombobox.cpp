// The camera and resolution selector: its rows as cameras come and go, the
// resolution grid, the face's width, the wheel, and the delegate's painting.
// Camera access comes from the virtual camera (EFFECTDEMO_VIRTUAL_CAMERA).

#include "CameraComboBox.h"
#include "ComboBoxDelegate.h"
#include "HighLightButton.h"
#include "LogCapture.h"
#include "MoreComboBox.h"
#include "SwitchButton.h"
#include "TransparentCoverWidget.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <filesystem>

namespace {

bool systemHasVideoNodes()
{
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator("/dev", ec))
        if (e.path().filename().string().rfind("video", 0) == 0)
            return true;
    return false;
}

void wheel(QWidget *w, int delta)
{
    QWheelEvent ev(QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &ev);
}

QString buttonAt(QGridLayout *grid, int row, int column)
{
    QLayoutItem *item = grid->itemAtPosition(row, column);
    return item && item->widget() ? static_cast<QPushButton *>(item->widget())->text() : QString();
}

} // namespace

class TestCameraComboBox : public QObject
{
    Q_OBJECT
private slots:
    void init() { qputenv("EFFECTDEMO_VIRTUAL_CAMERA", "1"); }
    void cleanup() { qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA"); }

    void rows_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("face");
        QTest::addColumn<int>("index");
        QTest::newRow("two cameras") << QStringList() << QStringList{"A", "B"} << "A" << 1;
        QTest::newRow("none after two") << QStringList{"A", "B"} << QStringList() << "选择设备" << -1;
        QTest::newRow("a third behind the shown one") << QStringList{"A"} << QStringList{"A", "B", "C"} << "A" << 1;
        QTest::newRow("shown one unplugged") << QStringList{"A", "B"} << QStringList{"B"} << "B" << 1;
    }
    void rows()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, names);
        QFETCH(QString, face);
        QFETCH(int, index);
        CameraComboBox combo(nullptr);
        QVERIFY(combo.mirrorSwitch()->isChecked());
        QCOMPARE(combo.currentIndex(), -1);
        QCOMPARE(combo.lineEdit()->text(), QString("选择设备"));
        if (!before.isEmpty())
            combo.updateDeviceList(before);
        combo.updateDeviceList(names);
        QCOMPARE(combo.count() - CameraComboBox::FixedRows, names.size());
        QCOMPARE(combo.cameraNames(), names);
        QCOMPARE(combo.currentIndex(), index);
        QTRY_COMPARE(combo.lineEdit()->text(), face);
        // The fixed rows keep their order behind the cameras.
        const int n = names.size();
        QVERIFY(combo.itemData(0, ComboBoxDelegate::TitleRole).isValid());
        QVERIFY(combo.itemData(n + 1, ComboBoxDelegate::SeparatorRole).isValid());
        QVERIFY(combo.itemData(n + 3, ComboBoxDelegate::WidgetRole).isValid());
        QVERIFY(combo.itemData(n + 6, ComboBoxDelegate::WidgetRole).isValid());
    }

    // A refill keeps the running camera selected; the same list is skipped.
    void refillKeepsTheRunningCamera()
    {
        CameraComboBox combo(nullptr);
        combo.updateDeviceList({"A", "B"});
        combo.setCurrentIndex(2);
        combo.updateDeviceList({"A", "B", "C"});
        QCOMPARE(combo.cameraNames(), (QStringList{"A", "B", "C"}));
        QCOMPARE(combo.currentText(), QString("B"));

        LogCapture log;
        combo.updateDeviceList({"A", "B", "C"});
        QVERIFY(log.contains("文本未变化，跳过更新:"));
        QCOMPARE(combo.currentText(), QString("B"));
    }

    void resolutionGrid()
    {
        CameraComboBox combo(nullptr);
        QSignalSpy chosen(&combo, &CameraComboBox::signalSetCameraResolution);
        combo.slotUpdateResolutionButton({{1920, 1080}, {1280, 720}, {640, 480}, {320, 240}}, 1);
        QGridLayout *grid = combo.resolutionGrid();
        QCOMPARE(combo.gridColumns(), 3);
        QCOMPARE((QStringList{buttonAt(grid, 0, 0), buttonAt(grid, 0, 1), buttonAt(grid, 0, 2), buttonAt(grid, 1, 0)}),
                 (QStringList{"1920x1080", "1280x720", "640x480", "320x240"}));
        auto *checked = qobject_cast<HighLightButton *>(combo.resolutionButtonGroup()->checkedButton());
        QVERIFY(checked);
        QCOMPARE(checked->text(), QString("1280x720"));
        QVERIFY(checked->isHighlighted());

        static_cast<QPushButton *>(grid->itemAtPosition(0, 2)->widget())->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toSize(), QSize(640, 480));
        QVERIFY(!checked->isHighlighted());

        // A rebuild replaces the buttons; none is checked for index -1.
        QPointer<QWidget> old = grid->itemAtPosition(0, 0)->widget();
        combo.slotUpdateResolutionButton({{800, 600}}, -1);
        QCOMPARE(grid->count(), 1);
        QVERIFY(!combo.resolutionButtonGroup()->checkedButton());
        QTRY_VERIFY(old.isNull());
    }

    void longNameWidensTheFace()
    {
        CameraComboBox combo(nullptr);
        const QString name = "Integrated Camera with a very long product name (USB 3.0)";
        combo.updateDeviceList({name});
        QCOMPARE(combo.width(), combo.fontMetrics().boundingRect(name).width() + 45);
    }

    // A wheel step moves between cameras only, and only with camera access.
    void wheelStaysOnCameras()
    {
        QWidget window;
        auto *combo = new CameraComboBox(&window);
        combo->updateDeviceList({"A", "B"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy activated(combo, QOverload<int>::of(&QComboBox::activated));
        for (int step = 0; step < 6; ++step)
            wheel(combo, -120);
        for (int step = 0; step < 6; ++step)
            wheel(combo, 120);
        QCOMPARE(activated.count(), 2);
        QCOMPARE(activated.at(0).at(0).toInt(), 2);
        QCOMPARE(activated.at(1).at(0).toInt(), 1);
        QCOMPARE(combo->currentIndex(), 1);

        if (systemHasVideoNodes())
            return;
        qunsetenv("EFFECTDEMO_VIRTUAL_CAMERA");
        wheel(combo, -120);
        QCOMPARE(activated.count(), 2);
        QCOMPARE(combo->currentIndex(), 1);
    }

    // The selected camera is drawn green with its tick, the others grey.
    void delegatePaintsTheSelectedRowGreen()
    {
        QListWidget list;
        list.addItem("Camera");
        ComboBoxDelegate delegate;
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 200, 32);
        QCOMPARE(delegate.sizeHint(option, list.model()->index(0, 0)).height(), 32);
        auto greenPixels = [&](bool selected) {
            QImage img(200, 32, QImage::Format_ARGB32);
            img.fill(Qt::black);
            QPainter painter(&img);
            option.state = selected ? QStyle::State_Selected : QStyle::State_None;
            delegate.paint(&painter, option, list.model()->index(0, 0));
            painter.end();
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c(img.pixel(x, y));
                    n += c.green() > 120 && c.green() > c.red() + 60 ? 1 : 0;
                }
            return n;
        };
        QVERIFY(greenPixels(true) > 10);
        QCOMPARE(greenPixels(false), 0);
    }

    void screenshot()
    {
        const QString out = qEnvironmentVariable("EFFECTDEMO_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("set EFFECTDEMO_SCREENSHOT_DIR to save the open selector");
        QWidget window;
        window.setObjectName("shotWindow");
        window.setStyleSheet("QWidget#shotWindow{ background:#000000; }");
        window.resize(420, 480);
        auto *combo = new CameraComboBox(&window);
        combo->move(20, 20);
        combo->updateDeviceList({"Integrated Camera", "USB Video Device"});
        combo->slotUpdateResolutionButton({{1920, 1080}, {1280, 720}, {640, 480}, {320, 240}}, 1);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        combo->showPopup();
        QTest::qWait(300);
        QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 420, 480).save(out + "/camera_selector.png");
        combo->hidePopup();
    }
};

QTEST_MAIN(TestCameraComboBox)
#include "tst_cameracombobox.moc"
