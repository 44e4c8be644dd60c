// Picture validation and normalisation over real files made here: format
// sniffing, the size and pixel limits, the upload and background sequences
// with their notices and log reasons, EXIF orientations in both byte orders,
// and the private folder the normalised pictures go to.

#include "LogCapture.h"
#include "PictureIO.h"
#include "PicturePreparation.h"
#include "PictureTestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

QByteArray paddedTo(QByteArray bytes, int size)
{
    // Bytes after the end-of-image marker are ignored by decoders.
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    return bytes;
}

QByteArray fileBytes(const QString &kind)
{
    const QImage img = markedPicture();
    if (kind == "jpeg") return encode(img, "JPEG");
    if (kind == "png") return encode(img, "PNG");
    if (kind == "webp") return encode(img, "WEBP");
    if (kind == "gif") // Qt writes no GIF: a 2 x 2 picture by hand
        return QByteArray("GIF89a\x02\x00\x02\x00\x80\x00\x00\xFF\x00\x00\x00\x00\xFF"
                          ",\x00\x00\x00\x00\x02\x00\x02\x00\x00\x02\x03\x44\x34\x05\x00;", 36);
    if (kind == "bmp") return encode(img, "BMP");
    if (kind == "tiff") return encode(img, "TIFF");
    if (kind == "ico") return encode(img.scaled(32, 32), "ICO");
    if (kind == "empty") return QByteArray();
    if (kind == "truncated") return encode(img, "JPEG").left(100);
    if (kind == "random") return QByteArray("\x13\x37") + randomBytes(4000);
    if (kind == "limit") return paddedTo(encode(img, "JPEG"), int(picture::kMaxFileBytes));
    if (kind == "over") return paddedTo(encode(img, "JPEG"), int(picture::kMaxFileBytes) + 1);
    if (kind == "huge") return pngDeclaring(60000, 60000);
    return QByteArray();
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode;
}

} // namespace

