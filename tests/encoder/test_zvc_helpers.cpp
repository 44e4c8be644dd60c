// ZVCCryptHelper and the zlib/gzip helpers; zlib's own one-shot calls serve
// as the independent side.

#include "Compression.h"
#include "TeaCipher.h"
#include "ZVCCryptHelper.h"
#include "ZvcKey.h"

#include <QtTest>

#include <random>
#include <string>

#include <zlib.h>

using zvc::Bytes;
using zvc::ZVCCryptHelper;

namespace {

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes zlibCompress(const Bytes& in, int level)
{
    uLongf len = compressBound(uLong(in.size()));
    Bytes out(len);
    if (compress2(out.data(), &len, in.data(), uLong(in.size()), level) != Z_OK)
        return {};
    out.resize(len);
    return out;
}

Bytes zlibUncompress(const Bytes& in, std::size_t expected)
{
    uLongf len = uLongf(expected);
    Bytes out(expected);
    if (uncompress(out.data(), &len, in.data(), uLong(in.size())) != Z_OK)
        return {};
    out.resize(len);
    return out;
}

const std::string kJson = R"({"panel":"beauty","items":[{"name":"smooth","value":60},{"name":"whiten","value":30}]})";

} // namespace

class TestZvcHelpers : public QObject {
    Q_OBJECT

private:
    std::mt19937 m_rng{777};

    Bytes randomBytes(std::size_t n)
    {
        Bytes b(n);
        for (auto& c : b)
            c = std::uint8_t(m_rng());
        return b;
    }

    Bytes repetitive(std::size_t n)
    {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i)
            b[i] = std::uint8_t("{\"key\":[1,2,3]}\n"[i % 16]);
        return b;
    }

