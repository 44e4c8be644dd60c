#!/usr/bin/python3
"""Draws the shipped 2D sticker artwork (our own) and writes each package:
res/motion/<name>/*.png and template.json. Shapes are drawn anti-aliased at
three times the stored size and reduced with area averaging, so the alpha
edges stay clean when the engine scales them down further (it mipmaps).
Needs python3-opencv and python3-numpy (Debian). Rerun after a change, then
scripts/makeup/render_thumbnails.py for the icons."""
import json
import math
import os

import cv2
import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "res", "motion")
SS = 3  # supersampling


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.rgba = np.zeros((height * SS, width * SS, 4), np.float32)

    def _mask(self):
        return np.zeros((self.h * SS, self.w * SS), np.uint8)

    def _over(self, mask, colour, alpha=1.0):
        a = mask.astype(np.float32) / 255.0 * alpha
        c = np.array([colour[2], colour[1], colour[0]], np.float32) / 255.0  # BGR storage
        base_a = self.rgba[..., 3]
        out_a = a + base_a * (1 - a)
        safe = np.maximum(out_a, 1e-6)[..., None]
        self.rgba[..., :3] = (c * a[..., None] + self.rgba[..., :3] * (base_a * (1 - a))[..., None]) / safe
        self.rgba[..., 3] = out_a

    @staticmethod
    def _pts(points):
        return np.array([[int(round(x * SS * 8)), int(round(y * SS * 8))] for x, y in points], np.int32)

    def poly(self, points, colour, alpha=1.0):
        m = self._mask()
        cv2.fillPoly(m, [self._pts(points)], 255, cv2.LINE_AA, 3)
        self._over(m, colour, alpha)

    def ellipse(self, centre, axes, colour, angle=0.0, alpha=1.0, thickness=-1):
        m = self._mask()
        c = (int(round(centre[0] * SS * 8)), int(round(centre[1] * SS * 8)))
        ax = (int(round(axes[0] * SS * 8)), int(round(axes[1] * SS * 8)))
        th = -1 if thickness < 0 else max(1, int(round(thickness * SS)))
        cv2.ellipse(m, c, ax, angle, 0, 360, 255, th, cv2.LINE_AA, 3)
        self._over(m, colour, alpha)

    def line(self, points, colour, width, alpha=1.0):
        m = self._mask()
        cv2.polylines(m, [self._pts(points)], False, 255, max(1, int(round(width * SS))), cv2.LINE_AA, 3)
        self._over(m, colour, alpha)

    def text(self, text, origin, scale, colour, thickness):
        m = self._mask()
        cv2.putText(m, text, (int(origin[0] * SS), int(origin[1] * SS)), cv2.FONT_HERSHEY_DUPLEX, scale * SS, 255,
                    int(thickness * SS), cv2.LINE_AA)
        self._over(m, colour)

    def save(self, path):
        small = cv2.resize(self.rgba, (self.w, self.h), interpolation=cv2.INTER_AREA)
        cv2.imwrite(path, np.clip(small * 255 + 0.5, 0, 255).astype(np.uint8))


def heart(cx, cy, size, steps=60):
    pts = []
    for i in range(steps):
        t = 2 * math.pi * i / steps
        x = 16 * math.sin(t) ** 3
        y = -(13 * math.cos(t) - 5 * math.cos(2 * t) - 2 * math.cos(3 * t) - math.cos(4 * t))
        pts.append((cx + x * size / 32, cy + y * size / 32))
    return pts


def star(cx, cy, r, inner=0.45, points=5, turn=-math.pi / 2):
    pts = []
    for i in range(points * 2):
        rad = r if i % 2 == 0 else r * inner
        a = turn + i * math.pi / points
        pts.append((cx + rad * math.cos(a), cy + rad * math.sin(a)))
    return pts


