#include "PixelConversion.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#  include <immintrin.h>
#  define PIXELCONV_X86 1
#endif

namespace pixelconv {

namespace {

inline uint8_t clampByte(int v)
{
    return uint8_t(std::min(255, std::max(0, v)));
}

inline uint8_t lumaOf(int r, int g, int b)
{
    return clampByte(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}

inline uint8_t chromaUOf(int r, int g, int b)
{
    return clampByte(((112 * b - 38 * r - 74 * g + 128) >> 8) + 128);
}

inline uint8_t chromaVOf(int r, int g, int b)
{
    return clampByte(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

struct Planes
{
    uint8_t *y;
    uint8_t *u;
    uint8_t *v;
    int chromaWidth;
    int chromaHeight;
};

Planes planesOf(uint8_t *dst, int width, int height)
{
    const size_t lumaSize = size_t(width) * size_t(height);
    return {dst, dst + lumaSize, dst + lumaSize + lumaSize / 4, width / 2, height / 2};
}

// Scalar conversion of the pixels [from, width) of one row; used for row
// tails and where no vector unit is available. R, G, B are read at byte
// offsets ro, go, bo of each bpp-byte pixel.
template <int Bpp, int Ro, int Go, int Bo>
void packedRowScalar(const uint8_t *row, int from, int width, uint8_t *yRow, uint8_t *uRow, uint8_t *vRow,
                     int chromaWidth)
{
    for (int x = from; x < width; ++x) {
        const uint8_t *p = row + size_t(x) * Bpp;
        const int r = p[Ro], g = p[Go], b = p[Bo];
        yRow[x] = lumaOf(r, g, b);
        if (uRow && (x & 1) == 0 && x / 2 < chromaWidth) {
            uRow[x / 2] = chromaUOf(r, g, b);
            vRow[x / 2] = chromaVOf(r, g, b);
        }
    }
}

void yuyvRowScalar(const uint8_t *row, int from, int width, uint8_t *yRow, uint8_t *uRow, uint8_t *vRow,
                   int chromaWidth)
{
    // from is even: work goes by pixel pairs.
    for (int x = from; x < width; x += 2) {
        const uint8_t *g = row + size_t(x) * 2;
        yRow[x] = g[0];
        if (x + 1 < width)
            yRow[x + 1] = g[2];
        if (uRow && x / 2 < chromaWidth && x + 1 < width) {
            uRow[x / 2] = g[1];
            vRow[x / 2] = g[3];
        }
    }
}

#ifdef PIXELCONV_X86

bool cpuHasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Coefficients of one channel order, for pmaddubsw on 4-byte pixels. The
// luma weight of G (129) does not fit a signed byte, so it is split into
// 64 + 65 over two multiplies; every partial sum stays below 2^16 and the
// 16-bit adds wrap, so the result is exact.
struct Coefficients
{
    __m128i y1, y2, u, v;
};

__attribute__((target("ssse3"))) inline __m128i lumaOf4(__m128i px, const Coefficients &c)
{
    return _mm_add_epi16(_mm_maddubs_epi16(px, c.y1), _mm_maddubs_epi16(px, c.y2));
}

// 16 luma bytes from 16 pixels held as four registers of 4-byte pixels.
__attribute__((target("ssse3"))) inline __m128i luma16(__m128i p0, __m128i p1, __m128i p2, __m128i p3,
                                                       const Coefficients &c)
{
    const __m128i round = _mm_set1_epi16(128);
    __m128i lo = _mm_hadd_epi16(lumaOf4(p0, c), lumaOf4(p1, c));
    __m128i hi = _mm_hadd_epi16(lumaOf4(p2, c), lumaOf4(p3, c));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, round), 8);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, round), 8);
    return _mm_add_epi8(_mm_packus_epi16(lo, hi), _mm_set1_epi8(16));
}

// U (low 8 bytes) and V (high 8 bytes) of the even pixels among 16.
__attribute__((target("ssse3"))) inline __m128i chroma8(__m128i p0, __m128i p1, __m128i p2, __m128i p3,
                                                        const Coefficients &c)
{
    const __m128i e0 = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(p0), _mm_castsi128_ps(p1), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i e1 = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(p2), _mm_castsi128_ps(p3), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i round = _mm_set1_epi16(128);
    __m128i u = _mm_hadd_epi16(_mm_maddubs_epi16(e0, c.u), _mm_maddubs_epi16(e1, c.u));
    __m128i v = _mm_hadd_epi16(_mm_maddubs_epi16(e0, c.v), _mm_maddubs_epi16(e1, c.v));
    u = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(u, round), 8), round);
    v = _mm_add_epi16(_mm_srai_epi16(_mm_add_epi16(v, round), 8), round);
    return _mm_packus_epi16(u, v);
}

