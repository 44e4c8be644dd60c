#!/usr/bin/python3
"""Renders the panel icon (icon.png, 96 x 96) of every gesture sticker from
the effect itself: velvix-render applies the package to the drawn hand
picture of its gesture (res/demoImage/hand_<gesture>.png) and the hand is
cut out. A gesture without a drawn picture is rendered from a copy of its
package that answers to the open palm instead, the way the 2D sticker icons
set triggers to "always".

    render_gesture_icons.py BUILD_BIN_DIR     (needs an X server, e.g. xvfb-run)"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES = os.path.join(ROOT, "res")
CROP = "330x330+155+15"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    render_bin = os.path.join(sys.argv[1], "velvix-render")
    for folder in sorted(os.listdir(os.path.join(RES, "gesture"))):
        with tempfile.TemporaryDirectory() as tmp:
            os.symlink(os.path.join(RES, "models"), os.path.join(tmp, "models"))
            copy = os.path.join(tmp, "gesture", folder)
            shutil.copytree(os.path.join(RES, "gesture", folder), copy)
            with open(os.path.join(copy, "template.json"), encoding="utf-8") as f:
                template = json.load(f)
            picture = os.path.join(RES, "demoImage", "hand_%s.png" % template["gesture"])
            if not os.path.exists(picture):
                template["gesture"] = "open_palm"
                picture = os.path.join(RES, "demoImage", "hand_open_palm.png")
            with open(os.path.join(copy, "template.json"), "w", encoding="utf-8") as f:
                json.dump(template, f)
            effects = os.path.join(tmp, "effects.json")
            full = os.path.join(tmp, "full.png")
            with open(effects, "w") as f:
                json.dump([{"effectName": "motion", "effectValue": 0, "resourcePath": "gesture/" + folder}], f)
            subprocess.run([render_bin, "--input", picture, "--effects", effects, "--output", full,
                            "--resources", tmp], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["convert", full, "-crop", CROP, "+repage", "-resize", "96x96", "-strip",
                            os.path.join(RES, "gesture", folder, "icon.png")], check=True)


if __name__ == "__main__":
    main()
