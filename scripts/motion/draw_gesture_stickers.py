#!/usr/bin/python3
"""Draws the shipped gesture sticker artwork (our own) and writes each
package: res/gesture/<name>/*.png and template.json ("type": "gesture"), and
the panel page beauty_panel/panel_json/hand_motions.json. Same drawing kit
and supersampling as draw_stickers.py. Rerun after a change, then
render_gesture_icons.py for the icons."""
import json
import math
import os

from draw_stickers import Canvas, ROOT, heart, star

OUT = os.path.join(ROOT, "res", "gesture")


def sparkle(c, x, y, r, colour):
    c.poly(star(x, y, r, inner=0.25, points=4, turn=0), colour)


def draw_all():
    packages = {}

    # Open palm: a ring of sparkles behind the raised hand, and a sun above it.
    c = Canvas(512, 512)
    for i in range(10):
        a = 2 * math.pi * i / 10
        sparkle(c, 256 + 200 * math.cos(a), 256 + 200 * math.sin(a), 34 if i % 2 else 24,
                (255, 226, 90) if i % 2 else (255, 255, 255))
    ring = c
    sun = Canvas(256, 256)
    for i in range(12):
        a = 2 * math.pi * i / 12
        sun.poly([(128 + 70 * math.cos(a - 0.14), 128 + 70 * math.sin(a - 0.14)),
                  (128 + 120 * math.cos(a), 128 + 120 * math.sin(a)),
                  (128 + 70 * math.cos(a + 0.14), 128 + 70 * math.sin(a + 0.14))], (255, 170, 40))
    sun.ellipse((128, 128), (72, 72), (255, 208, 60))
    sun.ellipse((128, 128), (52, 52), (255, 236, 140))
    packages["open_palm_sparkles"] = ("掌心闪光", "Palm sparkles", "open_palm", [
        (ring, "ring.png", {"anchor": "palm", "offset": [0, -0.6], "width": 3.2}),
        (sun, "sun.png", {"anchor": "middleTip", "offset": [0, -0.7], "width": 1.1})])

    # Fist: a comic "POW" burst over the fist.
    c = Canvas(512, 400)
    burst = []
    for i in range(24):
        a = 2 * math.pi * i / 24
        r = 190 if i % 2 == 0 else 120
        burst.append((256 + r * math.cos(a), 200 + r * 0.78 * math.sin(a)))
    c.poly(burst, (40, 30, 30))
    c.poly([(256 + (x - 256) * 0.9, 200 + (y - 200) * 0.9) for x, y in burst], (255, 70, 60))
    c.poly([(256 + (x - 256) * 0.7, 200 + (y - 200) * 0.7) for x, y in burst], (255, 210, 60))
    c.text("POW!", (128, 236), 3.0, (40, 30, 30), 9)
    packages["fist_power"] = ("拳力爆发", "Power fist", "fist", [
        (c, "pow.png", {"anchor": "palm", "offset": [0, -1.3], "width": 3.4})])

    # Victory: stars at the two raised finger tips.
    frames = []
    for f in range(2):
        s = Canvas(256, 256)
        s.poly(star(128, 128, 118 if f == 0 else 104), (255, 200, 40))
        s.poly(star(128, 128, 80 if f == 0 else 70), (255, 240, 150))
        sparkle(s, 200, 46, 22 if f == 0 else 30, (255, 255, 255))
        frames.append((s, "star_%d.png" % f))
    packages["victory_stars"] = ("胜利之星", "Victory stars", "victory", [
        (frames, None, {"anchor": "indexTip", "offset": [0, -0.35], "width": 0.8, "fps": 4}),
        (frames, None, {"anchor": "middleTip", "offset": [0, -0.35], "width": 0.8, "fps": 4})])

    # Thumbs up: a "LIKE" badge above the thumb.
    c = Canvas(512, 256)
    c.ellipse((256, 128), (236, 104), (255, 255, 255))
    c.ellipse((256, 128), (222, 90), (52, 132, 240))
    c.poly(heart(98, 132, 110), (255, 90, 110))
    c.text("LIKE", (170, 166), 3.0, (255, 255, 255), 9)
    packages["thumbs_up_like"] = ("点赞", "Like badge", "thumbs_up", [
        (c, "like.png", {"anchor": "thumbTip", "offset": [0, -0.9], "width": 2.2})])

    # OK: a green ring badge at the thumb and index ring.
    c = Canvas(320, 320)
    c.ellipse((160, 160), (140, 140), (255, 255, 255), thickness=26)
    c.ellipse((160, 160), (140, 140), (40, 200, 90), thickness=16)
    for i in range(6):
        a = 2 * math.pi * i / 6 + 0.3
        sparkle(c, 160 + 140 * math.cos(a), 160 + 140 * math.sin(a), 22, (255, 240, 120))
    label = Canvas(320, 140)
    label.ellipse((160, 70), (150, 60), (40, 200, 90))
    label.text("OK!", (92, 104), 2.6, (255, 255, 255), 8)
    packages["ok_ring"] = ("OK徽章", "OK badge", "ok", [
        (c, "ring.png", {"anchor": "pinch", "width": 1.0}),
        (label, "label.png", {"anchor": "middleTip", "offset": [0, -0.6], "width": 1.6})])

    # Finger heart: hearts rising from the crossed finger tips.
    frames = []
    for f in range(3):
        h = Canvas(320, 480)
        for k, (x, size, colour) in enumerate([(160, 150, (255, 60, 100)), (80, 80, (255, 130, 170)),
                                                (236, 64, (255, 90, 130))]):
            y = 400 - ((f * 50 + k * 130) % 390)
            h.poly(heart(x, y, size), (255, 255, 255))
            h.poly(heart(x, y + 4, size * 0.82), colour)
        frames.append((h, "hearts_%d.png" % f))
    packages["finger_heart_love"] = ("比心", "Finger heart", "finger_heart", [
        (frames, None, {"anchor": "pinch", "offset": [0, -1.0], "width": 1.6, "fps": 6})])
    return packages


