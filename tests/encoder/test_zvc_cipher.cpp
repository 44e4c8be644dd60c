// Block cipher, padding frame and 16-bit variant, checked against reference
// implementations written here from the published TEA description.

#include "TeaCipher.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <set>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace ref {

// Published TEA with a round count; v and k as host-order words.
void teaEncrypt(std::uint32_t v[2], const std::uint32_t k[4], int rounds)
{
    std::uint32_t v0 = v[0], v1 = v[1], sum = 0;
    const std::uint32_t delta = 0x9e3779b9;
    for (int i = 0; i < rounds; i++) {
        sum += delta;
        v0 += ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
        v1 += ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
    }
    v[0] = v0;
    v[1] = v1;
}

void teaDecrypt(std::uint32_t v[2], const std::uint32_t k[4], int rounds)
{
    std::uint32_t v0 = v[0], v1 = v[1];
    const std::uint32_t delta = 0x9e3779b9;
    std::uint32_t sum = delta * std::uint32_t(rounds);
    for (int i = 0; i < rounds; i++) {
        v1 -= ((v0 << 4) + k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k[3]);
        v0 -= ((v1 << 4) + k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k[1]);
        sum -= delta;
    }
    v[0] = v0;
    v[1] = v1;
}

std::uint32_t wordAt(const std::uint8_t* p)
{
    std::uint32_t w = 0;
    for (int j = 0; j < 4; ++j)
        w = w * 256u + p[j];
    return w;
}

void putWord(std::uint32_t w, std::uint8_t* p)
{
    for (int j = 3; j >= 0; --j) {
        p[j] = std::uint8_t(w % 256u);
        w /= 256u;
    }
}

std::array<std::uint8_t, 8> block16(const std::uint8_t* in, const std::uint8_t* key, bool encrypt)
{
    std::uint32_t k[4], v[2] = {wordAt(in), wordAt(in + 4)};
    for (int i = 0; i < 4; ++i)
        k[i] = wordAt(key + 4 * i);
    if (encrypt)
        teaEncrypt(v, k, 16);
    else
        teaDecrypt(v, k, 16);
    std::array<std::uint8_t, 8> out{};
    putWord(v[0], out.data());
    putWord(v[1], out.data() + 4);
    return out;
}

// The padding frame laid out by hand: flag, P padding bytes, 2 salt bytes,
// payload, 7 zeros.
Bytes frame(const Bytes& payload, std::uint8_t flagHigh, std::uint8_t fill, int forcedPad = -1)
{
    const std::size_t n = payload.size();
    std::size_t pad = 0;
    while ((n + 10 + pad) % 8 != 0)
        ++pad;
    Bytes f;
    f.push_back(std::uint8_t((flagHigh & 0xF8) | (forcedPad >= 0 ? forcedPad : int(pad))));
    for (std::size_t i = 0; i < pad + 2; ++i)
        f.push_back(fill);
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), 7, 0);
    return f;
}

// Mode 2 over an already laid-out frame (length a multiple of 8).
Bytes chain2(const Bytes& plain, const std::uint8_t* key)
{
    Bytes out(plain.size());
    std::array<std::uint8_t, 8> prevQ{}, prevX{};
    for (std::size_t off = 0; off < plain.size(); off += 8) {
        std::array<std::uint8_t, 8> x{};
        for (int j = 0; j < 8; ++j)
            x[j] = plain[off + j] ^ prevQ[j];
        const auto t = block16(x.data(), key, true);
        for (int j = 0; j < 8; ++j)
            out[off + j] = t[j] ^ prevX[j];
        std::copy(out.begin() + off, out.begin() + off + 8, prevQ.begin());
        prevX = x;
    }
    return out;
}

