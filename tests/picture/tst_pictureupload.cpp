// The picture upload controls and the picture selector, driven through a
// scripted file dialog and real files: what each action emits, in which
// order, which files it leaves behind, and which folder it remembers.

#include "ImageUpLoadButton.h"
#include "ImageUploadComboBox.h"
#include "LogCapture.h"
#include "PicturePreparation.h"
#include "PictureTestFiles.h"
#include "ResetDialog.h"
#include "SegmentationButton.h"
#include "TransparentButton.h"
#include "TransparentCoverWidget.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace testfiles;

class TestPictureUpload : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;
    QTemporaryDir m_files;
    QStringList m_notices;
    QString m_nextChoice;          // what the scripted dialog returns
    QStringList m_dialogFolders;   // the start folders it was given

    QString make(const QString &name, const QByteArray &bytes) { return writeFile(m_files.filePath(name), bytes); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // settings in a scratch scope
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        picture::setNoticePresenter([this](const QString &message, QWidget *, bool) { m_notices << message; });
        picture::setOpenFileDialog([this](QWidget *, const QString &, const QString &folder, const QString &) {
            m_dialogFolders << folder;
            return m_nextChoice;
        });
    }

    void init()
    {
        m_notices.clear();
        m_dialogFolders.clear();
        m_nextChoice.clear();
        QSettings(QStringLiteral("CorvaneEffect"), QStringLiteral("VirtualBackground")).clear();
        ImageUpLoadButton::setLastFolder(QString());
    }

    void cancelledDialogChangesNothing()
    {
        SegmentationButton background(QString(), nullptr);
        ImageUpLoadButton upload(nullptr);
        QSignalSpy bgUp(&background, &SegmentationButton::signalUpLoadCustomImage);
        QSignalSpy bgCancel(&background, &SegmentationButton::signalCancelCustomImage);
        QSignalSpy up(&upload, &ImageUpLoadButton::signalUpLoadCustomImage);
        background.upload();
        upload.upload();
        QCOMPARE(m_dialogFolders.size(), 2);
        QCOMPARE(bgUp.count() + bgCancel.count() + up.count(), 0);
        QVERIFY(!background.hasPicture() && !upload.hasPicture());
        QVERIFY(m_notices.isEmpty());
        QVERIFY(ImageUpLoadButton::lastFolder().isEmpty());
        QVERIFY(!QSettings(QStringLiteral("CorvaneEffect"), QStringLiteral("VirtualBackground")).contains("LastUsedDir"));
    }

    // A background upload: cancel first, then the new picture; the
    // conversion copy is gone once the final PNG exists; the folder persists.
    void backgroundUploadAndRestart()
    {
        auto background = std::make_unique<SegmentationButton>(QString(), nullptr);
        QStringList order;
        connect(background.get(), &SegmentationButton::signalCancelCustomImage, this, [&]() { order << "cancel"; });
        connect(background.get(), &SegmentationButton::signalUpLoadCustomImage, this,
                [&](const QString &p) { order << "upload:" + p; });
        m_nextChoice = make("back.bmp", encode(markedPicture(), "BMP"));
        background->upload();
        QCOMPARE(order.size(), 2);
        QCOMPARE(order.at(0), QString("cancel"));
        const QString finalPath = order.at(1).mid(7);
        QCOMPARE(background->currentPath(), finalPath);
        QCOMPARE(QImage(finalPath).size(), markedPicture().size());
        QVERIFY(background->intermediatePath().isEmpty());
        // Only the final PNG is left in the private folder.
        QCOMPARE(QDir(picture::privateTempDir()).entryList(QDir::Files), QStringList{QFileInfo(finalPath).fileName()});
        QVERIFY(background->hasPicture());
        QVERIFY(background->imageButton()->isVisibleTo(background.get()));
        QVERIFY(!background->addTile()->isVisibleTo(background.get()));

        // Restart: the folder comes back from the settings.
        background.reset();
        SegmentationButton again(QString(), nullptr);
        QCOMPARE(again.lastFolder(), m_files.path());
        m_nextChoice.clear();
        again.upload();
        QCOMPARE(m_dialogFolders.last(), m_files.path());

        // A stored folder that has gone starts in the Pictures folder (or home).
        QSettings(QStringLiteral("CorvaneEffect"), QStringLiteral("VirtualBackground"))
            .setValue("LastUsedDir", m_files.filePath("gone"));
        SegmentationButton stale(QString(), nullptr);
        QCOMPARE(stale.lastFolder(), picture::startFolder(QString()));
        QVERIFY(QFileInfo(stale.lastFolder()).isDir());
        QVERIFY(!stale.lastFolder().startsWith("D:"));
    }

    void deleteLeavesTheAddTile()
    {
        SegmentationButton background(QString(), nullptr);
        m_nextChoice = make("back.jpg", encode(markedPicture(), "JPEG"));
        background.upload();
        QVERIFY(background.hasPicture());
        QSignalSpy cancels(&background, &SegmentationButton::signalCancelCustomImage);
        background.deleteButton()->click();
        QCOMPARE(cancels.count(), 1);
        QVERIFY(!background.hasPicture());
        QVERIFY(background.addTile()->isVisibleTo(&background));
        QVERIFY(!background.imageButton()->isVisibleTo(&background));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(&background, &enter);
        QVERIFY(!background.maskWidget()->isVisibleTo(&background));
    }

    // The folder is remembered before the checks, so a refused file still
    // sets where the next dialog starts.
    void pictureUploadRemembersFolderOnRefusal()
    {
        ImageUpLoadButton upload(nullptr);
        QSignalSpy up(&upload, &ImageUpLoadButton::signalUpLoadCustomImage);
        QByteArray big = encode(markedPicture(), "JPEG");
        big.append(QByteArray(int(picture::kMaxFileBytes), '\0'));
        m_nextChoice = make("big.jpg", big);
        upload.upload();
        QCOMPARE(m_notices, QStringList{"文件过大，超过5MB"});
        QCOMPARE(up.count(), 0);
        QVERIFY(!upload.hasPicture());
        QCOMPARE(ImageUpLoadButton::lastFolder(), m_files.path());

        // Shared by every upload tile of the process.
        ImageUpLoadButton other(nullptr);
        m_nextChoice.clear();
        other.upload();
        QCOMPARE(m_dialogFolders.last(), m_files.path());
    }

    void cancelDeletesThePreparedPicture()
    {
        ImageUpLoadButton upload(nullptr);
        QSignalSpy up(&upload, &ImageUpLoadButton::signalUpLoadCustomImage);
        m_nextChoice = make("pic.png", encode(markedPicture(), "PNG"));
        upload.upload();
        QCOMPARE(up.count(), 1);
        const QString prepared = up.at(0).at(0).toString();
        QCOMPARE(upload.preparedPath(), prepared);
        QVERIFY(upload.imageButton()->isChecked());
        QVERIFY(QFile::exists(prepared));
        upload.cancelButton()->click();
        QVERIFY(!QFile::exists(prepared));
        QVERIFY(QFile::exists(m_nextChoice));
        QVERIFY(!upload.hasPicture() && upload.chosenPath().isEmpty() && upload.preparedPath().isEmpty());
        QVERIFY(upload.addTile()->isVisibleTo(&upload));
    }

    // Demo thumbnails and the uploaded picture: one choice at a time, and
    // going back to the upload resends its path.
    void selectorSwitchesBetweenDemoAndUpload()
    {
        ImageUploadComboBox selector(nullptr);
        QSignalSpy loads(&selector, &ImageUploadComboBox::signalLoadImage);
        m_nextChoice = make("mine.jpg", encode(markedPicture(), "JPEG"));
        selector.uploadTile()->upload();
        QCOMPARE(loads.count(), 1);
        const QString uploaded = loads.last().at(0).toString();

        selector.demoButtons().at(2)->click();
        QCOMPARE(loads.last().at(0).toString(), selector.demoPaths().at(2));
        QVERIFY(QFile::exists(selector.demoPaths().at(2)));
        QCOMPARE(selector.selectedDemoIndex(), 2);
        QVERIFY(!selector.uploadTile()->imageButton()->isChecked());

        selector.uploadTile()->imageButton()->click();
        QCOMPARE(loads.count(), 3);
        QCOMPARE(loads.last().at(0).toString(), uploaded);
        QCOMPARE(selector.selectedDemoIndex(), -1);
        for (QPushButton *demo : selector.demoButtons())
            QVERIFY(!demo->isChecked());
        QVERIFY(selector.uploadTile()->imageButton()->isChecked());
    }

    void disabledSelectorOpensNothing()
    {
        QWidget window;
        auto *selector = new ImageUploadComboBox(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        selector->setUploadEnabled(false);
        QCOMPARE(selector->coverWidget()->cursor().shape(), Qt::ForbiddenCursor);
        QVERIFY(selector->caption()->styleSheet().contains("rgba(255, 255, 255, 0.4)"));
        QTest::mouseClick(selector->coverWidget(), Qt::LeftButton);
        QVERIFY(!selector->view()->isVisible());
        selector->setUploadEnabled(true);
        QCOMPARE(selector->coverWidget()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(selector->coverWidget(), Qt::LeftButton);
        QTRY_VERIFY(selector->view()->isVisible());
        selector->hidePopup();
    }

    // The real notice: over the window named "MainWindow", title and button
    // of the notice, the message as given.
    void noticeOverTheMainWindow()
    {
        picture::setNoticePresenter(nullptr);
        QWidget main;
        main.setObjectName("MainWindow");
        main.resize(400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QString title, text, button;
        QWidget *parent = nullptr;
        QTimer::singleShot(50, [&]() {
            auto *dialog = qobject_cast<ResetDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->titleLabel()->text();
            text = dialog->textLabel()->text();
            button = dialog->cancelButton()->text();
            parent = dialog->parentWidget();
            dialog->cancelButton()->click();
        });
        m_nextChoice = make("noise.png", randomBytes(100).prepend("xx"));
        ImageUpLoadButton upload(nullptr);
        upload.upload();
        picture::setNoticePresenter([this](const QString &message, QWidget *, bool) { m_notices << message; });
        QCOMPARE(title, QString("提示"));
        QCOMPARE(button, QString("我知道了"));
        QCOMPARE(text, picture::undecodableText());
        QCOMPARE(parent, &main);
    }

    // Opens the selector's popup and saves it, for looking at.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("EFFECTDEMO_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("set EFFECTDEMO_SCREENSHOT_DIR to save the open selector");
        QWidget window;
        window.setObjectName("shotWindow");
        window.setStyleSheet("QWidget#shotWindow{ background:#333; }");
        window.resize(760, 420);
        auto *selector = new ImageUploadComboBox(&window);
        selector->move(20, 20);
        // Below the popup: an empty background slot and one with its hover mask.
        auto *emptySlot = new SegmentationButton(QString(), &window);
        emptySlot->move(20, 270);
        auto *fullSlot = new SegmentationButton(QCoreApplication::applicationDirPath()
                                                    + "/res/demoImage/demo_image1.jpg", &window);
        fullSlot->move(270, 270);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        m_nextChoice = make("shot.jpg", encode(QImage(QCoreApplication::applicationDirPath()
                                                      + "/res/demoImage/demo_image2.jpg"), "JPEG"));
        selector->uploadTile()->upload();
        selector->demoButtons().at(0)->click();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(fullSlot, &enter);
        selector->showPopup();
        QTest::qWait(300);
        QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 760, 420).save(out + "/picture_selector.png");
        selector->hidePopup();
    }
};

QTEST_MAIN(TestPictureUpload)
#include "tst_pictureupload.moc"
