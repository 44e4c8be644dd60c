// Effect pixels against references computed here (CPU trilinear lookups,
// measured statistics), neutral passthrough, and bad resources and values.
#include "EngineTestSupport.h"

#include "velvix/VelvixDll.h"

#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cmath>
#include <functional>

using namespace enginetest;

namespace {

constexpr int kW = 128;
constexpr int kH = 96;

using LutFn = std::function<void(double, double, double, double *)>;

void curveLut(double r, double g, double b, double *out)
{
    out[0] = g * g;
    out[1] = 1.0 - r;
    out[2] = 0.5 * (r + b);
}

// A 64^3 lookup picture in 8 x 8 tiles (blue picks the tile, red runs along x).
QImage tiledLutPicture(const LutFn &fn)
{
    QImage image(512, 512, QImage::Format_RGB888);
    for (int b = 0; b < 64; ++b)
        for (int g = 0; g < 64; ++g)
            for (int r = 0; r < 64; ++r) {
                double o[3];
                fn(r / 63.0, g / 63.0, b / 63.0, o);
                image.setPixel((b % 8) * 64 + r, (b / 8) * 64 + g,
                               qRgb(int(std::lround(o[0] * 255)), int(std::lround(o[1] * 255)),
                                    int(std::lround(o[2] * 255))));
            }
    return image;
}

QByteArray cubeText(int n, const LutFn &fn, const char *domain = nullptr)
{
    QByteArray text = "# test table\nTITLE \"t\"\nLUT_3D_SIZE " + QByteArray::number(n) + "\n";
    if (domain)
        text += domain;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                double o[3];
                fn(r / double(n - 1), g / double(n - 1), b / double(n - 1), o);
                text += QByteArray::number(o[0], 'f', 6) + " " + QByteArray::number(o[1], 'f', 6) + " "
                    + QByteArray::number(o[2], 'f', 6) + "\n";
            }
    return text;
}

// Trilinear lookup of a table of n^3 entries given by `entry`.
void trilinear(int n, const std::function<void(int, int, int, double *)> &entry, const double *in, double *out)
{
    double f[3];
    int i0[3], i1[3];
    for (int k = 0; k < 3; ++k) {
        const double x = std::min(1.0, std::max(0.0, in[k])) * (n - 1);
        i0[k] = std::min(n - 2, int(std::floor(x)));
        i1[k] = i0[k] + 1;
        f[k] = x - i0[k];
    }
    out[0] = out[1] = out[2] = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const int r = corner & 1 ? i1[0] : i0[0];
        const int g = corner & 2 ? i1[1] : i0[1];
        const int b = corner & 4 ? i1[2] : i0[2];
        const double w = (corner & 1 ? f[0] : 1 - f[0]) * (corner & 2 ? f[1] : 1 - f[1]) * (corner & 4 ? f[2] : 1 - f[2]);
        double e[3];
        entry(r, g, b, e);
        for (int k = 0; k < 3; ++k)
            out[k] += w * e[k];
    }
}

QImage applyCpu(const QImage &in, const std::function<void(const double *, double *)> &fn)
{
    QImage out = in.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            const double c[3] = {qRed(p) / 255.0, qGreen(p) / 255.0, qBlue(p) / 255.0};
            double o[3];
            fn(c, o);
            auto q = [](double v) { return std::min(255, std::max(0, int(std::lround(v * 255)))); };
            out.setPixel(x, y, qRgba(q(o[0]), q(o[1]), q(o[2]), qAlpha(p)));
        }
    return out;
}

double gaussianNoise(unsigned &state)
{
    auto uniform = [&state]() {
        state = state * 1664525u + 1013904223u;
        return ((state >> 8) + 0.5) / 16777216.0;
    };
    const double u1 = uniform(), u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

QImage filled(QColor colour)
{
    QImage image(kW, kH, QImage::Format_RGBA8888);
    image.fill(colour);
    return image;
}

double meanSaturation(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum += std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)});
        }
    return sum / (image.width() * image.height());
}

} // namespace