Bytes unchain2(const Bytes& cipher, const std::uint8_t* key)
{
    Bytes out(cipher.size());
    std::array<std::uint8_t, 8> prevQ{}, prevX{};
    for (std::size_t off = 0; off < cipher.size(); off += 8) {
        std::array<std::uint8_t, 8> in{};
        for (int j = 0; j < 8; ++j)
            in[j] = cipher[off + j] ^ prevX[j];
        const auto x = block16(in.data(), key, false);
        for (int j = 0; j < 8; ++j)
            out[off + j] = x[j] ^ prevQ[j];
        std::copy(cipher.begin() + off, cipher.begin() + off + 8, prevQ.begin());
        prevX = x;
    }
    return out;
}

Bytes unchain1(const Bytes& cipher, const std::uint8_t* key)
{
    Bytes out(cipher.size());
    std::array<std::uint8_t, 8> prevQ{};
    for (std::size_t off = 0; off < cipher.size(); off += 8) {
        const auto x = block16(cipher.data() + off, key, false);
        for (int j = 0; j < 8; ++j)
            out[off + j] = x[j] ^ prevQ[j];
        std::copy(cipher.begin() + off, cipher.begin() + off + 8, prevQ.begin());
    }
    return out;
}

// 16-bit variant in plain int arithmetic: right shift as floor division.
int floorDiv32(int x) { return x >= 0 ? x / 32 : -((-x + 31) / 32); }

int wrap16(int x)
{
    x &= 0xFFFF;
    return x >= 0x8000 ? x - 0x10000 : x;
}

void fourBytes(std::int16_t* w, const std::int16_t* k, bool encrypt)
{
    int y = w[0], z = w[1];
    const int delta = 0x325F;
    int sum = encrypt ? 0 : wrap16(delta * 32);
    for (int i = 0; i < 32; ++i) {
        if (encrypt) {
            sum = wrap16(sum + delta);
            y = wrap16(y + (((z * 16) + k[0]) ^ (z + sum) ^ (floorDiv32(z) + k[1])));
            z = wrap16(z + (((y * 16) + k[2]) ^ (y + sum) ^ (floorDiv32(y) + k[3])));
        } else {
            z = wrap16(z - (((y * 16) + k[2]) ^ (y + sum) ^ (floorDiv32(y) + k[3])));
            y = wrap16(y - (((z * 16) + k[0]) ^ (z + sum) ^ (floorDiv32(z) + k[1])));
            sum = wrap16(sum - delta);
        }
    }
    w[0] = std::int16_t(y);
    w[1] = std::int16_t(z);
}

} // namespace ref

class TestZvcCipher : public QObject {
    Q_OBJECT

private:
    std::mt19937 m_rng{12345};
    const std::uint8_t m_key[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                    0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};

    Bytes randomBytes(std::size_t n, bool nonZero = false)
    {
        Bytes b(n);
        for (auto& c : b)
            c = std::uint8_t(nonZero ? 1 + m_rng() % 255 : m_rng() % 256);
        return b;
    }

    Bytes encrypt2(const Bytes& payload)
    {
        Bytes out(zvc::vo_symmetry_encrypt2_len(payload.size()));
        const auto n = zvc::TeaEncrypt(payload.data(), payload.size(), m_key, out.data(), out.size());
        if (n != std::int64_t(out.size()))
            return {};
        return out;
    }

    // Deciphers into a buffer of exactly `capacity` bytes.
    std::int64_t decrypt2(const Bytes& cipher, std::size_t capacity, Bytes* payload = nullptr)
    {
        Bytes out(capacity);
        const auto n = zvc::TeaDecrypt(cipher.data(), cipher.size(), m_key, out.data(), out.size());
        if (payload && n >= 0)
            *payload = Bytes(out.begin(), out.begin() + n);
        return n;
    }

private slots:
    void referenceMatchesPublishedVector()
    {
        // Guards the reference itself: the published 32-round result for an
        // all-zero key and block.
        std::uint32_t v[2] = {0, 0};
        const std::uint32_t k[4] = {0, 0, 0, 0};
        ref::teaEncrypt(v, k, 32);
        QCOMPARE(v[0], 0x41EA3A0Au);
        QCOMPARE(v[1], 0x94BAA940u);
    }

