#include "TeaCipher.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <random>

#include <unistd.h>

namespace zvc {
namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9u;
constexpr int kRounds = 16;
constexpr std::uint32_t kDecryptSum = kDelta * kRounds; // 0xE3779B90 modulo 2^32

constexpr std::uint16_t kDelta16 = 0x325F;
constexpr int kRounds16 = 32;
constexpr std::uint16_t kDecryptSum16 = static_cast<std::uint16_t>(kDelta16 * kRounds16); // 0x4BE0

std::uint32_t loadBE(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8)
           | std::uint32_t(p[3]);
}

void storeBE(std::uint32_t v, std::uint8_t* p)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

struct Key {
    std::uint32_t k[4];
    explicit Key(const std::uint8_t* bytes)
    {
        for (int i = 0; i < 4; ++i)
            k[i] = loadBE(bytes + 4 * i);
    }
};

// A block as its two big-endian words.
struct Block {
    std::uint32_t y = 0;
    std::uint32_t z = 0;

    static Block load(const std::uint8_t* p) { return Block{loadBE(p), loadBE(p + 4)}; }
    void store(std::uint8_t* p) const
    {
        storeBE(y, p);
        storeBE(z, p + 4);
    }
    Block operator^(const Block& o) const { return Block{y ^ o.y, z ^ o.z}; }
};

Block encipher(Block b, const Key& key)
{
    const std::uint32_t* k = key.k;
    std::uint32_t y = b.y, z = b.z, sum = 0;
    for (int r = 0; r < kRounds; ++r) {
        sum += kDelta;
        y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    }
    return Block{y, z};
}

Block decipher(Block b, const Key& key)
{
    const std::uint32_t* k = key.k;
    std::uint32_t y = b.y, z = b.z, sum = kDecryptSum;
    for (int r = 0; r < kRounds; ++r) {
        z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
        y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
        sum -= kDelta;
    }
    return Block{y, z};
}

std::uint8_t randomByte() { return std::uint8_t(xrand() & 0xFF); }

// Serves the padding frame (flag, padding, salt, payload, zero tail) block by
// block, so a large payload is never copied into a second buffer.
class FrameSource {
public:
    FrameSource(const std::uint8_t* payload, std::size_t n) : m_payload(payload), m_n(n)
    {
        const std::size_t pad = paddingCount(n);
        m_header[0] = std::uint8_t((xrand() & 0xF8) | int(pad));
        for (std::size_t i = 1; i <= pad + 2; ++i) // P padding bytes, then 2 salt bytes
            m_header[i] = randomByte();
        m_headerLen = pad + 3;
        m_total = n + kFrameOverhead + pad;
    }

    std::size_t total() const { return m_total; }

    Block block(std::size_t offset) const
    {
        std::uint8_t b[kBlockSize];
        if (offset >= m_headerLen && offset + kBlockSize <= m_headerLen + m_n) {
            std::memcpy(b, m_payload + (offset - m_headerLen), kBlockSize);
        } else {
            for (std::size_t j = 0; j < kBlockSize; ++j) {
                const std::size_t pos = offset + j;
                if (pos < m_headerLen)
                    b[j] = m_header[pos];
                else if (pos - m_headerLen < m_n)
                    b[j] = m_payload[pos - m_headerLen];
                else
                    b[j] = 0;
            }
        }
        return Block::load(b);
    }

private:
    const std::uint8_t* m_payload;
    std::size_t m_n;
    std::uint8_t m_header[kBlockSize + 2] = {};
    std::size_t m_headerLen = 0;
    std::size_t m_total = 0;
};

// Takes deciphered frame blocks, drops flag, padding and salt, copies the
// payload out and checks the zero tail.
class FrameSink {
public:
    FrameSink(std::size_t headerLen, std::size_t payloadLen, std::uint8_t* out)
        : m_headerLen(headerLen), m_n(payloadLen), m_out(out)
    {
    }