__attribute__((target("ssse3"))) inline void storeChroma(__m128i uv, uint8_t *u, uint8_t *v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(u), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(v), _mm_unpackhi_epi64(uv, uv));
}

Coefficients bgrxCoefficients()
{
    return {_mm_setr_epi8(25, 64, 66, 0, 25, 64, 66, 0, 25, 64, 66, 0, 25, 64, 66, 0),
            _mm_setr_epi8(0, 65, 0, 0, 0, 65, 0, 0, 0, 65, 0, 0, 0, 65, 0, 0),
            _mm_setr_epi8(112, -74, -38, 0, 112, -74, -38, 0, 112, -74, -38, 0, 112, -74, -38, 0),
            _mm_setr_epi8(-18, -94, 112, 0, -18, -94, 112, 0, -18, -94, 112, 0, -18, -94, 112, 0)};
}

__attribute__((target("ssse3"))) void bgrxRowSsse3(const uint8_t *row, int width, uint8_t *yRow, uint8_t *uRow,
                                                   uint8_t *vRow, int chromaWidth, const Coefficients &c)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t *s = row + size_t(x) * 4;
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 16));
        const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 32));
        const __m128i p3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(yRow + x), luma16(p0, p1, p2, p3, c));
        if (uRow)
            storeChroma(chroma8(p0, p1, p2, p3, c), uRow + x / 2, vRow + x / 2);
    }
    packedRowScalar<4, 2, 1, 0>(row, x, width, yRow, uRow, vRow, chromaWidth);
}

__attribute__((target("ssse3"))) void rgb24RowSsse3(const uint8_t *row, int width, uint8_t *yRow,
                                                    uint8_t *uRow, uint8_t *vRow, int chromaWidth,
                                                    const Coefficients &c)
{
    // 16 pixels are 48 bytes: three loads of four pixels at 0, 12, 24 and a
    // fourth at 32 whose upper twelve bytes hold pixels 12 to 15, so nothing
    // is read past the group.
    // Expanded to B, G, R, 0, so the BGRX coefficients apply (R, G first
    // would let 66 R + 64 G overflow a signed 16-bit pair sum).
    const __m128i expand = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i expandHigh = _mm_setr_epi8(6, 5, 4, -1, 9, 8, 7, -1, 12, 11, 10, -1, 15, 14, 13, -1);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t *s = row + size_t(x) * 3;
        const __m128i p0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s)), expand);
        const __m128i p1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 12)), expand);
        const __m128i p2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 24)), expand);
        const __m128i p3 =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 32)), expandHigh);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(yRow + x), luma16(p0, p1, p2, p3, c));
        if (uRow)
            storeChroma(chroma8(p0, p1, p2, p3, c), uRow + x / 2, vRow + x / 2);
    }
    packedRowScalar<3, 0, 1, 2>(row, x, width, yRow, uRow, vRow, chromaWidth);
}