class TestEngineEffects : public QObject {
    Q_OBJECT

private:
    QImage run(const QImage &input)
    {
        const GLuint texture = uploadTexture(m_env.gl, input);
        const int out = m_engine->processTexture(static_cast<int>(texture), input.width(), input.height());
        QImage result;
        if (out > 0)
            result = readTexture(m_env.gl, static_cast<GLuint>(out), input.width(), input.height());
        m_env.gl->glDeleteTextures(1, &texture);
        return result;
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    int lut(const QString &path, int value)
    {
        const QByteArray bytes = path.toUtf8();
        return m_engine->applyEffect("lut", value, bytes.constData(), nullptr);
    }

    // A green-screen package without background: keyed areas come out transparent.
    QString plainPackage()
    {
        QDir(m_dir.path()).mkpath("plain");
        return writeFile("plain/template.json", "{\"type\":\"green_screen\",\"params\":{\"similarity\":50,\"smooth\":10,\"despill\":0,\"corrosion\":0,\"deshadow\":0}}");
    }

    int segmentation(const QString &path, const QByteArray &extra = QByteArray())
    {
        const QByteArray bytes = path.toUtf8();
        return m_engine->applyEffect("segmentation", 0, path.isEmpty() ? nullptr : bytes.constData(),
                                     extra.isEmpty() ? nullptr : extra.constData());
    }

    GlEnvironment m_env;
    velvix::Velvix *m_engine = nullptr;
    QTemporaryDir m_dir;
    QImage m_picture;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
        m_engine = createVelvix("res/", kW, kH);
        QVERIFY(m_engine);
        m_picture = syntheticPicture(kW, kH);
    }

    void cleanupTestCase() { destroyVelvix(&m_engine); }

    void init() { m_engine->clearAllEffects(); }

