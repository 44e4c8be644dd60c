// velvix-render end to end: a successful render and every failure exit.
#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "PictureTestFiles.h"

class TestVelvixRender : public QObject {
    Q_OBJECT

private:
    int render(const QStringList &args, QString *stderrText = nullptr)
    {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + "/velvix-render", args);
        if (!process.waitForFinished(60000))
            return -1;
        if (stderrText)
            *stderrText = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    QString write(const QString &name, const QByteArray &text)
    {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }

    QTemporaryDir m_dir;
    QString m_input;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QImage picture(64, 40, QImage::Format_RGB32);
        picture.fill(QColor(180, 120, 90));
        m_input = m_dir.filePath("in.png");
        QVERIFY(picture.save(m_input));
    }

    void rendersShippedFilterAndBeauty()
    {
        const QString effects = write("ok.json",
            "[{\"effectName\":\"beauty.smooth\",\"effectValue\":60,\"resourcePath\":\"\",\"extraInfo\":{}},"
            " {\"effectName\":\"lut\",\"effectValue\":100,\"resourcePath\":\"lut/warm.png\"},"
            " {\"effectName\":\"quality.temperature\",\"effectValue\":50}]");
        const QString out = m_dir.filePath("out.png");
        QString err;
        QCOMPARE(render({"--input", m_input, "--effects", effects, "--output", out}, &err), 0);
        const QImage result(out);
        QCOMPARE(result.size(), QSize(64, 40));
        const QRgb p = result.pixel(30, 20);
        // The warm filter and temperature push red up and blue down.
        QVERIFY2(qRed(p) > 180 && qBlue(p) < 90, qPrintable(QString("%1 %2 %3").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p))));
    }

    void failuresExitWithAMessage()
    {
        const QString out = m_dir.filePath("never.png");
        const QString good = write("empty.json", "[]");
        QString err;
        QCOMPARE(render({"--input", m_input}, &err), 1);
        QCOMPARE(render({"--input", m_dir.filePath("missing.png"), "--effects", good, "--output", out}, &err), 2);
        QVERIFY(err.contains("cannot read the picture"));
        QCOMPARE(render({"--input", m_input, "--effects", write("bad.json", "{\"x\":"), "--output", out}, &err), 2);
        QCOMPARE(render({"--input", m_input, "--effects", write("obj.json", "{}"), "--output", out}, &err), 2);
        QCOMPARE(render({"--input", m_input, "--effects", good, "--output", out, "--resources", m_dir.filePath("nope")}, &err), 2);
        QCOMPARE(render({"--input", m_input, "--effects", write("unknown.json", "[{\"effectName\":\"no.such\",\"effectValue\":5}]"), "--output", out}, &err), 4);
        QVERIFY(err.contains("no.such"));
        QCOMPARE(render({"--input", m_input, "--effects", write("badlut.json", "[{\"effectName\":\"lut\",\"effectValue\":100,\"resourcePath\":\"lut/none.cube\"}]"), "--output", out}, &err), 4);
        QCOMPARE(render({"--input", m_input, "--effects", good, "--output", m_dir.filePath("no/such/dir/out.png")}, &err), 5);
        QVERIFY(!QFile::exists(out));
    }

    // A phone photo: JPEG behind a misleading suffix, EXIF orientation 6 in
    // little-endian order. It comes out upright; a header declaring a huge
    // size is refused before decoding.
    void phonePhotoComesOutUpright()
    {
        const QImage upright = testfiles::markedPicture();
        const QString phone = write("phone.png", testfiles::jpegWithSegment(testfiles::storedFor(upright, 6),
                                                                         testfiles::exifSegment(6, false)));
        const QString out = m_dir.filePath("upright.png");
        QString err;
        QCOMPARE(render({"--input", phone, "--effects", write("none.json", "[]"), "--output", out}, &err), 0);
        const QImage result = QImage(out).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(result.size(), upright.size());
        QVERIFY(qRed(result.pixel(5, 5)) > 180 && qBlue(result.pixel(5, 5)) < 80);
        QVERIFY(qGreen(result.pixel(upright.width() - 6, 5)) > 180);

        const QString huge = write("huge.png", testfiles::pngDeclaring(60000, 60000));
        QCOMPARE(render({"--input", huge, "--effects", write("none.json", "[]"), "--output", out}, &err), 6);
        QVERIFY(err.contains("60000"));
    }
};

QTEST_GUILESS_MAIN(TestVelvixRender)
#include "test_velvix_render.moc"