    void ecbBlocksAreBigEndianSixteenRounds()
    {
        for (int round = 0; round < 200; ++round) {
            const Bytes key = randomBytes(16);
            const Bytes plain = randomBytes(8);
            std::uint8_t got[8];
            zvc::TeaEncryptECB(plain.data(), key.data(), got);
            const auto want = ref::block16(plain.data(), key.data(), true);
            QVERIFY(std::equal(want.begin(), want.end(), got));

            std::uint8_t back[8];
            zvc::TeaDecryptECB(got, key.data(), back);
            QVERIFY(std::equal(plain.begin(), plain.end(), back));
        }

        // A fixed vector, and proof that 16 rounds are not the 32-round standard.
        const std::uint8_t zero[16] = {};
        std::uint8_t got[8];
        zvc::TeaEncryptECB(zero, zero, got);
        const auto want = ref::block16(zero, zero, true);
        QVERIFY(std::equal(want.begin(), want.end(), got));
        const std::uint8_t standard[8] = {0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40};
        QVERIFY(!std::equal(standard, standard + 8, got));

        // Encrypting in place works.
        Bytes inPlace = randomBytes(8);
        const auto expected = ref::block16(inPlace.data(), m_key, true);
        zvc::TeaEncryptECB(inPlace.data(), m_key, inPlace.data());
        QVERIFY(std::equal(expected.begin(), expected.end(), inPlace.begin()));
    }

    void lengthRule()
    {
        QCOMPARE(zvc::paddingCount(1), std::size_t(5));
        QCOMPARE(zvc::vo_symmetry_encrypt2_len(1), std::size_t(16));
        QCOMPARE(zvc::paddingCount(6), std::size_t(0));
        QCOMPARE(zvc::vo_symmetry_encrypt2_len(6), std::size_t(16));
        QCOMPARE(zvc::paddingCount(7), std::size_t(7));
        QCOMPARE(zvc::vo_symmetry_encrypt2_len(7), std::size_t(24));
        QCOMPARE(zvc::vo_symmetry_encrypt2_len(0), std::size_t(16));
        for (std::size_t n = 0; n <= 200; ++n) {
            const std::size_t len = zvc::vo_symmetry_encrypt2_len(n);
            QCOMPARE(zvc::vv_symmetry_encrypt3_len(n), len);
            QCOMPARE(len % 8, std::size_t(0));
            QVERIFY(len >= 16);
            QVERIFY(len >= n + 10 && len < n + 18);
        }
    }

    void outputHasTheFrameLayout()
    {
        // Deciphered by the reference, the output of both modes is the frame:
        // flag with P in its low bits, padding, salt, payload, zero tail.
        for (std::size_t n : {0, 1, 6, 7, 13, 64, 1000}) {
            const Bytes payload = randomBytes(n);
            const std::size_t pad = zvc::paddingCount(n);
            for (int mode = 1; mode <= 2; ++mode) {
                Bytes cipher(zvc::vo_symmetry_encrypt2_len(n));
                std::size_t written = 0;
                if (mode == 1)
                    zvc::vo_symmetry_encrypt(payload.data(), n, m_key, cipher.data(), &written);
                else
                    zvc::vo_symmetry_encrypt2(payload.data(), n, m_key, cipher.data(), &written);
                QCOMPARE(written, cipher.size());
                const Bytes plain = mode == 1 ? ref::unchain1(cipher, m_key) : ref::unchain2(cipher, m_key);
                QCOMPARE(std::size_t(plain[0] & 7), pad);
                QVERIFY(std::equal(payload.begin(), payload.end(), plain.begin() + 3 + pad));
                QVERIFY(std::all_of(plain.end() - 7, plain.end(), [](std::uint8_t b) { return b == 0; }));
            }
        }
    }