__attribute__((target("ssse3"))) void yuyvRowSsse3(const uint8_t *row, int width, uint8_t *yRow, uint8_t *uRow,
                                                   uint8_t *vRow, int chromaWidth)
{
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t *s = row + size_t(x) * 2;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(yRow + x),
                         _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes)));
        if (uRow) {
            const __m128i uv = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
            const __m128i uvSplit = _mm_packus_epi16(_mm_and_si128(uv, lowBytes), _mm_srli_epi16(uv, 8));
            storeChroma(uvSplit, uRow + x / 2, vRow + x / 2);
        }
    }
    yuyvRowScalar(row, x, width, yRow, uRow, vRow, chromaWidth);
}


bool cpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// The same arithmetic on 32 pixels per step. 256-bit horizontal adds and
// packs work inside each 128-bit lane, so the results are put back in pixel
// order with one permute at the end.
struct Coefficients256
{
    __m256i y1, y2, u, v;
};

__attribute__((target("avx2"))) inline Coefficients256 widen(const Coefficients &c)
{
    return {_mm256_broadcastsi128_si256(c.y1), _mm256_broadcastsi128_si256(c.y2), _mm256_broadcastsi128_si256(c.u),
            _mm256_broadcastsi128_si256(c.v)};
}

__attribute__((target("avx2"))) inline __m256i lumaOf8(__m256i px, const Coefficients256 &c)
{
    return _mm256_add_epi16(_mm256_maddubs_epi16(px, c.y1), _mm256_maddubs_epi16(px, c.y2));
}

// p0..p3 hold pixels 0-7, 8-15, 16-23, 24-31 (lane 0 the first four of each).
__attribute__((target("avx2"))) inline __m256i luma32(__m256i p0, __m256i p1, __m256i p2, __m256i p3,
                                                      const Coefficients256 &c)
{
    const __m256i round = _mm256_set1_epi16(128);
    __m256i lo = _mm256_hadd_epi16(lumaOf8(p0, c), lumaOf8(p1, c));
    __m256i hi = _mm256_hadd_epi16(lumaOf8(p2, c), lumaOf8(p3, c));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, round), 8);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, round), 8);
    const __m256i packed = _mm256_packus_epi16(lo, hi);
    const __m256i ordered = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    return _mm256_add_epi8(ordered, _mm256_set1_epi8(16));
}

// U of the 16 even pixels to u, V to v.
__attribute__((target("avx2"))) inline void chroma16(__m256i p0, __m256i p1, __m256i p2, __m256i p3,
                                                     const Coefficients256 &c, uint8_t *u, uint8_t *v)
{
    const __m256i e0 = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(p0), _mm256_castsi256_ps(p1), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i e1 = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(p2), _mm256_castsi256_ps(p3), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i round = _mm256_set1_epi16(128);
    __m256i us = _mm256_hadd_epi16(_mm256_maddubs_epi16(e0, c.u), _mm256_maddubs_epi16(e1, c.u));
    __m256i vs = _mm256_hadd_epi16(_mm256_maddubs_epi16(e0, c.v), _mm256_maddubs_epi16(e1, c.v));
    us = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(us, round), 8), round);
    vs = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(vs, round), 8), round);
    // Bytes now come in pairs of samples: lane 0 holds pairs 0, 2, 4, 6 and
    // lane 1 pairs 1, 3, 5, 7, for U then V.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(us, vs), _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i uHalves = _mm256_castsi256_si128(packed);
    const __m128i vHalves = _mm256_extracti128_si256(packed, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(u), _mm_unpacklo_epi16(uHalves, _mm_srli_si128(uHalves, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(v), _mm_unpacklo_epi16(vHalves, _mm_srli_si128(vHalves, 8)));
}

__attribute__((target("avx2"))) void bgrxRowAvx2(const uint8_t *row, int width, uint8_t *yRow, uint8_t *uRow,
                                                 uint8_t *vRow, int chromaWidth, const Coefficients &c128)
{
    const Coefficients256 c = widen(c128);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t *s = row + size_t(x) * 4;
        const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s));
        const __m256i p1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 32));
        const __m256i p2 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 64));
        const __m256i p3 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 96));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(yRow + x), luma32(p0, p1, p2, p3, c));
        if (uRow)
            chroma16(p0, p1, p2, p3, c, uRow + x / 2, vRow + x / 2);
    }
    if (x < width)
        bgrxRowSsse3(row + size_t(x) * 4, width - x, yRow + x, uRow ? uRow + x / 2 : nullptr,
                     vRow ? vRow + x / 2 : nullptr, chromaWidth - x / 2, c128);
}

