#include "PixelConversion.h"
#include "ReferenceI420.h"

#include <QtTest>

#include <random>

// The vector converters against the per-pixel reference, byte for byte, over
// sizes that exercise whole vector groups, row tails and odd edges.
class TestPixelConversion : public QObject
{
    Q_OBJECT

    enum Kind { Bgrx, Rgb24, Yuyv };

    static void check(Kind kind, int w, int h, int fill)
    {
        const int bpp = kind == Bgrx ? 4 : kind == Rgb24 ? 3 : 2;
        std::vector<uint8_t> src(size_t(w) * h * bpp);
        std::mt19937 rng(uint32_t(w * 131 + h * 7 + kind));
        for (auto &b : src)
            b = fill < 0 ? uint8_t(rng()) : uint8_t(fill);

        std::vector<uint8_t> out = reference::blank(w, h);
        std::vector<uint8_t> expected;
        switch (kind) {
        case Bgrx:
            pixelconv::bgrxToI420(src.data(), w, h, out.data());
            expected = reference::packedToI420(src.data(), w, h, 4, 2, 1, 0);
            break;
        case Rgb24:
            pixelconv::rgb24ToI420(src.data(), w, h, out.data());
            expected = reference::packedToI420(src.data(), w, h, 3, 0, 1, 2);
            break;
        case Yuyv:
            pixelconv::yuyvToI420(src.data(), w, h, out.data());
            expected = reference::yuyvToI420(src.data(), w, h);
            break;
        }
        QCOMPARE(out.size(), pixelconv::i420Size(w, h));
        const auto mismatch = std::mismatch(out.begin(), out.end(), expected.begin());
        if (mismatch.first != out.end()) {
            const auto at = mismatch.first - out.begin();
            QFAIL(qPrintable(QStringLiteral("kind %1 size %2x%3: byte %4 is %5, expected %6")
                                 .arg(int(kind))
                                 .arg(w)
                                 .arg(h)
                                 .arg(at)
                                 .arg(int(*mismatch.first))
                                 .arg(int(*mismatch.second))));
        }
    }

private slots:
    void matchesReference_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("fill");
        const QSize sizes[] = {{1280, 720}, {1920, 1080}, {640, 480}, {16, 2}, {32, 4}, {17, 9}, {50, 3}, {63, 4}, {96, 2},
                               {33, 7},     {47, 5},      {1, 1},     {2, 2},  {15, 3}, {3, 1}};
        const char *names[] = {"bgrx", "rgb24", "yuyv"};
        for (int kind = 0; kind < 3; ++kind) {
            for (const QSize &s : sizes) {
                QTest::newRow(qPrintable(QStringLiteral("%1 %2x%3").arg(names[kind]).arg(s.width()).arg(s.height())))
                    << kind << s.width() << s.height() << -1;
            }
            // Extremes of every channel: the formulas never leave 16..240.
            QTest::newRow(qPrintable(QStringLiteral("%1 black").arg(names[kind]))) << kind << 64 << 4 << 0;
            QTest::newRow(qPrintable(QStringLiteral("%1 white").arg(names[kind]))) << kind << 64 << 4 << 255;
        }
    }
    void matchesReference()
    {
        QFETCH(int, kind);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, fill);
        check(Kind(kind), w, h, fill);
    }

    void knownColours()
    {
        // White, black and pure primaries in BGRX, as a broadcast engineer
        // would quote them for BT.601 studio swing.
        std::vector<uint8_t> src = {255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0,
                                    255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0};
        std::vector<uint8_t> out = reference::blank(4, 2);
        pixelconv::bgrxToI420(src.data(), 4, 2, out.data());
        QCOMPARE(int(out[0]), 235); // white
        QCOMPARE(int(out[1]), 16);  // black
        QCOMPARE(int(out[2]), 82);  // red
        QCOMPARE(int(out[3]), 144); // green
        QCOMPARE(int(out[8]), 128); // U of white
        QCOMPARE(int(out[10]), 128); // V of white
        QCOMPARE(int(out[9]), 90);  // U of red
        QCOMPARE(int(out[11]), 240); // V of red
    }

    void nothingHappensOnBadInput()
    {
        std::vector<uint8_t> out(8, 0xAB);
        pixelconv::bgrxToI420(nullptr, 2, 2, out.data());
        uint8_t px[16] = {};
        pixelconv::rgb24ToI420(px, 0, 2, out.data());
        pixelconv::yuyvToI420(px, 2, -1, out.data());
        QVERIFY(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xAB; }));
        QCOMPARE(pixelconv::i420Size(0, 5), size_t(0));
    }
};

QTEST_APPLESS_MAIN(TestPixelConversion)
#include "tst_pixelconversion.moc"
