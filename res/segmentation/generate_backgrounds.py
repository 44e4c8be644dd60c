#!/usr/bin/env python3
"""Writes the preset green-screen backgrounds (1280 x 720 PNG) and their
package files: sunset_glow/, ocean_blue/, soft_grey/ next to this script.
Each background is a documented formula of the pixel position; pure Python:
    python3 generate_backgrounds.py
"""
import json
import math
import os
import random
import struct
import zlib

W, H = 1280, 720


def write_png(path, rows):
    raw = b"".join(b"\x00" + bytes(row) for row in rows)

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def ramp(stops, t):
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0.0)
    return stops[-1][1]


def render(fn):
    rows = []
    rnd = random.Random(7)
    for y in range(H):
        row = []
        for x in range(W):
            r, g, b = fn(x / (W - 1), y / (H - 1))
            # A touch of dither keeps the gradients free of bands.
            d = rnd.random() - 0.5
            row += [max(0, min(255, int(c + d + 0.5))) for c in (r, g, b)]
        rows.append(row)
    return rows


SUNSET = [(0.0, (43, 30, 74)), (0.45, (164, 72, 104)), (0.72, (232, 111, 90)), (1.0, (246, 197, 107))]


def sunset_glow(u, v):
    # 暮色: dusk sky from violet to gold, with the glow of a low sun.
    base = ramp(SUNSET, v)
    d = math.hypot((u - 0.68) * 1.78, v - 0.78)
    glow = math.exp(-d * d / 0.02) * 0.9 + math.exp(-d * d / 0.15) * 0.35
    return mix(base, (255, 236, 190), min(1.0, glow))


BOKEH = [(0.23, 0.30, 0.09), (0.62, 0.22, 0.06), (0.82, 0.58, 0.11), (0.38, 0.72, 0.07), (0.10, 0.80, 0.05)]


def ocean_blue(u, v):
    # 海蓝: deep teal to ocean blue, with soft out-of-focus lights.
    base = ramp([(0.0, (12, 52, 88)), (0.6, (18, 104, 140)), (1.0, (40, 150, 168))], v * 0.7 + u * 0.3)
    light = 0.0
    for cx, cy, r in BOKEH:
        d = math.hypot((u - cx) * 1.78, v - cy)
        light += 0.45 / (1.0 + math.exp((d - r) * 60.0))
    return mix(base, (190, 235, 245), min(1.0, light))


def soft_grey(u, v):
    # 浅灰影棚: light grey studio wall lit from the upper left, gentle vignette.
    d = math.hypot((u - 0.35) * 1.78, v - 0.3)
    light = 1.0 - 0.35 * min(1.0, d / 1.4) ** 1.5
    c = 200 * light
    return (c, c * 0.99, c * 0.97)


PACKAGES = {
    "sunset_glow": (sunset_glow, "Dusk"),
    "ocean_blue": (ocean_blue, "Ocean"),
    "soft_grey": (soft_grey, "Grey studio"),
}

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for folder, (fn, name) in PACKAGES.items():
        out = os.path.join(here, folder)
        os.makedirs(out, exist_ok=True)
        write_png(os.path.join(out, "background.png"), render(fn))
        with open(os.path.join(out, "template.json"), "w") as f:
            json.dump({"type": "green_screen", "name": name, "background": "background.png",
                       "keyColor": "#00ff00",
                       "params": {"similarity": 50, "smooth": 10, "corrosion": 1, "despill": 60, "deshadow": 2}},
                      f, indent=4)
            f.write("\n")