__attribute__((target("avx2"))) inline __m256i loadRgb24Pair(const uint8_t *lane0, const uint8_t *lane1,
                                                             __m256i expand)
{
    const __m256i both = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(lane0))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(lane1)), 1);
    return _mm256_shuffle_epi8(both, expand);
}

__attribute__((target("avx2"))) void rgb24RowAvx2(const uint8_t *row, int width, uint8_t *yRow, uint8_t *uRow,
                                                  uint8_t *vRow, int chromaWidth, const Coefficients &c128)
{
    const Coefficients256 c = widen(c128);
    // As in the SSSE3 row: four pixels from each 16-byte load, the last load
    // ending exactly at the group's end.
    const __m128i expandLow = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i expandHigh = _mm_setr_epi8(6, 5, 4, -1, 9, 8, 7, -1, 12, 11, 10, -1, 15, 14, 13, -1);
    const __m256i expand = _mm256_broadcastsi128_si256(expandLow);
    const __m256i expandLast = _mm256_inserti128_si256(_mm256_castsi128_si256(expandLow), expandHigh, 1);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t *s = row + size_t(x) * 3;
        const __m256i p0 = loadRgb24Pair(s, s + 12, expand);
        const __m256i p1 = loadRgb24Pair(s + 24, s + 36, expand);
        const __m256i p2 = loadRgb24Pair(s + 48, s + 60, expand);
        const __m256i p3 = loadRgb24Pair(s + 72, s + 80, expandLast);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(yRow + x), luma32(p0, p1, p2, p3, c));
        if (uRow)
            chroma16(p0, p1, p2, p3, c, uRow + x / 2, vRow + x / 2);
    }
    if (x < width)
        rgb24RowSsse3(row + size_t(x) * 3, width - x, yRow + x, uRow ? uRow + x / 2 : nullptr,
                      vRow ? vRow + x / 2 : nullptr, chromaWidth - x / 2, c128);
}

__attribute__((target("avx2"))) void yuyvRowAvx2(const uint8_t *row, int width, uint8_t *yRow, uint8_t *uRow,
                                                 uint8_t *vRow, int chromaWidth)
{
    // 32 pixels (64 bytes) a step. AVX2 packs work per 128-bit lane, so each
    // pack is followed by a cross-lane permute (0xD8: lanes 0, 2, 1, 3) that
    // puts the bytes back in picture order.
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t *s = row + size_t(x) * 2;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 32));
        const __m256i luma = _mm256_packus_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(yRow + x), _mm256_permute4x64_epi64(luma, 0xD8));
        if (uRow) {
            // U0 V0 U1 V1 ... of 16 pairs, then U0..U15 | V0..V15.
            const __m256i uv = _mm256_permute4x64_epi64(
                _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8)), 0xD8);
            const __m256i split = _mm256_permute4x64_epi64(
                _mm256_packus_epi16(_mm256_and_si256(uv, lowBytes), _mm256_srli_epi16(uv, 8)), 0xD8);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(uRow + x / 2), _mm256_castsi256_si128(split));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(vRow + x / 2), _mm256_extracti128_si256(split, 1));
        }
    }
    // The tail (fewer than 32 pixels) by the 16-pixel path, then pairs.
    if (x < width)
        yuyvRowSsse3(row + size_t(x) * 2, width - x, yRow + x, uRow ? uRow + x / 2 : nullptr,
                     uRow ? vRow + x / 2 : nullptr, chromaWidth - x / 2);
}