    void decodesReferenceFrames()
    {
        for (std::size_t n : {1, 6, 7, 30, 257}) {
            const Bytes payload = randomBytes(n);
            const Bytes cipher = ref::chain2(ref::frame(payload, 0xA8, 0x5A), m_key);
            Bytes got;
            QCOMPARE(decrypt2(cipher, cipher.size(), &got), std::int64_t(n));
            QCOMPARE(got, payload);
        }
    }

    void roundTripsBothModes()
    {
        std::vector<std::size_t> sizes;
        for (std::size_t n = 0; n <= 64; ++n)
            sizes.push_back(n);
        for (std::size_t n : {255, 4096, 65539, 1 << 20})
            sizes.push_back(n);

        for (std::size_t n : sizes) {
            const Bytes payload = randomBytes(n);
            const std::size_t len = zvc::vo_symmetry_encrypt2_len(n);

            const Bytes c2 = encrypt2(payload);
            QCOMPARE(c2.size(), len);
            Bytes got;
            QCOMPARE(decrypt2(c2, n, &got), std::int64_t(n)); // exact capacity suffices
            QCOMPARE(got, payload);

            Bytes c1(len);
            std::size_t written = 0;
            zvc::vo_symmetry_encrypt(payload.data(), n, m_key, c1.data(), &written);
            QCOMPARE(written, len);
            Bytes out(n);
            std::size_t outLen = out.size();
            QVERIFY(zvc::vo_symmetry_decrypt(c1.data(), c1.size(), m_key, out.data(), &outLen));
            QCOMPARE(outLen, n);
            QCOMPARE(out, payload);

            // A mode-1 stream is not a mode-2 stream (beyond the first block).
            if (len > 16)
                QCOMPARE(decrypt2(c1, len), std::int64_t(-1));
        }
    }

    void encryptRefusesSmallOutput()
    {
        const Bytes payload = randomBytes(20);
        Bytes out(zvc::vo_symmetry_encrypt2_len(20) - 1);
        QCOMPARE(zvc::TeaEncrypt(payload.data(), payload.size(), m_key, out.data(), out.size()), std::int64_t(-1));
    }

    void rejectsBadLengths()
    {
        for (std::size_t len : {0, 1, 8, 15, 20, 23, 33}) {
            const Bytes cipher = randomBytes(len);
            QCOMPARE(decrypt2(cipher, 64), std::int64_t(-1));
            Bytes out(64);
            std::size_t outLen = out.size();
            QVERIFY(!zvc::vo_symmetry_decrypt(cipher.data(), cipher.size(), m_key, out.data(), &outLen));
        }
    }

    void flippedBitInLastBlockFailsTailCheck()
    {
        for (std::size_t n : {1, 6, 7, 40}) {
            const Bytes cipher = encrypt2(randomBytes(n));
            for (std::size_t bit = 0; bit < 64; ++bit) {
                Bytes bad = cipher;
                bad[bad.size() - 8 + bit / 8] ^= std::uint8_t(1u << (bit % 8));
                QCOMPARE(decrypt2(bad, bad.size()), std::int64_t(-1));
            }
        }
    }

    void truncatedOrExtendedInputFails()
    {
        // Non-zero payload bytes, so a shifted tail cannot look like zeros.
        const Bytes payload = randomBytes(40, true);
        const Bytes cipher = encrypt2(payload);
        QCOMPARE(cipher.size(), std::size_t(56));
        for (std::size_t cut : {8, 16, 24, 32, 40}) {
            const Bytes shorter(cipher.begin(), cipher.end() - cut);
            QCOMPARE(decrypt2(shorter, shorter.size()), std::int64_t(-1));
        }
        Bytes longer = cipher;
        longer.insert(longer.end(), 8, 0x00);
        QCOMPARE(decrypt2(longer, longer.size()), std::int64_t(-1));
    }