def draw_all():
    packages = {}

    c = Canvas(512, 220)
    for side in (-1, 1):
        cx = 256 + side * 150
        c.poly([(cx - 80, 212), (cx + side * 40, 8), (cx + 80, 212)], (72, 62, 58))
        c.poly([(cx - 48, 200), (cx + side * 30, 58), (cx + 48, 200)], (246, 160, 176))
    packages["cat_ears"] = ("猫耳", "Cat ears", [(c, "ears.png", {"anchor": "forehead", "offset": [0, -0.75],
                                                                  "width": 2.6})])

    c = Canvas(400, 512)
    for side in (-1, 1):
        cx = 200 + side * 85
        c.ellipse((cx, 250), (62, 240), (250, 250, 250), angle=side * 10)
        c.ellipse((cx, 262), (32, 190), (248, 182, 196), angle=side * 10)
        c.ellipse((cx, 250), (62, 240), (200, 200, 205), angle=side * 10, thickness=5)
    packages["bunny_ears"] = ("兔耳", "Bunny ears", [(c, "ears.png", {"anchor": "forehead", "offset": [0, -1.6],
                                                                      "width": 2.0})])

    c = Canvas(512, 180)
    c.line([(40, 70), (472, 70)], (30, 30, 34), 16)
    for side in (-1, 1):
        cx = 256 + side * 118
        c.poly([(cx - 100, 50), (cx + 100, 50), (cx + 88, 120), (cx + 40, 160), (cx - 40, 160), (cx - 88, 120)],
               (24, 24, 28))
        c.poly([(cx - 80, 62), (cx - 40, 62), (cx - 80, 120)], (255, 255, 255), alpha=0.35)
    c.ellipse((256, 78), (26, 12), (30, 30, 34))
    packages["sunglasses"] = ("墨镜", "Sunglasses", [(c, "glasses.png", {"anchor": "eyes", "offset": [0, 0.05],
                                                                         "width": 2.3})])

    c = Canvas(512, 300)
    c.poly([(60, 290), (60, 110), (150, 190), (256, 40), (362, 190), (452, 110), (452, 290)], (244, 190, 48))
    c.poly([(60, 290), (452, 290), (452, 250), (60, 250)], (214, 150, 30))
    for x, col in ((140, (220, 40, 60)), (256, (40, 120, 220)), (372, (40, 170, 90))):
        c.ellipse((x, 225), (22, 22), col)
        c.ellipse((x - 7, 218), (7, 6), (255, 255, 255), alpha=0.6)
    for x, y in ((60, 110), (256, 40), (452, 110)):
        c.ellipse((x, y), (18, 18), (250, 215, 90))
    packages["crown"] = ("皇冠", "Crown", [(c, "crown.png", {"anchor": "forehead", "offset": [0, -1.05],
                                                             "width": 1.7})])

    c = Canvas(512, 220)
    c.line([(20, 90), (490, 90)], (200, 20, 50), 12)
    for side in (-1, 1):
        cx = 256 + side * 120
        c.poly(heart(cx, 115, 210), (225, 30, 70))
        c.poly(heart(cx, 112, 170), (255, 110, 140), alpha=0.85)
        c.ellipse((cx - 40, 75), (18, 10), (255, 255, 255), angle=-30, alpha=0.7)
    packages["heart_glasses"] = ("爱心眼镜", "Heart glasses", [(c, "glasses.png", {"anchor": "eyes", "width": 2.4})])

    c = Canvas(512, 180)
    c.poly([(256, 40), (320, 50), (400, 95), (470, 70), (490, 35), (500, 80), (450, 140), (360, 145), (256, 110),
            (152, 145), (62, 140), (12, 80), (22, 35), (42, 70), (112, 95), (192, 50)], (92, 58, 40))
    c.line([(120, 105), (220, 85)], (130, 90, 62), 6, alpha=0.6)
    c.line([(292, 85), (392, 105)], (130, 90, 62), 6, alpha=0.6)
    packages["mustache"] = ("胡子", "Mustache", [(c, "mustache.png", {"anchor": "mouth", "offset": [0, -0.42],
                                                                      "width": 1.15})])

    c = Canvas(512, 240)
    for side in (-1, 1):
        cx = 256 + side * 150
        tip = (cx + side * 60, 10)
        c.poly([(cx - 55, 235), tip, (cx + 55, 235)], (200, 30, 40))
        c.poly([(cx - 20 + side * 10, 225), (tip[0] - side * 6, 30), (cx + 5 + side * 10, 225)], (240, 90, 90),
               alpha=0.6)
    packages["devil_horns"] = ("小恶魔", "Devil horns", [(c, "horns.png", {"anchor": "forehead", "offset": [0, -0.85],
                                                                           "width": 2.2})])

    frames = []
    for k in range(4):
        c = Canvas(512, 200)
        glow = 0.25 + 0.2 * math.sin(k * math.pi / 2)
        c.ellipse((256, 100), (220, 70), (255, 236, 140), thickness=40, alpha=glow)
        c.ellipse((256, 100), (200, 55), (250, 205, 60), thickness=20)
        c.ellipse((256, 92), (196, 50), (255, 245, 190), thickness=6, alpha=0.8)
        frames.append((c, "halo_%d.png" % k))
    packages["halo"] = ("光环", "Halo", [(frames, None, {"anchor": "forehead", "offset": [0, -1.5], "width": 1.9,
                                                         "fps": 6})])

    c = Canvas(256, 256)
    c.ellipse((128, 128), (118, 118), (215, 30, 40))
    c.ellipse((128, 128), (118, 118), (150, 10, 20), thickness=8, alpha=0.7)
    c.ellipse((92, 88), (34, 24), (255, 255, 255), angle=-35, alpha=0.65)
    packages["clown_nose"] = ("小丑鼻", "Clown nose", [(c, "nose.png", {"anchor": "nose", "offset": [0, -0.05],
                                                                        "width": 0.55})])

    frames = []
    colours = [(230, 50, 60), (245, 140, 40), (250, 220, 60), (70, 190, 90), (60, 130, 230), (140, 80, 200)]
    for k in range(3):
        c = Canvas(300, 512)
        for i, col in enumerate(colours):
            x0 = 60 + i * 32
            pts = [(x0 + 10 * math.sin((y / 512) * 6 + k * 2.1), y) for y in range(0, 513, 16)]
            c.line(pts, col, 30)
        for j in range(5):
            sx = 40 + ((j * 97 + k * 53) % 220)
            sy = 80 + ((j * 151 + k * 71) % 400)
            c.poly(star(sx, sy, 16), (255, 255, 255), alpha=0.9)
        frames.append((c, "rainbow_%d.png" % k))
    packages["rainbow_mouth"] = ("张嘴彩虹", "Rainbow (open mouth)", [
        (frames, None, {"anchor": "mouth", "offset": [0, 1.35], "width": 0.9, "fps": 8, "trigger": "mouthOpen"})])

    frames = []
    for k in range(2):
        c = Canvas(300, 300)
        for i, (x, tilt) in enumerate(((80, -12), (190, 10))):
            dy = (k * 12) if i == 0 else (12 - k * 12)
            c.poly([(x - 26, 40 + dy), (x + 26, 40 + dy), (x + 14, 200 + dy), (x - 14, 200 + dy)], (245, 200, 40))
            c.ellipse((x, 250 + dy), (26, 26), (245, 200, 40))
            c.line([(x - 26, 40 + dy), (x + 26, 40 + dy), (x + 14, 200 + dy), (x - 14, 200 + dy), (x - 26, 40 + dy)],
                   (180, 120, 20), 6)
        frames.append((c, "surprise_%d.png" % k))
    packages["surprise"] = ("惊讶", "Surprise (brows up)", [
        (frames, None, {"anchor": "forehead", "offset": [1.1, -1.2], "width": 0.8, "fps": 4, "trigger": "browsRaised"})])

    frames = []
    for k in range(3):
        c = Canvas(320, 320)
        for i, (x, y, s) in enumerate(((40, 290, 2.6), (150, 180, 2.0), (230, 90, 1.5))):
            if i <= k:
                c.text("Z", (x, y), s, (90, 140, 230), 6)
        frames.append((c, "zzz_%d.png" % k))
    packages["sleepy"] = ("瞌睡", "Sleepy (eyes closed)", [
        (frames, None, {"anchor": "forehead", "offset": [1.2, -0.9], "width": 1.0, "fps": 3, "trigger": "eyesClosed"})])

    c = Canvas(512, 160)
    petals = [(250, 110, 150), (255, 190, 90), (190, 140, 240), (255, 150, 190), (255, 240, 120)]
    for i in range(9):
        x = 40 + i * 54
        y = 95 - 28 * math.sin(i / 8 * math.pi)
        col = petals[i % len(petals)]
        c.ellipse((x - 10, y + 22), (18, 8), (90, 160, 80), angle=30)
        for p in range(5):
            a = p * 2 * math.pi / 5
            c.ellipse((x + 17 * math.cos(a), y + 17 * math.sin(a)), (15, 15), col)
        c.ellipse((x, y), (10, 10), (250, 200, 60))
    packages["flower_crown"] = ("花环", "Flower crown", [(c, "flowers.png", {"anchor": "forehead", "offset": [0, -0.55],
                                                                             "width": 2.4})])
    return packages