#endif // PIXELCONV_X86

// Runs the row converter over the picture; chroma only for even rows that
// start a whole 2 × 2 block.
template <typename RowFn>
void convertRows(const uint8_t *src, size_t srcStride, int width, int height, uint8_t *dst, RowFn rowFn)
{
    const Planes p = planesOf(dst, width, height);
    for (int row = 0; row < height; ++row) {
        const bool chromaRow = (row & 1) == 0 && row / 2 < p.chromaHeight;
        const size_t chromaOffset = size_t(p.chromaWidth) * size_t(row / 2);
        rowFn(src + srcStride * size_t(row), p.y + size_t(width) * size_t(row),
              chromaRow ? p.u + chromaOffset : nullptr, chromaRow ? p.v + chromaOffset : nullptr, p.chromaWidth);
    }
}

} // namespace

size_t i420Size(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return size_t(width) * size_t(height) * 3 / 2;
}

const char *simdPath()
{
#ifdef PIXELCONV_X86
    if (cpuHasAvx2())
        return "AVX2";
    if (cpuHasSsse3())
        return "SSSE3";
#endif
    return "scalar";
}

bool usesSimd()
{
#ifdef PIXELCONV_X86
    return cpuHasSsse3();
#else
    return false;
#endif
}

void bgrxToI420(const uint8_t *src, int width, int height, uint8_t *dst)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
#ifdef PIXELCONV_X86
    if (cpuHasAvx2()) {
        const Coefficients c = bgrxCoefficients();
        convertRows(src, size_t(width) * 4, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        bgrxRowAvx2(row, width, y, u, v, cw, c);
                    });
        return;
    }
    if (cpuHasSsse3()) {
        const Coefficients c = bgrxCoefficients();
        convertRows(src, size_t(width) * 4, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        bgrxRowSsse3(row, width, y, u, v, cw, c);
                    });
        return;
    }
#endif
    convertRows(src, size_t(width) * 4, width, height, dst,
                [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                    packedRowScalar<4, 2, 1, 0>(row, 0, width, y, u, v, cw);
                });
}

void rgb24ToI420(const uint8_t *src, int width, int height, uint8_t *dst)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
#ifdef PIXELCONV_X86
    if (cpuHasAvx2()) {
        const Coefficients c = bgrxCoefficients();
        convertRows(src, size_t(width) * 3, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        rgb24RowAvx2(row, width, y, u, v, cw, c);
                    });
        return;
    }
    if (cpuHasSsse3()) {
        const Coefficients c = bgrxCoefficients();
        convertRows(src, size_t(width) * 3, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        rgb24RowSsse3(row, width, y, u, v, cw, c);
                    });
        return;
    }
#endif
    convertRows(src, size_t(width) * 3, width, height, dst,
                [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                    packedRowScalar<3, 0, 1, 2>(row, 0, width, y, u, v, cw);
                });
}

void yuyvToI420(const uint8_t *src, int width, int height, uint8_t *dst)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    // With an odd width a row ends in half a group: the last pixel's Y and a U.
    const size_t stride = size_t(width) * 2;
#ifdef PIXELCONV_X86
    if (cpuHasAvx2()) {
        convertRows(src, stride, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        yuyvRowAvx2(row, width, y, u, v, cw);
                    });
        return;
    }
    if (cpuHasSsse3()) {
        convertRows(src, stride, width, height, dst,
                    [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
                        yuyvRowSsse3(row, width, y, u, v, cw);
                    });
        return;
    }
#endif
    convertRows(src, stride, width, height, dst, [&](const uint8_t *row, uint8_t *y, uint8_t *u, uint8_t *v, int cw) {
        yuyvRowScalar(row, 0, width, y, u, v, cw);
    });
}

} // namespace pixelconv
