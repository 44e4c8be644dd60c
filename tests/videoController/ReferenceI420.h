#pragma once

// Straightforward per-pixel I420 conversion, written from the formulas alone,
// to hold the optimised converters to the exact same bytes.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reference {

inline int clamp255(int v)
{
    return std::min(255, std::max(0, v));
}

inline std::vector<uint8_t> blank(int w, int h)
{
    return std::vector<uint8_t>(size_t(w) * size_t(h) * 3 / 2, 0xEE);
}

// ro, go, bo: byte offsets of R, G, B inside a bpp-byte pixel.
inline std::vector<uint8_t> packedToI420(const uint8_t *src, int w, int h, int bpp, int ro, int go, int bo)
{
    std::vector<uint8_t> out = blank(w, h);
    uint8_t *y = out.data();
    uint8_t *u = y + size_t(w) * h;
    uint8_t *v = u + size_t(w) * h / 4;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const uint8_t *p = src + (size_t(row) * w + col) * bpp;
            const int r = p[ro], g = p[go], b = p[bo];
            y[size_t(row) * w + col] = uint8_t(clamp255(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16));
            if (row % 2 == 0 && col % 2 == 0 && row / 2 < h / 2 && col / 2 < w / 2) {
                const size_t i = size_t(w / 2) * (row / 2) + col / 2;
                u[i] = uint8_t(clamp255(((112 * b - 38 * r - 74 * g + 128) >> 8) + 128));
                v[i] = uint8_t(clamp255(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128));
            }
        }
    }
    return out;
}

inline std::vector<uint8_t> yuyvToI420(const uint8_t *src, int w, int h)
{
    std::vector<uint8_t> out = blank(w, h);
    uint8_t *y = out.data();
    uint8_t *u = y + size_t(w) * h;
    uint8_t *v = u + size_t(w) * h / 4;
    for (int row = 0; row < h; ++row) {
        const uint8_t *line = src + size_t(row) * w * 2;
        for (int col = 0; col < w; ++col) {
            // Luma sits at every even byte; pixel pairs share U (byte 1) and V (byte 3).
            y[size_t(row) * w + col] = line[col * 2];
            if (row % 2 == 0 && col % 2 == 0 && col + 1 < w && row / 2 < h / 2 && col / 2 < w / 2) {
                const size_t i = size_t(w / 2) * (row / 2) + col / 2;
                u[i] = line[col * 2 + 1];
                v[i] = line[col * 2 + 3];
            }
        }
    }
    return out;
}

} // namespace reference
