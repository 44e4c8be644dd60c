// The engine's bounded picture decoding: sizes are judged from the header,
// before any pixel is decoded.
#include "EngineTestSupport.h"
#include "ImageDecode.h"

#include <QTemporaryDir>
#include <QtTest>

class TestImageDecode : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

private Q_SLOTS:
    void limits_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("ordinary") << QSize(1920, 1080) << true;
        QTest::newRow("16384 on a side") << QSize(16384, 1) << true;
        QTest::newRow("16385 on a side") << QSize(1, 16385) << false;
        QTest::newRow("exactly 100 MP") << QSize(10000, 10000) << true;
        QTest::newRow("just over 100 MP") << QSize(10000, 10001) << false;
        QTest::newRow("empty") << QSize(0, 10) << false;
        QTest::newRow("int overflow") << QSize(65536, 65536) << false;
    }
    void limits()
    {
        QFETCH(QSize, size);
        QFETCH(bool, allowed);
        QCOMPARE(velvix::pictureSizeAllowed(size), allowed);
    }

    // The bomb would need 1.6 GB decoded; it is refused from its header with
    // a reason that names the size. A picture that lies in bounds decodes.
    void decodesOnlyWhatFits()
    {
        QString error;
        QVERIFY(velvix::decodePicture(write("bomb.png", enginetest::pngDeclaring(20000, 20000)), &error).isNull());
        QVERIFY2(error.contains("20000 x 20000") && error.contains("refused"), qPrintable(error));

        QImage small(40, 30, QImage::Format_RGB32);
        small.fill(Qt::green);
        QVERIFY(small.save(m_dir.filePath("small.png")));
        error.clear();
        const QImage decoded = velvix::decodePicture(m_dir.filePath("small.png"), &error);
        QCOMPARE(decoded.size(), QSize(40, 30));
        QVERIFY(error.isEmpty());

        QVERIFY(velvix::decodePicture(write("junk.png", QByteArray(500, 'j')), &error).isNull());
        QVERIFY(error.startsWith("not a readable picture"));
        QVERIFY(velvix::decodePicture(m_dir.filePath("missing.png"), &error).isNull());
    }
};

QTEST_GUILESS_MAIN(TestImageDecode)
#include "test_image_decode.moc"
