#pragma once

#include <cstddef>
#include <cstdint>

// CPU conversions of packed camera pixels into the I420 layout the engine
// uploads: the Y plane (width × height), then the U plane and the V plane,
// each width / 2 samples per row. Chroma is the top-left sample of each 2 × 2
// block (no averaging), with the integer BT.601 studio-swing formulas:
//   Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16
//   U = ((112 B - 38 R - 74 G + 128) >> 8) + 128
//   V = ((112 R - 94 G - 18 B + 128) >> 8) + 128
// Rows of the source are tightly packed. With an odd width or height the last
// column or row contributes luma only, so the planes never overflow.
namespace pixelconv {

// Bytes of an I420 picture of this size (0 for a non-positive size).
size_t i420Size(int width, int height);

// 4-byte pixels B, G, R, x (QVideoFrame::Format_RGB32 / Format_ARGB32).
void bgrxToI420(const uint8_t *src, int width, int height, uint8_t *dst);
// 3-byte pixels R, G, B (QVideoFrame::Format_RGB24 as Linux cameras deliver it).
void rgb24ToI420(const uint8_t *src, int width, int height, uint8_t *dst);
// YUY2: groups Y0, U, Y1, V; chroma from even rows only.
void yuyvToI420(const uint8_t *src, int width, int height, uint8_t *dst);

// Whether the vector paths are in use on this processor (for benchmark labels).
bool usesSimd();
// Which vector path runs here, for benchmark output.
const char *simdPath();

} // namespace pixelconv
