// 3D stickers with the real face tracker on the demo portraits: a marker at
// the glasses' bridge follows a shifted and a turned picture and is drawn
// once on each of two faces; the head proxy hides what lies behind the head;
// value 0, no face and switching back to "no sticker" leave frames
// untouched; every shipped package draws; bad packages and meshes log one
// line and change nothing.
#include "EngineTestSupport.h"
#include "MatImage.h"

#include "velvix/VelvixDll.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace enginetest;
using namespace velvix;

namespace {

cv::Mat changed(const QImage &a, const QImage &b)
{
    cv::Mat diff;
    cv::absdiff(matOf(a), matOf(b), diff);
    std::vector<cv::Mat> channels;
    cv::split(diff, channels);
    return cv::max(cv::max(channels[0], channels[1]), channels[2]) > 12;
}

cv::Point2d centroid(const cv::Mat &mask)
{
    const cv::Moments m = cv::moments(mask, true);
    return m.m00 > 0 ? cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) : cv::Point2d(-1000, -1000);
}

// An OBJ ellipsoid (smooth normals) around `centre` in the head frame.
QByteArray ellipsoidObj(cv::Point3d centre, cv::Point3d radii)
{
    QByteArray obj;
    const int rings = 10, segments = 16;
    for (int r = 0; r <= rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const double t = M_PI * (0.001 + 0.998 * r / rings), p = 2 * M_PI * s / segments;
            const cv::Point3d n(std::sin(t) * std::cos(p), -std::cos(t), std::sin(t) * std::sin(p));
            obj += QByteArray("v ") + QByteArray::number(centre.x + radii.x * n.x) + ' '
                   + QByteArray::number(centre.y + radii.y * n.y) + ' ' + QByteArray::number(centre.z + radii.z * n.z)
                   + "\nvn " + QByteArray::number(n.x) + ' ' + QByteArray::number(n.y) + ' '
                   + QByteArray::number(n.z) + '\n';
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const int a = r * segments + s + 1, b = r * segments + (s + 1) % segments + 1;
            const int c = a + segments, d = b + segments;
            obj += QStringLiteral("f %1//%1 %2//%2 %3//%3\nf %2//%2 %4//%4 %3//%3\n").arg(a).arg(b).arg(c).arg(d).toUtf8();
        }
    }
    return obj;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

int g_logLines = 0;
QtMessageHandler g_previousHandler = nullptr;
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Velvix: 3D sticker package not used")))
        ++g_logLines;
    g_previousHandler(type, context, message);
}

const QByteArray kMarkerTemplate = R"({"type": "3d", "parts": [{"mesh": "m.obj", "colour": [0, 1, 0]}]})";

} // namespace

class TestEngineSticker3d : public QObject {
    Q_OBJECT

    GlEnvironment m_env;
    Velvix *m_engine = nullptr;
    int m_width = 0;
    int m_height = 0;
    QTemporaryDir m_dir;

    QImage run(const QImage &picture)
    {
        if (picture.width() != m_width || picture.height() != m_height) {
            m_engine->resizeOutput(picture.width(), picture.height());
            m_width = picture.width();
            m_height = picture.height();
        }
        const GLuint input = uploadTexture(m_env.gl, picture);
        const int output = m_engine->processTexture(static_cast<int>(input), picture.width(), picture.height());
        QImage result = output > 0 ? readTexture(m_env.gl, static_cast<GLuint>(output), picture.width(), picture.height())
                                   : QImage();
        m_env.gl->glDeleteTextures(1, &input);
        return result;
    }

    int apply(const char *name, int value, const QString &path)
    {
        const QByteArray bytes = path.toUtf8();
        return m_engine->applyEffect(name, value, path.isEmpty() ? nullptr : bytes.constData(), nullptr);
    }

