#!/usr/bin/python3
"""Draws the picture backgrounds of the person packages (res/segmentation/
<name>/background.jpg, 1280 x 720) and writes their template.json files.
Everything is drawn here from a fixed seed; nothing is taken from elsewhere.

    generate_backgrounds.py [OUT_DIR]     (default: the folder of this script)
"""
import json
import os
import sys

import cv2
import numpy as np

W, H = 1280, 720
YY, XX = np.mgrid[0:H, 0:W].astype(np.float32)


def vertical(top, bottom, curve=1.0):
    t = (YY / (H - 1)) ** curve
    return np.stack([top[i] + (bottom[i] - top[i]) * t for i in range(3)], axis=-1)


def ridge(rng, base, amplitude, waves):
    x = np.arange(W, dtype=np.float32)
    y = np.full(W, base, np.float32)
    for k in range(waves):
        f = rng.uniform(0.002, 0.02) * (k + 1)
        y += amplitude / (k + 1) * np.sin(x * f + rng.uniform(0, 6.28))
    return y


def paint_below(img, line, colour, soft=2.0):
    a = np.clip((YY - line[None, :]) / soft + 0.5, 0, 1)[..., None]
    return img * (1 - a) + np.array(colour, np.float32) * a


def sunset(rng):
    img = vertical((40, 50, 110), (250, 150, 90), 1.3)
    d = np.hypot(XX - 0.62 * W, YY - 0.58 * H)
    glow = np.exp(-(d / 260.0) ** 2)[..., None]
    img = img * (1 - 0.6 * glow) + np.array((255, 210, 140), np.float32) * 0.6 * glow
    sun = np.clip((60 - d) / 2.0, 0, 1)[..., None]
    img = img * (1 - sun) + np.array((255, 240, 200), np.float32) * sun
    for base, amp, col in ((470, 40, (120, 70, 90)), (540, 35, (70, 40, 65)), (620, 25, (35, 20, 40))):
        img = paint_below(img, ridge(rng, base, amp, 4), col)
    return img


def lights(rng):
    img = vertical((25, 20, 40), (60, 35, 30), 1.0)
    layer = np.zeros_like(img)
    palette = [(255, 190, 90), (255, 120, 80), (120, 180, 255), (255, 230, 160), (200, 120, 255)]
    for _ in range(70):
        cx, cy = rng.uniform(0, W), rng.uniform(0, H * 0.9)
        r = rng.uniform(18, 70)
        c = np.array(palette[rng.integers(len(palette))], np.float32) * rng.uniform(0.35, 0.8)
        disc = np.clip((r - np.hypot(XX - cx, YY - cy)) / 3.0, 0, 1)[..., None]
        layer = np.maximum(layer, disc * c)
    img = img + layer
    return cv2.GaussianBlur(img, (0, 0), 4)


def window_room(rng):
    img = vertical((225, 218, 205), (190, 180, 165), 1.0)
    # Two tall windows with a pale sky and a hint of trees.
    for x0 in (180, 760):
        x1, y0, y1 = x0 + 340, 90, 560
        sky = vertical((160, 200, 240), (225, 235, 240), 1.0)
        tree = ridge(rng, 420, 40, 5)
        sky = paint_below(sky, tree, (110, 140, 100), 6.0)
        inside = ((XX >= x0) & (XX < x1) & (YY >= y0) & (YY < y1))[..., None].astype(np.float32)
        img = img * (1 - inside) + sky * inside
        for xm in (x0, x0 + 167, x1 - 6):
            img[y0:y1, int(xm):int(xm) + 6] = (245, 245, 240)
        img[y0:y0 + 6, x0:x1] = (245, 245, 240)
        img[(y0 + y1) // 2:(y0 + y1) // 2 + 6, x0:x1] = (245, 245, 240)
        img[y1 - 6:y1 + 4, x0 - 10:x1 + 10] = (250, 250, 245)
    img[600:] = vertical((150, 105, 70), (110, 75, 50), 1.0)[600:]
    for x in range(0, W, 160):
        img[600:, x:x + 2] *= 0.85
    return cv2.GaussianBlur(img, (0, 0), 1.2)


def lake(rng):
    img = vertical((90, 150, 220), (215, 230, 240), 0.8)
    horizon = 430
    for base, amp, col in ((300, 70, (140, 160, 185)), (350, 55, (95, 120, 140)), (400, 35, (55, 85, 80))):
        img = paint_below(img, ridge(rng, base, amp, 5), col)
    mirror = img[horizon - 1::-1][:H - horizon]
    water = mirror * 0.7 + np.array((40, 70, 90), np.float32) * 0.3
    ripple = 4 * np.sin(YY[horizon:] * 0.35 + XX[horizon:] * 0.01)[..., None]
    img[horizon:] = water + ripple
    return img


PACKAGES = [
    ("sunset", "Sunset hills", sunset),
    ("city_lights", "City lights", lights),
    ("bright_room", "Bright room", window_room),
    ("mountain_lake", "Mountain lake", lake),
]


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for index, (name, title, draw) in enumerate(PACKAGES):
        rng = np.random.default_rng(1700 + index)
        rgb = np.clip(draw(rng), 0, 255).astype(np.uint8)
        folder = os.path.join(out, name)
        os.makedirs(folder, exist_ok=True)
        cv2.imwrite(os.path.join(folder, "background.jpg"), rgb[..., ::-1], [cv2.IMWRITE_JPEG_QUALITY, 88])
        with open(os.path.join(folder, "template.json"), "w") as f:
            json.dump({"type": "person", "name": title, "background": "background.jpg"}, f, indent=4)
            f.write("\n")
        print("wrote", folder)


if __name__ == "__main__":
    main(sys.argv)