    void wrongPaddingOrTailFails()
    {
        // 16-byte frame whose flag claims P = 7: the payload length would be
        // negative.
        QCOMPARE(decrypt2(ref::chain2(ref::frame({}, 0, 0x11, 7), m_key), 64), std::int64_t(-1));
        // A well-formed frame with one non-zero tail byte.
        for (std::size_t pos = 1; pos <= 7; ++pos) {
            Bytes f = ref::frame(randomBytes(9), 0x40, 0x22);
            f[f.size() - pos] = 1;
            QCOMPARE(decrypt2(ref::chain2(f, m_key), 64), std::int64_t(-1));
        }
    }

    void capacityIsNeverExceeded()
    {
        // The output buffers are exactly the capacity: an overrun would be an
        // AddressSanitizer report, a lenient check a wrong result.
        const Bytes payload = randomBytes(100);
        const Bytes cipher = encrypt2(payload);
        QCOMPARE(decrypt2(cipher, 99), std::int64_t(-1));
        QCOMPARE(decrypt2(cipher, 0), std::int64_t(-1));
        QCOMPARE(decrypt2(cipher, 100), std::int64_t(100));

        Bytes out(99);
        std::size_t outLen = out.size();
        Bytes c1(cipher.size());
        std::size_t written = 0;
        zvc::vo_symmetry_encrypt(payload.data(), payload.size(), m_key, c1.data(), &written);
        QVERIFY(!zvc::vo_symmetry_decrypt(c1.data(), c1.size(), m_key, out.data(), &outLen));

        // Random ciphertext with a tight buffer never reports more than it may.
        for (int i = 0; i < 2000; ++i) {
            const Bytes junk = randomBytes(16 + 8 * (m_rng() % 4));
            const std::size_t cap = m_rng() % 24;
            const auto n = decrypt2(junk, cap);
            QVERIFY(n == -1 || (n >= 0 && std::size_t(n) <= cap));
        }
    }

    void sameInputGivesDifferentOutput()
    {
        const Bytes payload = randomBytes(7);
        std::set<Bytes> seen;
        std::set<int> flagHighBits;
        for (int i = 0; i < 64; ++i) {
            const Bytes cipher = encrypt2(payload);
            seen.insert(cipher);
            flagHighBits.insert(ref::unchain2(cipher, m_key)[0] & 0xF8);
            Bytes got;
            QCOMPARE(decrypt2(cipher, cipher.size(), &got), std::int64_t(7));
            QCOMPARE(got, payload);
        }
        QCOMPARE(seen.size(), std::size_t(64));
        QVERIFY(flagHighBits.size() > 4);
    }

    void xrandStaysInRange()
    {
        std::set<int> values;
        for (int i = 0; i < 20000; ++i) {
            const int v = zvc::xrand();
            QVERIFY(v >= 0 && v <= 32767);
            values.insert(v);
        }
        QVERIFY(values.size() > 10000);
    }

    void sixteenBitVariantMatchesReference()
    {
        for (int i = 0; i < 5000; ++i) {
            std::int16_t key[4], words[2], expected[2];
            for (auto& k : key)
                k = std::int16_t(int(m_rng() % 65536) - 32768);
            for (int j = 0; j < 2; ++j)
                words[j] = expected[j] = std::int16_t(int(m_rng() % 65536) - 32768);
            const std::int16_t original[2] = {words[0], words[1]};

            ref::fourBytes(expected, key, true);
            zvc::_4bytesEncryptAFrame(words, key);
            QCOMPARE(words[0], expected[0]);
            QCOMPARE(words[1], expected[1]);

            ref::fourBytes(expected, key, false);
            QCOMPARE(expected[0], original[0]);
            zvc::_4bytesDecryptAFrame(words, key);
            QCOMPARE(words[0], original[0]);
            QCOMPARE(words[1], original[1]);
        }
    }
};

QTEST_GUILESS_MAIN(TestZvcCipher)
#include "test_zvc_cipher.moc"