private slots:
    void keyIsSixteenBytesOfAnEighteenCharacterText()
    {
        const std::string text = zvc::zvcKeyText();
        QCOMPARE(text.size(), std::size_t(18));
        const Bytes key = zvc::zvcKey();
        QCOMPARE(key.size(), std::size_t(16));
        QVERIFY(std::equal(key.begin(), key.end(), text.begin()));
        QCOMPARE(zvc::zvcKeyText(), text); // stable between calls
    }

    void isZipData()
    {
        QVERIFY(!ZVCCryptHelper::isZipData({}));
        QVERIFY(!ZVCCryptHelper::isZipData({0x78}));
        QVERIFY(ZVCCryptHelper::isZipData({0x78, 0x9C}));
        QVERIFY(ZVCCryptHelper::isZipData({0x78, 0x9C, 0x00}));
        QVERIFY(!ZVCCryptHelper::isZipData({0x78, 0x01}));
        QVERIFY(!ZVCCryptHelper::isZipData({0x9C, 0x78}));
        QVERIFY(ZVCCryptHelper::isZipData(zlibCompress(bytesOf(kJson), Z_DEFAULT_COMPRESSION)));
    }

    void roundTripThroughHelper()
    {
        const Bytes key = zvc::zvcKey();
        for (const Bytes& payload : {bytesOf(kJson), randomBytes(1), randomBytes(4099)}) {
            const auto sealed = ZVCCryptHelper::encryptUsingTea(payload, key);
            QVERIFY(sealed);
            QCOMPARE(sealed->size(), zvc::vo_symmetry_encrypt2_len(payload.size()));
            if (ZVCCryptHelper::isZipData(payload))
                continue;
            const auto opened = ZVCCryptHelper::decryptUsingTae(*sealed, key);
            QVERIFY(opened);
            QCOMPARE(*opened, payload);

            // Another key does not open it.
            Bytes otherKey = key;
            otherKey[3] ^= 0x10;
            QVERIFY(!ZVCCryptHelper::decryptUsingTae(*sealed, otherKey));
        }
    }

    void emptyPayloadAndShortKey()
    {
        const Bytes key = zvc::zvcKey();
        const auto sealed = ZVCCryptHelper::encryptUsingTea({}, key);
        QVERIFY(sealed);
        QCOMPARE(sealed->size(), std::size_t(16));
        // An empty payload counts as nothing on the way back.
        QVERIFY(!ZVCCryptHelper::decryptUsingTae(*sealed, key));

        const Bytes shortKey(key.begin(), key.begin() + 15);
        QVERIFY(!ZVCCryptHelper::encryptUsingTea(bytesOf(kJson), shortKey));
        QVERIFY(!ZVCCryptHelper::decryptUsingTae(*ZVCCryptHelper::encryptUsingTea(bytesOf(kJson), key), shortKey));
        QVERIFY(!ZVCCryptHelper::decryptUsingTae({}, key));
    }

    void zlibPayloadIsInflatedOnDecode()
    {
        const Bytes key = zvc::zvcKey();
        const Bytes json = bytesOf(kJson);
        const Bytes packed = zlibCompress(json, Z_DEFAULT_COMPRESSION);
        const auto opened = ZVCCryptHelper::decryptUsingTae(*ZVCCryptHelper::encryptUsingTea(packed, key), key);
        QVERIFY(opened);
        QCOMPARE(*opened, json);

        // A stream at another level has another header and is left as it is.
        const Bytes fast = zlibCompress(json, 1);
        QCOMPARE(int(fast[1]), 0x01);
        QCOMPARE(*ZVCCryptHelper::decryptUsingTae(*ZVCCryptHelper::encryptUsingTea(fast, key), key), fast);

        // Looks like zlib but does not inflate: nothing.
        Bytes broken = packed;
        broken.resize(broken.size() / 2);
        QVERIFY(!ZVCCryptHelper::decryptUsingTae(*ZVCCryptHelper::encryptUsingTea(broken, key), key));
        const Bytes header = {0x78, 0x9C, 0xFF, 0xFF, 0xFF};
        QVERIFY(!ZVCCryptHelper::decryptUsingTae(*ZVCCryptHelper::encryptUsingTea(header, key), key));
    }

    void emptyInputComesBackUnchanged()
    {
        QCOMPARE(*zvc::zlibInflate({}), Bytes());
        QCOMPARE(*zvc::zlibDeflate({}), Bytes());
        QCOMPARE(*zvc::gzipInflate({}), Bytes());
        QCOMPARE(*zvc::gzipDeflate({}), Bytes());
    }

    void zlibRoundTripsAgainstZlib()
    {
        for (const Bytes& data : {Bytes{0x42}, bytesOf(kJson), randomBytes(100000), repetitive(1 << 20),
                                  Bytes(3 << 20, 0)}) {
            const auto packed = zvc::zlibDeflate(data);
            QVERIFY(packed);
            QVERIFY(ZVCCryptHelper::isZipData(*packed));
            QCOMPARE(zlibUncompress(*packed, data.size()), data);

            // Highly compressible data needs the output to grow many times.
            const Bytes reference = zlibCompress(data, Z_DEFAULT_COMPRESSION);
            const auto unpacked = zvc::zlibInflate(reference);
            QVERIFY(unpacked);
            QCOMPARE(*unpacked, data);
            QCOMPARE(*zvc::gzipInflate(reference), data); // zlib header accepted too
        }
    }

    void gzipRoundTrips()
    {
        const Bytes data = repetitive(200000);
        const auto packed = zvc::gzipDeflate(data);
        QVERIFY(packed);
        QVERIFY(packed->size() > 10);
        QCOMPARE(int((*packed)[0]), 0x1F);
        QCOMPARE(int((*packed)[1]), 0x8B);
        QCOMPARE(int((*packed)[2]), 8);
        QCOMPARE(*zvc::gzipInflate(*packed), data);
        // The zlib inflater insists on a zlib header.
        QVERIFY(!zvc::zlibInflate(*packed));
    }

    void damagedStreamsGiveNothing()
    {
        const Bytes data = repetitive(50000);
        const Bytes packed = zlibCompress(data, Z_DEFAULT_COMPRESSION);

        // Every truncation, including the one-byte stream whose growth step
        // would be zero.
        for (std::size_t len : {std::size_t(1), std::size_t(2), std::size_t(5), packed.size() / 2, packed.size() - 1})
            QVERIFY(!zvc::zlibInflate(Bytes(packed.begin(), packed.begin() + len)));

        Bytes corrupt = packed;
        corrupt[corrupt.size() - 2] ^= 0xFF; // Adler-32 checksum
        QVERIFY(!zvc::zlibInflate(corrupt));
        QVERIFY(!zvc::zlibInflate(randomBytes(4000)));
        QVERIFY(!zvc::gzipInflate(randomBytes(4000)));

        const auto gz = zvc::gzipDeflate(data);
        QVERIFY(!zvc::gzipInflate(Bytes(gz->begin(), gz->end() - 4)));
    }

    // The output bound holds at the byte: a stream that inflates to exactly
    // the bound is whole, one byte more is refused.
    void inflateBound_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bound");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("below") << 100000 << 100001 << true;
        QTest::newRow("exactly at") << 100000 << 100000 << true;
        QTest::newRow("one past") << 100001 << 100000 << false;
        QTest::newRow("far past") << 5000000 << 100000 << false;
        QTest::newRow("tiny input, tiny bound") << 1 << 1 << true;
    }
    void inflateBound()
    {
        QFETCH(int, size);
        QFETCH(int, bound);
        QFETCH(bool, accepted);
        const Bytes data = repetitive(std::size_t(size));
        const Bytes packed = zlibCompress(data, 9);
        const auto unpacked = zvc::zlibInflate(packed, std::size_t(bound));
        QCOMPARE(bool(unpacked), accepted);
        if (accepted)
            QVERIFY(*unpacked == data);
        const auto gz = zvc::gzipDeflate(data);
        QCOMPARE(bool(zvc::gzipInflate(*gz, std::size_t(bound))), accepted);
    }
};

QTEST_GUILESS_MAIN(TestZvcHelpers)
#include "test_zvc_helpers.moc"