def write_panel(names):
    """beauty_panel/panel_json/hand_motions.json: one tile per sticker."""
    items = [{"displayName": "无", "displayNameEn": "None", "icon": "beauty_panel/panel_icon/beauty/others/none.png",
              "uiState": 2, "sdkParam": {"effectName": "motion", "effectValue": 0}}]
    for name, cn, en in names:
        items.append({"displayName": cn, "displayNameEn": en, "icon": f"res/gesture/{name}/icon.png", "uiState": 0,
                      "sdkParam": {"effectName": "motion", "effectValue": 0, "resourcePath": f"gesture/{name}"}})
    page = {"displayName": "手势贴纸", "displayNameEn": "Gesture stickers", "uiType": "CompositeType",
            "propertyList": [{"displayName": "手势贴纸", "displayNameEn": "Gesture stickers",
                              "uiType": "ClearSwitchButton"},
                             {"displayName": "手势贴纸", "displayNameEn": "Gesture stickers",
                              "uiType": "ScrollButtonGroup", "sdkParam": {"effectName": "motion"},
                              "propertyList": items}]}
    with open(os.path.join(ROOT, "beauty_panel", "panel_json", "hand_motions.json"), "w", encoding="utf-8") as f:
        json.dump(page, f, ensure_ascii=False, indent=2)
        f.write("\n")


def main():
    packages = draw_all()
    write_panel([(name, cn, en) for name, (cn, en, _, _) in packages.items()])
    for name, (cn, en, gesture, layers) in packages.items():
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
            json.dump({"type": "gesture", "name": en, "displayName": cn, "gesture": gesture, "hold": 0.4,
                       "layers": entries}, f, ensure_ascii=False, indent=2)
            f.write("\n")


if __name__ == "__main__":
    main()