    // False as soon as a tail byte is not zero.
    bool put(std::size_t offset, const Block& blk)
    {
        std::uint8_t b[kBlockSize];
        blk.store(b);
        if (offset >= m_headerLen && offset + kBlockSize <= m_headerLen + m_n) {
            std::memcpy(m_out + (offset - m_headerLen), b, kBlockSize);
            return true;
        }
        for (std::size_t j = 0; j < kBlockSize; ++j) {
            const std::size_t pos = offset + j;
            if (pos < m_headerLen)
                continue;
            if (pos - m_headerLen < m_n)
                m_out[pos - m_headerLen] = b[j];
            else if (b[j] != 0)
                return false;
        }
        return true;
    }

private:
    std::size_t m_headerLen;
    std::size_t m_n;
    std::uint8_t* m_out;
};

enum class Mode { One, Two };

void encryptFrame(Mode mode, const std::uint8_t* in, std::size_t inLen, const std::uint8_t* keyBytes,
                  std::uint8_t* out, std::size_t* outLen)
{
    const Key key(keyBytes);
    const FrameSource frame(in, inLen);
    Block prevQ, prevX;
    for (std::size_t off = 0; off < frame.total(); off += kBlockSize) {
        const Block x = frame.block(off) ^ prevQ;
        const Block q = mode == Mode::One ? encipher(x, key) : encipher(x, key) ^ prevX;
        q.store(out + off);
        prevQ = q;
        prevX = x;
    }
    if (outLen)
        *outLen = frame.total();
}

bool decryptFrame(Mode mode, const std::uint8_t* in, std::size_t inLen, const std::uint8_t* keyBytes,
                  std::uint8_t* out, std::size_t* outLen)
{
    if (!in || !keyBytes || !outLen || inLen < 2 * kBlockSize || inLen % kBlockSize != 0)
        return false;
    const Key key(keyBytes);

    Block prevQ, prevX;
    // X[i] = TEA^-1(Q[i] ^ X[i-1]) in mode 2, TEA^-1(Q[i]) in mode 1 (X[-1] = 0).
    auto step = [&](std::size_t off) {
        const Block q = Block::load(in + off);
        const Block x = mode == Mode::One ? decipher(q, key) : decipher(q ^ prevX, key);
        const Block p = x ^ prevQ;
        prevQ = q;
        prevX = x;
        return p;
    };

    const Block first = step(0);
    const std::size_t pad = (first.y >> 24) & 7;
    if (inLen < pad + kFrameOverhead)
        return false;
    const std::size_t payloadLen = inLen - pad - kFrameOverhead;
    if (payloadLen > *outLen || (payloadLen > 0 && !out))
        return false;

    FrameSink sink(pad + 3, payloadLen, out);
    if (!sink.put(0, first))
        return false;
    for (std::size_t off = kBlockSize; off + kBlockSize <= inLen; off += kBlockSize) {
        if (!sink.put(off, step(off)))
            return false;
    }
    *outLen = payloadLen;
    return true;
}

// 16-bit helpers: the right shift must see the sign-extended word.
std::int32_t signExtend16(std::uint16_t v) { return v < 0x8000 ? std::int32_t(v) : std::int32_t(v) - 0x10000; }

std::int32_t arithmeticShift5(std::int32_t v) { return v >= 0 ? v >> 5 : -((-v - 1) >> 5) - 1; }

std::int16_t toInt16(std::uint16_t v) { return std::int16_t(signExtend16(v)); }

std::uint16_t mix16(std::uint16_t word, std::uint16_t sum, std::int16_t ka, std::int16_t kb)
{
    const std::int32_t s = signExtend16(word);
    const std::uint32_t u = std::uint32_t(s);
    const std::uint32_t t = ((u << 4) + std::uint32_t(std::int32_t(ka))) ^ (u + sum)
                            ^ (std::uint32_t(arithmeticShift5(s)) + std::uint32_t(std::int32_t(kb)));
    return std::uint16_t(t & 0xFFFF);
}

} // namespace

void TeaEncryptECB(const std::uint8_t* in, const std::uint8_t* key, std::uint8_t* out)
{
    encipher(Block::load(in), Key(key)).store(out);
}

void TeaDecryptECB(const std::uint8_t* in, const std::uint8_t* key, std::uint8_t* out)
{
    decipher(Block::load(in), Key(key)).store(out);
}

