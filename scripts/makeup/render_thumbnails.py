#!/usr/bin/python3
"""Renders the panel icon (icon.png, 96 x 96) of every makeup package, look
and 2D sticker from the effect itself: velvix-render applies it at the
panel's default strength to res/demoImage/demo_image1.jpg and the part of
the face it paints is cut out. A sticker layer with a trigger is rendered
from a copy of its package with the trigger set to "always", since the
portrait neither opens its mouth nor raises its brows.

    render_thumbnails.py BUILD_BIN_DIR     (needs an X server, e.g. xvfb-run)"""
import json
import os
import subprocess
import sys
import shutil
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES = os.path.join(ROOT, "res")
PORTRAIT = os.path.join(RES, "demoImage", "demo_image1.jpg")
# Square crops of the 512 x 512 portrait: mouth, eyes and brows, cheeks, face.
CROPS = {"lipstick": "64x64+192+115", "eyeshadow": "96x96+175+50", "eyeliner": "96x96+175+50",
         "eyebrow": "96x96+175+50", "blush": "130x130+160+70", "contour": "130x130+160+70",
         "look": "150x150+150+45", "motion": "240x240+103+0"}


def render(render_bin, effect, package, value, out_png, crop, res=RES):
    with tempfile.TemporaryDirectory() as tmp:
        effects = os.path.join(tmp, "effects.json")
        full = os.path.join(tmp, "full.png")
        with open(effects, "w") as f:
            json.dump([{"effectName": effect, "effectValue": value, "resourcePath": package}], f)
        subprocess.run([render_bin, "--input", PORTRAIT, "--effects", effects, "--output", full,
                        "--resources", res], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["convert", full, "-crop", crop, "+repage", "-resize", "96x96", "-strip", out_png],
                       check=True)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    render_bin = os.path.join(sys.argv[1], "velvix-render")
    for folder in sorted(os.listdir(os.path.join(RES, "makeup"))):
        kind = folder.split("_")[0]
        render(render_bin, "makeup." + kind, "makeup/" + folder, 80,
               os.path.join(RES, "makeup", folder, "icon.png"), CROPS[kind])
    for family, effect in (("light_makeup", "light.makeup"), ("style_makeup", "makeup")):
        for folder in sorted(os.listdir(os.path.join(RES, family))):
            render(render_bin, effect, f"{family}/{folder}", 80,
                   os.path.join(RES, family, folder, "icon.png"), CROPS["look"])
    for folder in sorted(os.listdir(os.path.join(RES, "motion"))):
        with tempfile.TemporaryDirectory() as tmp:
            os.symlink(os.path.join(RES, "models"), os.path.join(tmp, "models"))
            copy = os.path.join(tmp, "motion", folder)
            shutil.copytree(os.path.join(RES, "motion", folder), copy)
            with open(os.path.join(copy, "template.json"), encoding="utf-8") as f:
                template = json.load(f)
            for layer in template["layers"]:
                layer.pop("trigger", None)
            with open(os.path.join(copy, "template.json"), "w", encoding="utf-8") as f:
                json.dump(template, f)
            render(render_bin, "motion", f"motion/{folder}", 0, os.path.join(RES, "motion", folder, "icon.png"),
                   CROPS["motion"], res=tmp)


if __name__ == "__main__":
    main()