    // A package of one mesh; returns its folder.
    QString package(const QString &name, const QByteArray &templateText, const QByteArray &obj)
    {
        const QString folder = m_dir.path() + '/' + name;
        QDir().mkpath(folder);
        writeFile(folder + "/template.json", templateText);
        writeFile(folder + "/m.obj", obj);
        return folder;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(appDir() + "/res/models/facemesh.onnx"))
            QSKIP("face models not set up (scripts/models/setup_models.py)");
        QVERIFY(m_dir.isValid());
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
        m_engine = createVelvix(resPath(QString()).toUtf8().constData(), 512, 512);
        QVERIFY(m_engine);
        m_width = m_height = 512;
        g_previousHandler = qInstallMessageHandler(countingHandler);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previousHandler);
        destroyVelvix(&m_engine);
    }

    void init() { m_engine->clearAllEffects(); }

    void anchorFollowsTheHead_data()
    {
        QTest::addColumn<double>("shift");  // pixels to the right
        QTest::addColumn<double>("angle");  // degrees about the picture's centre, counter-clockwise
        QTest::addColumn<double>("tolerance");
        QTest::newRow("shifted 50 px") << 50.0 << 0.0 << 2.0;
        QTest::newRow("turned 20 degrees") << 0.0 << 20.0 << 3.0;
    }

    void anchorFollowsTheHead()
    {
        QFETCH(double, shift);
        QFETCH(double, angle);
        QFETCH(double, tolerance);
        // A 5 mm marker where the glasses' bridge sits.
        const QString marker = package("marker", kMarkerTemplate, ellipsoidObj({0, -36, 8}, {5, 5, 5}));
        QCOMPARE(apply("motion3d", 100, marker), 1);
        const QImage picture = demoPicture("demo_image1.jpg");
        const cv::Point2d before = centroid(changed(run(picture), picture));
        QVERIFY(before.x > 150 && before.x < 300 && before.y > 60 && before.y < 160);

        const cv::Point2f pivot(256, 256);
        cv::Mat moved = cv::getRotationMatrix2D(pivot, angle, 1.0);
        moved.at<double>(0, 2) += shift;
        cv::Mat warped;
        cv::warpAffine(matOf(picture), warped, moved, cv::Size(512, 512), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                       cv::Scalar(0, 0, 0, 255));
        const QImage movedPicture = imageOf(warped);
        const cv::Point2d after = centroid(changed(run(movedPicture), movedPicture));
        const cv::Point2d expected(moved.at<double>(0, 0) * before.x + moved.at<double>(0, 1) * before.y + moved.at<double>(0, 2),
                                   moved.at<double>(1, 0) * before.x + moved.at<double>(1, 1) * before.y + moved.at<double>(1, 2));
        QVERIFY2(cv::norm(after - expected) < tolerance,
                 qPrintable(QStringLiteral("(%1, %2) -> (%3, %4), expected (%5, %6)").arg(before.x).arg(before.y)
                                .arg(after.x).arg(after.y).arg(expected.x).arg(expected.y)));
    }

    void oneMarkerPerFace()
    {
        const QString marker = package("marker", kMarkerTemplate, ellipsoidObj({0, -36, 8}, {5, 5, 5}));
        QCOMPARE(apply("motion3d", 100, marker), 1);
        cv::Mat both;
        cv::hconcat(matOf(demoPicture("demo_image1.jpg")), matOf(demoPicture("demo_image2.jpg"))(cv::Rect(0, 0, 512, 512)), both);
        const QImage picture = imageOf(both);
        cv::Mat labels;
        QCOMPARE(cv::connectedComponents(changed(run(picture), picture), labels) - 1, 2);
    }

    void headProxyHidesWhatIsBehindTheHead_data()
    {
        QTest::addColumn<bool>("proxy");
        QTest::newRow("with the head proxy") << true;
        QTest::newRow("without it") << false;
    }

    void headProxyHidesWhatIsBehindTheHead()
    {
        QFETCH(bool, proxy);
        // A plate 150 mm behind the nose tip (where a hat's back would be),
        // well inside the head's outline as the camera sees it.
        const QByteArray plate = "v -35 -70 150\nv 35 -70 150\nv 35 10 150\nv -35 10 150\nvn 0 0 -1\n"
                                 "f 1//1 2//1 3//1\nf 1//1 3//1 4//1\n";
        const QByteArray text = QByteArray(R"({"type": "3d", "headProxy": )") + (proxy ? "true" : "false")
                                + R"(, "parts": [{"mesh": "m.obj", "colour": [1, 0, 0]}]})";
        QCOMPARE(apply("motion3d", 100, package(proxy ? "plate_hidden" : "plate_shown", text, plate)), 1);
        const QImage picture = demoPicture("demo_image1.jpg");
        const cv::Mat drawn = changed(run(picture), picture);
        // Between the eyes, where the plate lies as the camera sees it.
        const int middle = cv::countNonZero(drawn(cv::Rect(218, 92, 20, 20)));
        if (proxy)
            QCOMPARE(cv::countNonZero(drawn), 0);
        else
            QCOMPARE(middle, 400);
    }

    void untouchedFrames_data()
    {
        QTest::addColumn<QString>("setting");  // effect:value:package, applied in order, ';' between
        QTest::addColumn<bool>("face");
        QTest::newRow("value 0") << "motion3d:0:motion3d/glasses" << true;
        QTest::newRow("no face") << "motion3d:100:motion3d/top_hat" << false;
        QTest::newRow("motion without a package") << "motion:0:motion3d/crown;motion:0:" << true;
        QTest::newRow("2D package after a 3D one") << "motion:0:motion3d/cap;motion:0:motion/nonexistent" << true;
    }

    void untouchedFrames()
    {
        QFETCH(QString, setting);
        QFETCH(bool, face);
        for (const QString &step : setting.split(';')) {
            const QStringList parts = step.split(':');
            apply(parts[0].toUtf8().constData(), parts[1].toInt(), parts[2].isEmpty() ? QString() : resPath(parts[2]));
        }
        const QImage picture = face ? demoPicture("demo_image2.jpg")
                                    : syntheticPicture(320, 240).convertToFormat(QImage::Format_RGBA8888);
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }

    void shippedPackagesDraw_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"glasses", "top_hat", "crown", "cat_ears", "half_mask", "cap"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void shippedPackagesDraw()
    {
        QFETCH(QString, name);
        g_logLines = 0;
        QCOMPARE(apply("motion", 0, resPath("motion3d/" + name)), 1);
        QCOMPARE(g_logLines, 0);
        const QImage picture = demoPicture("demo_image2.jpg");
        const int count = cv::countNonZero(changed(run(picture), picture));
        QVERIFY2(count > 800, qPrintable(QString::number(count)));
    }

    void badPackagesLogOneLineAndChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("text");  // template.json; empty: none
        QTest::addColumn<QByteArray>("obj");   // m.obj
        const QByteArray triangle = "v 0 0 0\nv 10 0 0\nv 0 10 0\nvn 0 0 -1\nf 1//1 2//1 3//1\n";
        const QByteArray ok = kMarkerTemplate;
        QByteArray tooMany;
        for (int i = 0; i < 200001; ++i)
            tooMany += "v 0 0 0\n";
        QTest::newRow("missing") << QByteArray() << triangle;
        QTest::newRow("not json") << QByteArray("{\"type\": \"3d\", \"parts\": [") << triangle;
        QTest::newRow("not 3d") << QByteArray(R"({"parts": [{"mesh": "m.obj"}]})") << triangle;
        QTest::newRow("no parts") << QByteArray(R"({"type": "3d", "parts": []})") << triangle;
        QTest::newRow("mesh outside") << QByteArray(R"({"type": "3d", "parts": [{"mesh": "../m.obj"}]})") << triangle;
        QTest::newRow("texture missing")
            << QByteArray(R"({"type": "3d", "parts": [{"mesh": "m.obj", "texture": "t.png"}]})") << triangle;
        QTest::newRow("opacity") << QByteArray(R"({"type": "3d", "parts": [{"mesh": "m.obj", "opacity": 0}]})")
                                 << triangle;
        QTest::newRow("quad") << ok << QByteArray("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1 4//1\n");
        QTest::newRow("index out of range") << ok << QByteArray("v 0 0 0\nvn 0 0 1\nf 1//1 2//1 3//1\n");
        QTest::newRow("no normal") << ok << QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1 2 3\n");
        QTest::newRow("not a number") << ok << QByteArray("v 0 nan 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n");
        QTest::newRow("unknown statement") << ok << (triangle + "curv 0 1 2\n");
        QTest::newRow("too many vertices") << ok << (tooMany + "vn 0 0 1\nf 1//1 2//1 3//1\n");
        QTest::newRow("file too large") << ok << (triangle + QByteArray(9 * 1024 * 1024, '#'));
    }

    void badPackagesLogOneLineAndChangeNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, obj);
        QTemporaryDir dir;
        const QString folder = dir.path() + "/bad";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/m.obj", obj));
        QVERIFY(writeFile(dir.path() + "/m.obj", obj));
        if (!text.isEmpty())
            QVERIFY(writeFile(folder + "/template.json", text));
        // A good package first: a bad one switches it off.
        QCOMPARE(apply("motion3d", 100, resPath("motion3d/glasses")), 1);
        g_logLines = 0;
        QCOMPARE(apply("motion3d", 100, folder), 0);
        QCOMPARE(g_logLines, 1);
        const QImage picture = demoPicture("demo_image1.jpg");
        QCOMPARE(maxDifference(run(picture), picture), 0);
    }
};

QTEST_MAIN(TestEngineSticker3d)
#include "test_engine_sticker3d.moc"