std::size_t paddingCount(std::size_t n) { return (kBlockSize - (n + kFrameOverhead) % kBlockSize) % kBlockSize; }

std::size_t vo_symmetry_encrypt2_len(std::size_t n) { return n + kFrameOverhead + paddingCount(n); }

std::size_t vv_symmetry_encrypt3_len(std::size_t n) { return vo_symmetry_encrypt2_len(n); }

void vo_symmetry_encrypt(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key, std::uint8_t* out,
                         std::size_t* outLen)
{
    encryptFrame(Mode::One, in, inLen, key, out, outLen);
}

bool vo_symmetry_decrypt(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key, std::uint8_t* out,
                         std::size_t* outLen)
{
    return decryptFrame(Mode::One, in, inLen, key, out, outLen);
}

void vo_symmetry_encrypt2(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key, std::uint8_t* out,
                          std::size_t* outLen)
{
    encryptFrame(Mode::Two, in, inLen, key, out, outLen);
}

bool vo_symmetry_decrypt2(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key, std::uint8_t* out,
                          std::size_t* outLen)
{
    return decryptFrame(Mode::Two, in, inLen, key, out, outLen);
}

std::int64_t TeaEncrypt(const std::uint8_t* in, std::size_t length, const std::uint8_t* key, std::uint8_t* out,
                        std::size_t capacity)
{
    if ((!in && length > 0) || !key || !out || capacity < vo_symmetry_encrypt2_len(length))
        return -1;
    std::size_t written = 0;
    vo_symmetry_encrypt2(in, length, key, out, &written);
    return std::int64_t(written);
}

std::int64_t TeaDecrypt(const std::uint8_t* in, std::size_t length, const std::uint8_t* key, std::uint8_t* out,
                        std::size_t capacity)
{
    std::size_t outLen = capacity;
    if (!vo_symmetry_decrypt2(in, length, key, out, &outLen))
        return -1;
    return std::int64_t(outLen);
}

void _4bytesEncryptAFrame(std::int16_t* words, const std::int16_t* key)
{
    std::uint16_t w0 = std::uint16_t(words[0]), w1 = std::uint16_t(words[1]), sum = 0;
    for (int r = 0; r < kRounds16; ++r) {
        sum = std::uint16_t(sum + kDelta16);
        w0 = std::uint16_t(w0 + mix16(w1, sum, key[0], key[1]));
        w1 = std::uint16_t(w1 + mix16(w0, sum, key[2], key[3]));
    }
    words[0] = toInt16(w0);
    words[1] = toInt16(w1);
}

void _4bytesDecryptAFrame(std::int16_t* words, const std::int16_t* key)
{
    std::uint16_t w0 = std::uint16_t(words[0]), w1 = std::uint16_t(words[1]), sum = kDecryptSum16;
    for (int r = 0; r < kRounds16; ++r) {
        w1 = std::uint16_t(w1 - mix16(w0, sum, key[2], key[3]));
        w0 = std::uint16_t(w0 - mix16(w1, sum, key[0], key[1]));
        sum = std::uint16_t(sum - kDelta16);
    }
    words[0] = toInt16(w0);
    words[1] = toInt16(w1);
}

namespace {

std::uint32_t initialSeed()
{
    try {
        std::random_device device;
        return std::uint32_t(device());
    } catch (...) {
        // No entropy device: fall back to the clock and the process id, which
        // still differ between runs.
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return std::uint32_t(ticks) ^ std::uint32_t(std::uint64_t(ticks) >> 32) ^ (std::uint32_t(getpid()) << 16);
    }
}

std::mutex g_randMutex;
bool g_randSeeded = false;
std::uint32_t g_randState = 0;

} // namespace

int xrand()
{
    std::lock_guard<std::mutex> lock(g_randMutex);
    if (!g_randSeeded) {
        g_randState = initialSeed();
        g_randSeeded = true;
    }
    g_randState = g_randState * 214013u + 2531011u;
    return int((g_randState >> 16) & 0x7FFF);
}

} // namespace zvc