class TestPictureNormalise : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;     // stands in for the system temporary folder
    QTemporaryDir m_files;   // the user's pictures
    QStringList m_notices;

    QString make(const QString &name, const QString &kind)
    {
        return writeFile(m_files.filePath(name), fileBytes(kind));
    }

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        for (const char *f : {"jpeg", "png", "webp", "gif", "bmp", "tiff", "ico"})
            QVERIFY2(formats.contains(f), f);
        picture::setNoticePresenter([this](const QString &message, QWidget *, bool) { m_notices << message; });
    }

    void init() { m_notices.clear(); }

    void detectors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("lower");
        QTest::newRow("jpeg") << "jpeg" << "JPEG" << "jpeg";
        QTest::newRow("png") << "png" << "PNG" << "png";
        QTest::newRow("webp") << "webp" << "WEBP" << "webp";
        QTest::newRow("gif") << "gif" << "GIF" << "gif";
        QTest::newRow("bmp") << "bmp" << "BMP" << "bmp";
        QTest::newRow("tiff") << "tiff" << "TIFF" << "";
        QTest::newRow("ico") << "ico" << "" << "ico";
        QTest::newRow("empty") << "empty" << "" << "";
        QTest::newRow("random") << "random" << "" << "";
    }
    void detectors()
    {
        QFETCH(QString, kind);
        QFETCH(QString, upper);
        QFETCH(QString, lower);
        const QString path = make("sniff." + kind, kind);
        QCOMPARE(detectImageFormat(path), upper);
        LogCapture log;
        QCOMPARE(detectBackgroundImageFormat(path), lower);
        QCOMPARE(log.contains("文件头部为空:"), kind == "empty");
        QCOMPARE(detectImageFormat(path + ".missing"), QString());
    }

    // The picture to beautify: what is accepted, what is converted, and the
    // notice for each refusal.
    void uploadSequence_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("reason");
        const QString match = "原始图片格式与后缀匹配且为支持格式(";
        const QString other = "原始图片格式与后缀匹配但不是支持格式(";
        const QString mismatch = "原始图片格式与后缀不匹配(实际:";
        QTest::newRow("jpg") << "a.jpg" << "jpeg" << "" << match;
        QTest::newRow("jpeg suffix") << "a.jpeg" << "jpeg" << "" << match;
        QTest::newRow("png") << "a.png" << "png" << "" << match;
        QTest::newRow("png named jpg") << "b.jpg" << "png" << "" << mismatch;
        QTest::newRow("bmp") << "a.bmp" << "bmp" << "" << other;
        QTest::newRow("gif") << "a.gif" << "gif" << "" << other;
        QTest::newRow("webp") << "a.webp" << "webp" << "" << other;
        QTest::newRow("tiff") << "a.tiff" << "tiff" << "" << other;
        QTest::newRow("ico") << "a.ico" << "ico" << "" << "无法检测图片格式，使用原文件";
        QTest::newRow("exactly 5 MB") << "limit.jpg" << "limit" << "" << match;
        QTest::newRow("one byte more") << "over.jpg" << "over" << "文件过大，超过5MB" << "";
        QTest::newRow("0 bytes") << "empty.png" << "empty" << picture::undecodableText() << "";
        QTest::newRow("truncated jpeg") << "cut.jpg" << "truncated" << picture::undecodableText() << "";
        QTest::newRow("random bytes") << "noise.png" << "random" << picture::undecodableText() << "";
        QTest::newRow("60000 x 60000") << "huge.png" << "huge" << picture::tooManyPixelsText() << "";
        QTest::newRow("missing") << "gone.jpg" << "" << "图片打开失败" << "";
    }
    void uploadSequence()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, notice);
        QFETCH(QString, reason);
        const QString path = kind.isEmpty() ? m_files.filePath(name) : make(name, kind);
        LogCapture log;
        const PreparedPicture result = prepareUploadPicture(path);
        QCOMPARE(result.ok, notice.isEmpty());
        QCOMPARE(m_notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        if (!result.ok)
            return;
        QVERIFY2(log.contains(reason), qPrintable(log.lines().join('\n')));
        if (kind == "ico") {
            QCOMPARE(result.finalPath, path);
            return;
        }
        // Every accepted picture ends as an upright PNG in the private folder.
        QCOMPARE(QFileInfo(result.finalPath).absolutePath(), picture::privateTempDir());
        QCOMPARE(detectImageFormat(result.finalPath), QString("PNG"));
        QCOMPARE(QImage(result.finalPath).size(), QImageReader(path).size());
    }

    void backgroundSequence_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("reason");
        const QString unsupported = "图片格式不支持或文件损坏\n检测到的格式: %1";
        QTest::newRow("jpg") << "c.jpg" << "jpeg" << "" << "格式匹配且为PNG/JPG，直接使用原文件";
        QTest::newRow("bmp") << "c.bmp" << "bmp" << "" << "格式不为PNG/JPG（当前: bmp），将转换为PNG格式";
        QTest::newRow("png named jpg") << "d.jpg" << "png" << ""
                                       << "格式不匹配（实际: png, 扩展名: jpg），将转换为PNG格式";
        QTest::newRow("tiff") << "c.tiff" << "tiff" << "" << "无法检测格式，将转换为PNG格式";
        QTest::newRow("one byte more") << "over.jpg" << "over" << "文件过大，超过5MB" << "";
        QTest::newRow("0 bytes") << "empty.png" << "empty" << unsupported.arg("未知格式") << "未知或不受支持的图片格式";
        QTest::newRow("random bytes") << "noise.png" << "random" << unsupported.arg("未知格式") << "所有加载方法都失败了";
        QTest::newRow("truncated jpeg") << "cut.jpg" << "truncated" << unsupported.arg("JPEG") << "尝试以JPEG格式加载...";
        QTest::newRow("60000 x 60000") << "huge.png" << "huge" << picture::tooManyPixelsText() << "";
        QTest::newRow("missing") << "gone.png" << "" << "文件不存在" << "";
    }
    void backgroundSequence()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, notice);
        QFETCH(QString, reason);
        const QString path = kind.isEmpty() ? m_files.filePath(name) : make(name, kind);
        QString previous = make("previous.png", "png");
        LogCapture log;
        const PreparedPicture result = prepareBackgroundPicture(path, &previous);
        QCOMPARE(result.ok, notice.isEmpty());
        QCOMPARE(m_notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        if (!reason.isEmpty())
            QVERIFY2(log.contains(reason), qPrintable(log.lines().join('\n')));
        if (!result.ok)
            return;
        const bool converted = !reason.startsWith("格式匹配");
        // A new conversion deletes the previous one's copy.
        QCOMPARE(QFile::exists(m_files.filePath("previous.png")), !converted);
        QCOMPARE(result.intermediatePath.isEmpty(), !converted);
        QCOMPARE(detectImageFormat(result.finalPath), QString("PNG"));
        QCOMPARE(QImage(result.finalPath).size(), markedPicture().size());
    }

    void orientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        for (int o = 1; o <= 8; ++o) {
            QTest::addRow("%d MM", o) << o << true;
            QTest::addRow("%d II", o) << o << false;
        }
    }
    void orientation()
    {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        const QImage upright = markedPicture();
        const QByteArray jpeg = jpegWithSegment(storedFor(upright, orientation), exifSegment(orientation, bigEndian));
        QCOMPARE(picture::exifOrientation(jpeg), orientation);
        const QString path = writeFile(m_files.filePath("phone.jpg"), jpeg);

        bool rotated = false;
        const QImage image = loadImageUpright(path, &rotated);
        QCOMPARE(rotated, orientation != 1);
        auto near = [](const QImage &img, int x, int y, QRgb want) {
            const QColor got(img.pixel(x, y));
            const QColor ref(want);
            return qAbs(got.red() - ref.red()) < 60 && qAbs(got.green() - ref.green()) < 60
                && qAbs(got.blue() - ref.blue()) < 60;
        };
        auto upright_ = [&](const QImage &img) {
            return img.size() == upright.size() && near(img, 5, 5, qRgb(255, 0, 0))
                && near(img, upright.width() - 6, 5, qRgb(0, 255, 0))
                && near(img, upright.width() / 2, upright.height() - 5, qRgb(0, 0, 255));
        };
        QVERIFY(upright_(image));

        // A PNG carrying the orientation as its "Orientation" text entry.
        QImage tagged = storedFor(upright, orientation);
        tagged.setText("Orientation", QString::number(orientation));
        const QString png = writeFile(m_files.filePath("tagged.png"), encode(tagged, "PNG"));
        const QImage fromText = loadImageUpright(png, &rotated);
        QCOMPARE(rotated, orientation != 1);
        QVERIFY(upright_(fromText));

        // The same picture through the upload comes out upright as a PNG.
        const PreparedPicture prepared = prepareUploadPicture(path);
        QCOMPARE(QImage(prepared.finalPath).size(), upright.size());
    }

    // Only the first IFD of an APP1 "Exif" segment counts: the bytes 01 12
    // elsewhere (picture data, comments) do not turn a picture.
    void exifOnlyFromTheSegment_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        const QByteArray jpeg = encode(markedPicture(), "JPEG");
        QByteArray trap("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 28);
        QByteArray comment("\xFF\xFE", 2);
        comment.append(char(0)).append(char(trap.size() + 2)).append(trap);
        QTest::newRow("comment holding a look-alike") << jpeg.left(2) + comment + jpeg.mid(2) << 1;
        QByteArray badOffset = exifSegment(6, true);
        badOffset[4 + 6 + 4 + 3] = char(0x7F); // first IFD far beyond the segment
        QTest::newRow("IFD beyond the segment") << jpeg.left(2) + badOffset + jpeg.mid(2) << 1;
        QByteArray badOrder = exifSegment(6, true);
        badOrder[4 + 6] = 'X';
        QTest::newRow("unknown byte order") << jpeg.left(2) + badOrder + jpeg.mid(2) << 1;
        QTest::newRow("cut inside the segment") << jpeg.left(2) + exifSegment(6, false).left(12) << 1;
        QTest::newRow("not a JPEG") << encode(markedPicture(), "PNG") + trap << 1;
        QTest::newRow("II after APP0") << jpeg.left(20) + exifSegment(8, false) + jpeg.mid(20) << 8;
    }
    void exifOnlyFromTheSegment()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        QCOMPARE(picture::exifOrientation(bytes), expected);
        if (expected == 1 && QImage::fromData(bytes).size() == markedPicture().size()) {
            bool rotated = true;
            const QString path = writeFile(m_files.filePath("trap.jpg"), bytes);
            const QImage image = loadImageUpright(path, &rotated);
            QVERIFY(!rotated);
            QCOMPARE(image.size(), markedPicture().size());
        }
    }

    void privateFolderAndNaming()
    {
        const QString dir = picture::privateTempDir();
        QVERIFY(dir.startsWith(m_tmp.path()));
        QCOMPARE(modeOf(dir) & 0777, mode_t(0700));
        QVERIFY(S_ISDIR(modeOf(dir)));

        // Loosened permissions are closed again.
        ::chmod(QFile::encodeName(dir).constData(), 0755);
        QCOMPARE(picture::privateTempDir(), dir);
        QCOMPARE(modeOf(dir) & 0777, mode_t(0700));

        // The same source path always gives the same name.
        const QString source = make("same.bmp", "bmp");
        const QString first = prepareUploadPicture(source).finalPath;
        const QString second = prepareUploadPicture(source).finalPath;
        QCOMPARE(first, second);
        QVERIFY(QFileInfo(first).fileName().startsWith("converted_"));

        // A link planted at the target is replaced, its target untouched.
        const QString victim = writeFile(m_files.filePath("victim.txt"), "keep me");
        QFile::remove(first);
        QVERIFY(QFile::link(victim, first));
        QCOMPARE(prepareUploadPicture(source).finalPath, first);
        QVERIFY(!QFileInfo(first).isSymLink());
        QFile v(victim);
        QVERIFY(v.open(QIODevice::ReadOnly));
        QCOMPARE(v.readAll(), QByteArray("keep me"));
    }

    void folderPlantedAsLinkIsRefused()
    {
        QTemporaryDir otherTmp;
        QTemporaryDir elsewhere;
        qputenv("TMPDIR", QFile::encodeName(otherTmp.path()));
        const QString planted = otherTmp.filePath(QStringLiteral("corvaneeffect-%1").arg(::getuid()));
        QVERIFY(QFile::link(elsewhere.path(), planted));
        QCOMPARE(picture::privateTempDir(), QString());
        // Nothing is written; the upload goes on with the file as chosen.
        const QString source = make("keep.jpg", "jpeg");
        QCOMPARE(prepareUploadPicture(source).finalPath, source);
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }

    void declaredSizeBounds_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("within");
        QTest::newRow("16384 side") << QSize(16384, 6000) << true;
        QTest::newRow("16385 side") << QSize(16385, 10) << false;
        QTest::newRow("100 MP") << QSize(10000, 10000) << true;
        QTest::newRow("over 100 MP") << QSize(10001, 10000) << false;
    }
    void declaredSizeBounds()
    {
        QFETCH(QSize, size);
        QFETCH(bool, within);
        QCOMPARE(picture::sizeWithinBounds(size), within);
        const QString path = writeFile(m_files.filePath("declared.png"), pngDeclaring(size.width(), size.height()));
        QCOMPARE(picture::checkDeclaredSize(path), within ? picture::DeclaredSize::Acceptable
                                                          : picture::DeclaredSize::TooLarge);
        if (!within) {
            LogCapture log;
            QVERIFY(loadImageUpright(path, nullptr).isNull());
            QVERIFY(convertImageToPng(path).isEmpty());
        }
    }
};

QTEST_MAIN(TestPictureNormalise)
#include "tst_picturenormalise.moc"