def write_panel(names):
    """beauty_panel/panel_json/2d_motions.json: one tile per sticker."""
    items = [{"displayName": "无", "displayNameEn": "None", "icon": "beauty_panel/panel_icon/beauty/others/none.png",
              "uiState": 2, "sdkParam": {"effectName": "motion", "effectValue": 0}}]
    for name, cn, en in names:
        items.append({"displayName": cn, "displayNameEn": en, "icon": f"res/motion/{name}/icon.png", "uiState": 0,
                      "sdkParam": {"effectName": "motion", "effectValue": 0, "resourcePath": f"motion/{name}"}})
    page = {"displayName": "2D贴纸", "displayNameEn": "2D stickers", "uiType": "CompositeType",
            "propertyList": [{"displayName": "2D贴纸", "displayNameEn": "2D stickers", "uiType": "ClearSwitchButton"},
                             {"displayName": "2D贴纸", "displayNameEn": "2D stickers", "uiType": "ScrollButtonGroup",
                              "sdkParam": {"effectName": "motion"}, "propertyList": items}]}
    with open(os.path.join(ROOT, "beauty_panel", "panel_json", "2d_motions.json"), "w", encoding="utf-8") as f:
        json.dump(page, f, ensure_ascii=False, indent=2)
        f.write("\n")


def main():
    packages = draw_all()
    write_panel([(name, cn, en) for name, (cn, en, _) in packages.items()])
    for name, (cn, en, layers) in packages.items():
        folder = os.path.join(OUT, name)
        os.makedirs(folder, exist_ok=True)
        entries = []
        for art, file, layer in layers:
            entry = dict(layer)
            if isinstance(art, list):
                for canvas, frame_file in art:
                    canvas.save(os.path.join(folder, frame_file))
                entry["frames"] = [f for _, f in art]
            else:
                art.save(os.path.join(folder, file))
                entry["image"] = file
            entries.append(entry)
        with open(os.path.join(folder, "template.json"), "w", encoding="utf-8") as f:
            json.dump({"name": en, "displayName": cn, "layers": entries}, f, ensure_ascii=False, indent=2)
            f.write("\n")


if __name__ == "__main__":
    main()