    void neutralValuesArePassthrough_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("strong");
        QTest::addColumn<int>("neutral");
        const char *names[] = {"beauty.smooth", "beauty.whiten", "beauty.rosy", "beauty.sharpen",
                               "beauty.imageContrastAlpha", "smooth.saturation", "quality.brightness",
                               "quality.contrast", "quality.saturation", "quality.sharpness",
                               "quality.temperature", "quality.tint", "quality.highlights",
                               "quality.shadows", "quality.vignette", "quality.fade", "quality.grain"};
        for (const char *name : names)
            QTest::newRow(name) << QString(name) << 80 << 0;
    }

    void neutralValuesArePassthrough()
    {
        QFETCH(QString, name);
        QFETCH(int, strong);
        QFETCH(int, neutral);
        const QByteArray n = name.toUtf8();
        QCOMPARE(m_engine->applyEffect(n.constData(), strong, nullptr, nullptr), 1);
        QVERIFY2(maxDifference(run(m_picture), m_picture) > 1, "the strong setting should change the picture");
        QCOMPARE(m_engine->applyEffect(n.constData(), neutral, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
    }

    void switchedOffResourcesArePassthrough()
    {
        const QString cube = writeFile("curve.cube", cubeText(9, curveLut));
        QCOMPARE(lut(cube, 100), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) > 1);
        QCOMPARE(lut(cube, 0), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
        QCOMPARE(lut(cube, 100), 1);
        QCOMPARE(m_engine->applyEffect("lut", 100, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);

        QCOMPARE(segmentation(plainPackage()), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) > 1);
        QCOMPARE(segmentation(QString()), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);

        // Later families are switched off without complaint.
        QCOMPARE(m_engine->applyEffect("makeup", 0, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("motion", 0, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
    }

    void clearAllEffectsRemovesEverything()
    {
        QCOMPARE(m_engine->applyEffect("beauty.smooth", 90, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.contrast", 60, nullptr, nullptr), 1);
        QCOMPARE(lut(writeFile("curve2.cube", cubeText(5, curveLut)), 100), 1);
        QCOMPARE(segmentation(plainPackage()), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) > 1);
        QCOMPARE(m_engine->clearAllEffects(), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
    }

    void identityLutsArePassthrough()
    {
        const LutFn identity = [](double r, double g, double b, double *o) { o[0] = r; o[1] = g; o[2] = b; };
        const QString png = m_dir.filePath("identity.png");
        QVERIFY(tiledLutPicture(identity).save(png));
        QCOMPARE(lut(png, 100), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
        QCOMPARE(lut(writeFile("identity.cube", cubeText(17, identity)), 100), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
    }

    void pngLutMatchesTrilinearReference()
    {
        const QImage table = tiledLutPicture(curveLut);
        const QString png = m_dir.filePath("curve.png");
        QVERIFY(table.save(png));
        QCOMPARE(lut(png, 100), 1);
        const QImage want = applyCpu(m_picture, [&](const double *in, double *out) {
            trilinear(64, [&](int r, int g, int b, double *e) {
                const QRgb p = table.pixel((b % 8) * 64 + r, (b / 8) * 64 + g);
                e[0] = qRed(p) / 255.0; e[1] = qGreen(p) / 255.0; e[2] = qBlue(p) / 255.0;
            }, in, out);
        });
        const QImage got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void cubeLutMatchesTrilinearReference()
    {
        // A coarse table makes the interpolation itself visible.
        QCOMPARE(lut(writeFile("curve9.cube", cubeText(9, curveLut)), 100), 1);
        auto entry = [](int r, int g, int b, double *e) { curveLut(r / 8.0, g / 8.0, b / 8.0, e); };
        QImage want = applyCpu(m_picture, [&](const double *in, double *out) { trilinear(9, entry, in, out); });
        QImage got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));

        // Half intensity mixes half of the change in.
        QCOMPARE(lut(m_dir.filePath("curve9.cube"), 50), 1);
        want = applyCpu(m_picture, [&](const double *in, double *out) {
            trilinear(9, entry, in, out);
            for (int k = 0; k < 3; ++k)
                out[k] = 0.5 * in[k] + 0.5 * out[k];
        });
        got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));

        // DOMAIN_MAX 2 halves the input before the lookup.
        QCOMPARE(lut(writeFile("domain.cube", cubeText(9, curveLut, "DOMAIN_MIN 0 0 0\nDOMAIN_MAX 2 2 2\n")), 100), 1);
        want = applyCpu(m_picture, [&](const double *in, double *out) {
            const double half[3] = {in[0] / 2, in[1] / 2, in[2] / 2};
            trilinear(9, entry, half, out);
        });
        got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void filterAfterColourGradeMatchesReference()
    {
        // The grade (contrast, saturation) runs before the filter, and the
        // intensity mixes the filtered colour with the graded one.
        QCOMPARE(lut(writeFile("grade9.cube", cubeText(9, curveLut)), 60), 1);
        QCOMPARE(m_engine->applyEffect("quality.contrast", 40, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.saturation", 30, nullptr, nullptr), 1);
        auto entry = [](int r, int g, int b, double *e) { curveLut(r / 8.0, g / 8.0, b / 8.0, e); };
        auto graded = [](const double *in, double *out) {
            double c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = (in[k] - 0.5) * 1.24 + 0.5;
            const double y = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
            for (int k = 0; k < 3; ++k)
                out[k] = std::min(1.0, std::max(0.0, y + 1.3 * (c[k] - y)));
        };
        QImage want = applyCpu(m_picture, [&](const double *in, double *out) {
            double g[3];
            graded(in, g);
            trilinear(9, entry, g, out);
            for (int k = 0; k < 3; ++k)
                out[k] = 0.4 * g[k] + 0.6 * out[k];
        });
        QImage got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 3, qPrintable(QString::number(maxDifference(got, want))));

        // A change of the grade alone shows at once.
        QCOMPARE(m_engine->applyEffect("quality.contrast", 0, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.saturation", 0, nullptr, nullptr), 1);
        want = applyCpu(m_picture, [&](const double *in, double *out) {
            trilinear(9, entry, in, out);
            for (int k = 0; k < 3; ++k)
                out[k] = 0.4 * in[k] + 0.6 * out[k];
        });
        got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void oneDimensionalCubeMatchesReference()
    {
        QByteArray text = "LUT_1D_SIZE 16\n";
        for (int i = 0; i < 16; ++i) {
            const double x = i / 15.0;
            text += QByteArray::number(x * x, 'f', 6) + " " + QByteArray::number(std::sqrt(x), 'f', 6) + " "
                + QByteArray::number(1 - x, 'f', 6) + "\n";
        }
        QCOMPARE(lut(writeFile("shaper.cube", text), 100), 1);
        auto channel = [](int k, int i) { const double x = i / 15.0; return k == 0 ? x * x : k == 1 ? std::sqrt(x) : 1 - x; };
        const QImage want = applyCpu(m_picture, [&](const double *in, double *out) {
            for (int k = 0; k < 3; ++k) {
                const double x = std::min(1.0, std::max(0.0, in[k])) * 15;
                const int i = std::min(14, int(x));
                out[k] = channel(k, i) + (x - i) * (channel(k, i + 1) - channel(k, i));
            }
        });
        const QImage got = run(m_picture);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void lutFoundThroughFolderAndArchiveName()
    {
        QDir(m_dir.path()).mkpath("pack/inner");
        QVERIFY(tiledLutPicture(curveLut).save(m_dir.filePath("pack/inner/table.png")));
        QCOMPARE(lut(m_dir.filePath("pack"), 100), 1);
        const QImage viaFolder = run(m_picture);
        QCOMPARE(lut(m_dir.filePath("pack.zip"), 100), 1);
        QVERIFY(maxDifference(run(m_picture), viaFolder) <= 1);
        QVERIFY(maxDifference(viaFolder, m_picture) > 10);
    }

    void chromaKeyAndSpill()
    {
        // Left: the key colour; right: a green-cast skin tone next to it.
        QImage input = filled(QColor(0, 255, 0));
        for (int y = 0; y < kH; ++y)
            for (int x = kW / 2; x < kW; ++x)
                input.setPixel(x, y, qRgb(160, 200, 130));
        QCOMPARE(segmentation(plainPackage()), 1);
        QImage out = run(input);
        QCOMPARE(qAlpha(out.pixel(10, 40)), 0);
        QCOMPARE(qAlpha(out.pixel(kW - 10, 40)), 255);
        const QRgb castKept = out.pixel(kW / 2 + 3, 40);
        QVERIFY(qGreen(castKept) - std::max(qRed(castKept), qBlue(castKept)) > 30);

        // Full spill reduction through the parameter event (scaled values).
        velvix::VelvixProperty event(velvix::kPropertyKindScriptEvent,
                                     "event.script.zentasdk.GreenScreenSetGreenParamsV2",
                                     "{\"green_params_v2\":[0.5,0.1,0,1,0]}", true);
        QCOMPARE(m_engine->applyProperty(&event), 1);
        out = run(input);
        const QRgb edge = out.pixel(kW / 2 + 3, 40);
        QVERIFY2(qGreen(edge) - std::max(qRed(edge), qBlue(edge)) <= 2,
                 qPrintable(QString("%1 %2 %3").arg(qRed(edge)).arg(qGreen(edge)).arg(qBlue(edge))));
        QCOMPARE(qAlpha(out.pixel(10, 40)), 0);

        // The raw slider values in the extra information do the same.
        QCOMPARE(segmentation(plainPackage(), "{\"green_params_v2\":[50,10,0,0,0]}"), 1);
        const QRgb undone = run(input).pixel(kW / 2 + 3, 40);
        QVERIFY(qGreen(undone) - std::max(qRed(undone), qBlue(undone)) > 30);
    }

    void customBackgroundFillsKeyedArea()
    {
        QImage input = filled(QColor(0, 255, 0));
        for (int y = 20; y < 60; ++y)
            for (int x = 40; x < 80; ++x)
                input.setPixel(x, y, qRgb(200, 150, 120));
        const QString bg = m_dir.filePath("bg_blue.png");
        QVERIFY(filled(QColor(20, 40, 220)).scaled(300, 100).save(bg));
        const QByteArray extra = QByteArray("{\"bgPath\":\"") + bg.toUtf8() + "\",\"bgType\":\"0\",\"green_params_v2\":[50,10,0,50,0]}";
        QCOMPARE(segmentation(QString(), extra), 1);
        const QImage out = run(input);
        QVERIFY(maxDifference(out.copy(0, 0, 20, 20), filled(QColor(20, 40, 220)).copy(0, 0, 20, 20)) <= 2);
        QVERIFY(maxDifference(out.copy(45, 25, 30, 30), input.copy(45, 25, 30, 30)) <= 2);
        // Cancelling the picture (empty bgPath, no package) switches it off.
        QCOMPARE(segmentation(QString(), "{\"bgPath\":\"\",\"bgType\":\"0\"}"), 1);
        QVERIFY(maxDifference(run(input), input) <= 1);
    }

    void smoothingCleansSkinAndKeepsEdges()
    {
        // Noisy skin patch left of a sharp edge to dark hair.
        const int edge = 80;
        QImage input(kW, kH, QImage::Format_RGBA8888);
        unsigned state = 99;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (x < edge) {
                    const double n = 10.0 * gaussianNoise(state);
                    auto c = [n](int v) { return std::min(255, std::max(0, int(std::lround(v + n)))); };
                    input.setPixel(x, y, qRgb(c(205), c(160), c(135)));
                } else {
                    input.setPixel(x, y, qRgb(45, 32, 28));
                }
            }
        QCOMPARE(m_engine->applyEffect("beauty.smooth", 100, nullptr, nullptr), 1);
        const QImage out = run(input);
        const QRect patch(10, 20, 50, 56);
        const double before = lumaStdDev(input, patch);
        const double after = lumaStdDev(out, patch);
        QVERIFY2(after <= 0.5 * before, qPrintable(QString("noise %1 -> %2").arg(before).arg(after)));
        auto contrast = [&](const QImage &img) {
            return meanLuma(img, QRect(edge - 5, 10, 3, 76)) - meanLuma(img, QRect(edge + 2, 10, 3, 76));
        };
        const double c0 = contrast(input), c1 = contrast(out);
        QVERIFY2(c1 >= 0.9 * c0, qPrintable(QString("edge %1 -> %2").arg(c0).arg(c1)));
    }

    void sharpeningMatchesFourNeighbourReference()
    {
        // Unsharp mask against the mean of the four neighbours (edge pixels
        // repeat at the border), amount 1.2 x value / 100.
        QCOMPARE(m_engine->applyEffect("beauty.sharpen", 50, nullptr, nullptr), 1);
        const QImage in = m_picture.convertToFormat(QImage::Format_RGBA8888);
        QImage want = in;
        auto at = [&](int x, int y) { return in.pixel(std::min(kW - 1, std::max(0, x)), std::min(kH - 1, std::max(0, y))); };
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const QRgb c = at(x, y), l = at(x - 1, y), r = at(x + 1, y), u = at(x, y - 1), d = at(x, y + 1);
                auto channel = [&](int (*get)(QRgb)) {
                    const double around = (get(l) + get(r) + get(u) + get(d)) / 4.0;
                    return std::min(255, std::max(0, int(std::lround(get(c) + 0.6 * (get(c) - around)))));
                };
                want.setPixel(x, y, qRgba(channel(qRed), channel(qGreen), channel(qBlue), qAlpha(c)));
            }
        const QImage got = run(in);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void colourControlsMoveStatistics()
    {
        const QImage base = m_picture;
        const QRect all(0, 0, kW, kH);
        auto with = [&](const char *name, int value) {
            m_engine->clearAllEffects();
            m_engine->applyEffect(name, value, nullptr, nullptr);
            return run(base);
        };
        const double std0 = lumaStdDev(base, all);
        QVERIFY(lumaStdDev(with("quality.contrast", 60), all) > std0 * 1.1);
        QVERIFY(lumaStdDev(with("quality.contrast", -60), all) < std0 * 0.9);
        QVERIFY(lumaStdDev(with("beauty.imageContrastAlpha", 80), all) > std0 * 1.1);
        QVERIFY(lumaStdDev(with("beauty.imageContrastAlpha", -80), all) < std0 * 0.9);

        const double sat0 = meanSaturation(base);
        QVERIFY(meanSaturation(with("quality.saturation", 60)) > sat0 * 1.1);
        QVERIFY(meanSaturation(with("quality.saturation", -60)) < sat0 * 0.9);
        QVERIFY(meanSaturation(with("smooth.saturation", 60)) > sat0 * 1.1);
        QVERIFY(meanSaturation(with("smooth.saturation", -60)) < sat0 * 0.9);

        auto warmth = [&](const QImage &img) { const Rgb m = meanColour(img, all); return m.r - m.b; };
        const double warm0 = warmth(base);
        QVERIFY(warmth(with("quality.temperature", 80)) > warm0 + 5);
        QVERIFY(warmth(with("quality.temperature", -80)) < warm0 - 5);

        const double luma0 = meanLuma(base, all);
        QVERIFY(meanLuma(with("quality.brightness", 60), all) > luma0 + 5);
        QVERIFY(meanLuma(with("quality.brightness", -60), all) < luma0 - 5);

        const QImage skin = filled(QColor(190, 140, 115));
        m_engine->clearAllEffects();
        m_engine->applyEffect("beauty.whiten", 100, nullptr, nullptr);
        QVERIFY(meanLuma(run(skin), all) > meanLuma(skin, all) + 10);

        const QImage grey = filled(QColor(128, 128, 128));
        m_engine->clearAllEffects();
        m_engine->applyEffect("quality.vignette", 100, nullptr, nullptr);
        const QImage vignetted = run(grey);
        QVERIFY(meanLuma(vignetted, QRect(0, 0, 6, 6)) < meanLuma(vignetted, QRect(kW / 2 - 3, kH / 2 - 3, 6, 6)) - 20);
    }

    // Hostile resources fail to apply with a log line saying why, and the
    // engine goes on rendering.
    void hostileResources_data()
    {
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray bomb = pngDeclaring(20000, 20000, 1 << 20);
        QTest::newRow("LUT picture bomb") << "lut" << "bomb.png" << bomb << "refused";
        QTest::newRow("background bomb") << "bg" << "bomb.png" << bomb << "refused";
        const QByteArray table = "LUT_1D_SIZE 2\n0 0 0\n1 1 1\n";
        const char *domains[][2] = {{"infinite min", "DOMAIN_MIN -inf 0 0\nDOMAIN_MAX 1 1 1\n"},
                                    {"nan max", "DOMAIN_MIN 0 0 0\nDOMAIN_MAX nan 1 1\n"},
                                    {"infinite range", "LUT_1D_INPUT_RANGE 0 inf\n"},
                                    {"nan range", "LUT_3D_INPUT_RANGE nan 1\n"},
                                    {"span overflows", "DOMAIN_MIN -3e38 0 0\nDOMAIN_MAX 3e38 1 1\n"},
                                    {"empty span", "DOMAIN_MIN 1 1 1\nDOMAIN_MAX 1 1 1\n"}};
        for (const auto &d : domains)
            QTest::newRow(d[0]) << "lut" << "domain.cube" << QByteArray(d[1]) + table << "";
    }
    void hostileResources()
    {
        QFETCH(QString, effect);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { warnings << text; });
        const QString path = writeFile(file, bytes);
        const int applied = effect == "lut"
            ? lut(path, 100)
            : segmentation(QString(), "{\"bgPath\":\"" + path.toUtf8() + "\",\"bgType\":\"0\"}");
        qInstallMessageHandler(previous);
        QCOMPARE(applied, 0);
        QVERIFY2(warnings.filter(reason).size() == 1 || reason.isEmpty(), qPrintable(warnings.join('\n')));
        QCOMPARE(m_engine->applyEffect("quality.contrast", 60, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) > 1);
    }

    void badResourcesLeaveTheRestWorking()
    {
        QCOMPARE(m_engine->applyEffect("quality.contrast", 60, nullptr, nullptr), 1);
        const QImage contrastOnly = run(m_picture);
        QVERIFY(maxDifference(contrastOnly, m_picture) > 1);

        QCOMPARE(lut(m_dir.filePath("missing.cube"), 100), 0);
        QCOMPARE(lut(writeFile("corrupt.png", QByteArray(3000, '\x42')), 100), 0);
        QImage wrongSize(300, 200, QImage::Format_RGB888);
        wrongSize.fill(Qt::red);
        QVERIFY(wrongSize.save(m_dir.filePath("wrong.png")));
        QCOMPARE(lut(m_dir.filePath("wrong.png"), 100), 0);
        QCOMPARE(lut(writeFile("short.cube", "LUT_3D_SIZE 4\n0 0 0\n1 1 1\n"), 100), 0);
        QCOMPARE(lut(writeFile("nan.cube", "LUT_1D_SIZE 2\nnan 0 0\n1 1 1\n"), 100), 0);
        QCOMPARE(lut(writeFile("text.cube", "LUT_3D_SIZE 2\nhello world\n"), 100), 0);
        QCOMPARE(lut(writeFile("huge.cube", "LUT_3D_SIZE 100000\n"), 100), 0);
        QCOMPARE(lut(writeFile("domain.cube", "LUT_1D_SIZE 2\nDOMAIN_MIN 1 1 1\nDOMAIN_MAX 0 0 0\n0 0 0\n1 1 1\n"), 100), 0);

        QCOMPARE(segmentation(m_dir.filePath("nowhere/template.json")), 0);
        QDir(m_dir.path()).mkpath("broken");
        QCOMPARE(segmentation(writeFile("broken/template.json", "{ not json")), 0);
        QDir(m_dir.path()).mkpath("person");
        QCOMPARE(segmentation(writeFile("person/template.json", "{\"type\":\"person\"}")), 0);
        QCOMPARE(segmentation(QString(), "{\"bgPath\":\"/no/such/picture.png\",\"bgType\":\"0\"}"), 0);
        // Extra information that does not parse fails the call and changes nothing.
        QCOMPARE(segmentation(plainPackage(), "{\"green_params_v2\": [50, oops"), 0);
        QCOMPARE(m_engine->applyEffect("beauty.whiten", 80, nullptr, "{not json"), 0);
        QVERIFY(maxDifference(run(m_picture), contrastOnly) <= 1);
        QCOMPARE(segmentation(QString()), 1);

        QCOMPARE(m_engine->applyEffect("no.such.effect", 10, nullptr, nullptr), 0);
        QCOMPARE(m_engine->applyEffect(nullptr, 10, nullptr, nullptr), 0);
        QCOMPARE(m_engine->applyEffect("", 10, nullptr, nullptr), 0);
        QCOMPARE(m_engine->applyEffect("light.makeup", 40, nullptr, nullptr), 0);

        QCOMPARE(m_engine->applyProperty(nullptr), 0);
        velvix::VelvixProperty empty;
        QCOMPARE(m_engine->applyProperty(&empty), 0);
        velvix::VelvixProperty unknown(6, "event.unknown", "{}", true);
        QCOMPARE(m_engine->applyProperty(&unknown), 0);
        const char *badValues[] = {nullptr, "", "{", "{\"green_params_v2\":\"[nan,1,2,3,4]\"}",
                                   "{\"green_params_v2\":[\"a\",1]}", "{\"green_params_v2\":[]}", "[1,2]"};
        for (const char *value : badValues) {
            velvix::VelvixProperty bad(6, "event.script.zentasdk.GreenScreenSetGreenParamsV2", value, true);
            QCOMPARE(m_engine->applyProperty(&bad), 0);
        }

        // None of this disturbed the working effect.
        QVERIFY(maxDifference(run(m_picture), contrastOnly) <= 1);
    }

    void outOfRangeValuesAreClamped()
    {
        QCOMPARE(m_engine->applyEffect("beauty.smooth", 100, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.temperature", 100, nullptr, nullptr), 1);
        const QImage atMax = run(m_picture);
        QCOMPARE(m_engine->applyEffect("beauty.smooth", INT_MAX, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.temperature", 5000, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), atMax) <= 1);
        QCOMPARE(m_engine->applyEffect("beauty.smooth", INT_MIN, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("quality.temperature", 0, nullptr, nullptr), 1);
        QVERIFY(maxDifference(run(m_picture), m_picture) <= 1);
        // Green parameters far out of range still give a sane key.
        QCOMPARE(m_engine->applyEffect("green_background_v2.corrosion", 99, nullptr, nullptr), 1);
        QCOMPARE(m_engine->applyEffect("green_background_v2.deshadow", -7, nullptr, nullptr), 1);
        QCOMPARE(segmentation(plainPackage()), 1);
        QVERIFY(!run(m_picture).isNull());
    }
};

QTEST_MAIN(TestEngineEffects)
#include "test_engine_effects.moc"
