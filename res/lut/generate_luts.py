#!/usr/bin/env python3
"""Writes the engine's shipped filters: warm.png, cool.png (512 x 512 tiled
64^3 tables) and film.cube (25^3). Pure Python, no dependencies:
    python3 generate_luts.py
"""
import struct
import zlib


def clamp(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def scurve(v, amount):
    # Smooth contrast curve around mid grey.
    s = v * v * (3.0 - 2.0 * v)
    return v + (s - v) * amount


def warm(r, g, b):
    return (clamp(scurve(r * 1.05 + 0.03, 0.25)),
            clamp(scurve(g * 1.01 + 0.01, 0.2)),
            clamp(scurve(b * 0.86, 0.2)))


def cool(r, g, b):
    return (clamp(scurve(r * 0.88, 0.2)),
            clamp(scurve(g * 0.99 + 0.01, 0.2)),
            clamp(scurve(b * 1.06 + 0.04, 0.25)))


def film(r, g, b):
    y = 0.299 * r + 0.587 * g + 0.114 * b
    # Slightly desaturated, lifted blacks, teal shadows and warm highlights.
    r, g, b = (y + (r - y) * 0.8, y + (g - y) * 0.8, y + (b - y) * 0.8)
    shadow = (1.0 - y) ** 2
    high = y * y
    r += -0.04 * shadow + 0.06 * high
    g += 0.01 * shadow + 0.02 * high
    b += 0.05 * shadow - 0.05 * high
    return tuple(clamp(0.06 + 0.9 * scurve(clamp(c), 0.35)) for c in (r, g, b))


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + bytes(row) for row in rows)

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def tiled_png(path, fn, n=64, tiles=8):
    side = n * tiles
    rows = [[0] * (side * 3) for _ in range(side)]
    for bi in range(n):
        tx, ty = (bi % tiles) * n, (bi // tiles) * n
        for gi in range(n):
            row = rows[ty + gi]
            for ri in range(n):
                out = fn(ri / (n - 1), gi / (n - 1), bi / (n - 1))
                x = (tx + ri) * 3
                row[x:x + 3] = [int(round(c * 255)) for c in out]
    write_png(path, side, side, rows)


def cube(path, fn, n, title):
    with open(path, "w") as f:
        f.write('TITLE "%s"\n' % title)
        f.write("LUT_3D_SIZE %d\n" % n)
        f.write("DOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n")
        for bi in range(n):
            for gi in range(n):
                for ri in range(n):
                    out = fn(ri / (n - 1), gi / (n - 1), bi / (n - 1))
                    f.write("%.4f %.4f %.4f\n" % out)


if __name__ == "__main__":
    tiled_png("warm.png", warm)
    tiled_png("cool.png", cool)
    cube("film.cube", film, 25, "Velvix film")
