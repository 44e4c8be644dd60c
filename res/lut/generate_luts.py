#!/usr/bin/env python3
"""Writes the engine's shipped filters: warm.png, cool.png and the other
512 x 512 tiled 64^3 tables listed in FILTERS, and film.cube (25^3). Every
filter is a documented colour transform of (r, g, b) in 0..1. Pure Python,
no dependencies:
    python3 generate_luts.py            # all of them
    python3 generate_luts.py mono.png   # only the named ones
"""
import sys
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


def luma(r, g, b):
    return 0.299 * r + 0.587 * g + 0.114 * b


def saturate(r, g, b, amount):
    y = luma(r, g, b)
    return (y + (r - y) * amount, y + (g - y) * amount, y + (b - y) * amount)


def lift(c, black, white=1.0):
    # Maps 0..1 onto black..white (raised blacks, lowered whites).
    return black + (white - black) * c


def fresh(r, g, b):
    # 清新: brighter mid-tones, softer contrast, a cool mint cast in the shadows.
    r, g, b = saturate(r, g, b, 0.92)
    y = luma(r, g, b)
    shadow = (1.0 - y) ** 2
    r, g, b = r - 0.03 * shadow, g + 0.015 * shadow, b + 0.03 * shadow
    return tuple(clamp(lift(scurve(clamp(c + 0.35 * c * (1.0 - c)), -0.15), 0.03)) for c in (r, g, b))


def cream(r, g, b):
    # 奶油: warm, milky: lifted blacks, mild desaturation, soft highlights.
    r, g, b = saturate(r, g, b, 0.85)
    r, g, b = r * 1.03 + 0.02, g * 1.0 + 0.012, b * 0.94
    return tuple(clamp(lift(c + 0.2 * c * (1.0 - c), 0.07, 0.97)) for c in (r, g, b))


def japanese(r, g, b):
    # 日系: bright and airy: strong mid-tone lift, low contrast, cyan shadows.
    r, g, b = saturate(r, g, b, 0.8)
    y = luma(r, g, b)
    shadow = (1.0 - y) ** 2
    r, g, b = r - 0.04 * shadow, g + 0.01 * shadow, b + 0.035 * shadow
    return tuple(clamp(lift(scurve(clamp(c + 0.45 * c * (1.0 - c)), -0.25), 0.06)) for c in (r, g, b))


def mono(r, g, b):
    # 黑白: luminance with a gentle S-curve.
    y = scurve(luma(r, g, b), 0.35)
    return (y, y, y)


def vintage(r, g, b):
    # 复古: 60 % sepia toning, faded blacks, muted whites.
    y = luma(r, g, b)
    sr, sg, sb = y * 1.07 + 0.04, y * 0.93 + 0.02, y * 0.72
    r, g, b = (r * 0.4 + sr * 0.6, g * 0.4 + sg * 0.6, b * 0.4 + sb * 0.6)
    return tuple(clamp(lift(scurve(clamp(c), 0.2), 0.08, 0.93)) for c in (r, g, b))


def forest(r, g, b):
    # 森林: deeper greens and teal, slightly darker, warm skin kept.
    y = luma(r, g, b)
    greenness = clamp((g - max(r, b)) * 4.0)
    r, g, b = r - 0.06 * greenness, g + 0.02 * greenness, b + 0.03 * greenness
    r, g, b = saturate(r, g, b, 1.08)
    return tuple(clamp(scurve(clamp(c - 0.06 * c * (1.0 - c)), 0.25)) for c in (r, g, b))


def sunset(r, g, b):
    # 落日: orange highlights, magenta-purple shadows, extra warmth.
    y = luma(r, g, b)
    high, shadow = y * y, (1.0 - y) ** 2
    r += 0.09 * high + 0.03 * shadow
    g += 0.02 * high - 0.02 * shadow
    b += -0.08 * high + 0.05 * shadow
    return tuple(clamp(scurve(clamp(c), 0.2)) for c in (r, g, b))


def pink(r, g, b):
    # 粉嫩: a rosy cast in the mid and high tones, softly lifted.
    y = luma(r, g, b)
    mid = 4.0 * y * (1.0 - y)
    r, g, b = r + 0.05 * mid + 0.02, g - 0.01 * mid, b + 0.03 * mid + 0.01
    return tuple(clamp(lift(c + 0.15 * c * (1.0 - c), 0.03)) for c in (r, g, b))


def teal_orange(r, g, b):
    # 青橙: teal shadows and orange highlights, the classic film split-tone.
    y = luma(r, g, b)
    high, shadow = y * y, (1.0 - y) ** 2
    r += 0.08 * high - 0.07 * shadow
    g += 0.02 * high + 0.02 * shadow
    b += -0.08 * high + 0.07 * shadow
    r, g, b = saturate(r, g, b, 1.1)
    return tuple(clamp(scurve(clamp(c), 0.3)) for c in (r, g, b))


def vivid(r, g, b):
    # 鲜艳: 35 % more saturation and a firmer S-curve.
    r, g, b = saturate(r, g, b, 1.35)
    return tuple(clamp(scurve(clamp(c), 0.35)) for c in (r, g, b))


def matte(r, g, b):
    # 褪色: matte look: strongly raised blacks, lowered whites, half saturation loss.
    r, g, b = saturate(r, g, b, 0.6)
    return tuple(clamp(lift(scurve(clamp(c), -0.1), 0.14, 0.9)) for c in (r, g, b))


FILTERS = {
    "warm.png": warm,
    "cool.png": cool,
    "fresh.png": fresh,
    "cream.png": cream,
    "japanese.png": japanese,
    "mono.png": mono,
    "vintage.png": vintage,
    "forest.png": forest,
    "sunset.png": sunset,
    "pink.png": pink,
    "teal_orange.png": teal_orange,
    "vivid.png": vivid,
    "matte.png": matte,
}


if __name__ == "__main__":
    wanted = sys.argv[1:] or list(FILTERS) + ["film.cube"]
    for name in wanted:
        if name == "film.cube":
            cube("film.cube", film, 25, "Velvix film")
        elif name in FILTERS:
            tiled_png(name, FILTERS[name])
        else:
            sys.exit("unknown filter %s (known: %s, film.cube)" % (name, ", ".join(FILTERS)))
