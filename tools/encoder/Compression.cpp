#include "Compression.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <zlib.h>

namespace zvc {
namespace {

constexpr int kZlibWindowBits = MAX_WBITS;        // 15: zlib header
constexpr int kAutoHeaderWindowBits = MAX_WBITS + 32; // 47: zlib or gzip header
constexpr int kGzipWindowBits = MAX_WBITS + 16;   // 31: gzip header
constexpr std::size_t kDeflateStep = 16384;

uInt clampToUInt(std::size_t n) { return uInt(std::min<std::size_t>(n, UINT_MAX)); }

std::optional<Bytes> inflateWith(const Bytes& data, int windowBits, std::size_t maxOutput)
{
    if (data.empty())
        return data;

    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK)
        return std::nullopt;

    // Start at one and a half times the input and grow by at least half the
    // input (one byte for a one-byte input, so the loop cannot stall), and by
    // half the buffer once that is more, so a large output is not copied over
    // and over; never past maxOutput.
    const std::size_t step = std::max<std::size_t>(data.size() / 2, 1);
    // One byte of room past the bound tells a stream that ends exactly there
    // from one that goes on.
    const std::size_t room = maxOutput == SIZE_MAX ? maxOutput : maxOutput + 1;
    Bytes out(std::min(data.size() + step, room));
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (outPos == out.size()) {
            if (out.size() >= room) {
                inflateEnd(&zs);
                return std::nullopt;
            }
            out.resize(std::min(out.size() + std::max(step, out.size() / 2), room));
        }
        zs.next_in = const_cast<Bytef*>(data.data() + inPos);
        zs.avail_in = clampToUInt(data.size() - inPos);
        zs.next_out = out.data() + outPos;
        zs.avail_out = clampToUInt(out.size() - outPos);
        const uInt inBefore = zs.avail_in;
        const uInt outBefore = zs.avail_out;

        status = inflate(&zs, Z_SYNC_FLUSH);
        inPos += inBefore - zs.avail_in;
        outPos += outBefore - zs.avail_out;

        if (status == Z_STREAM_END)
            break;
        // Z_BUF_ERROR means no progress was possible: with room left in the
        // output that is a truncated stream.
        const bool needsRoom = zs.avail_out == 0;
        const bool stalled = status == Z_BUF_ERROR || inPos == data.size();
        if ((status != Z_OK && status != Z_BUF_ERROR) || (!needsRoom && stalled)) {
            inflateEnd(&zs);
            return std::nullopt;
        }
    }
    if (inflateEnd(&zs) != Z_OK || outPos > maxOutput)
        return std::nullopt;
    out.resize(outPos);
    return out;
}

std::optional<Bytes> deflateWith(const Bytes& data, bool gzipHeader)
{
    if (data.empty())
        return data;

    z_stream zs{};
    const int setup = gzipHeader ? deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                                                Z_DEFAULT_STRATEGY)
                                 : deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    if (setup != Z_OK)
        return std::nullopt;

    Bytes out(kDeflateStep);
    std::size_t inPos = 0;
    std::size_t outPos = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (outPos == out.size())
            out.resize(out.size() + kDeflateStep);
        zs.next_in = const_cast<Bytef*>(data.data() + inPos);
        zs.avail_in = clampToUInt(data.size() - inPos);
        zs.next_out = out.data() + outPos;
        zs.avail_out = clampToUInt(out.size() - outPos);
        const uInt inBefore = zs.avail_in;
        const uInt outBefore = zs.avail_out;
        // Finish only once the last input chunk is handed over.
        const bool last = data.size() - inPos <= UINT_MAX;
        status = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
        inPos += inBefore - zs.avail_in;
        outPos += outBefore - zs.avail_out;
        const bool stalled = status == Z_BUF_ERROR && zs.avail_out != 0;
        if ((status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) || stalled) {
            deflateEnd(&zs);
            return std::nullopt;
        }
    }
    deflateEnd(&zs);
    out.resize(outPos);
    return out;
}

} // namespace

std::optional<Bytes> zlibInflate(const Bytes& data, std::size_t maxOutput)
{
    return inflateWith(data, kZlibWindowBits, maxOutput);
}

std::optional<Bytes> gzipInflate(const Bytes& data, std::size_t maxOutput)
{
    return inflateWith(data, kAutoHeaderWindowBits, maxOutput);
}

std::optional<Bytes> zlibDeflate(const Bytes& data) { return deflateWith(data, false); }

std::optional<Bytes> gzipDeflate(const Bytes& data) { return deflateWith(data, true); }

} // namespace zvc
