#!/usr/bin/python3
"""Renders the panel thumbnails of the person packages with the engine itself:
velvix-render on the demo portrait with each package, cropped to a square
about the head and shoulders, 130 x 130 (the panel shows 65 x 65 at 2x).

    render_thumbnails.py VELVIX_RENDER          (needs an X server / Xvfb)
writes res/segmentation/<name>/thumbnail.png for every person package."""
import json
import os
import subprocess
import sys
import tempfile

import cv2

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)
PORTRAIT = os.path.join(RES, "demoImage", "demo_image2.jpg")


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 1
    render = argv[1]
    for name in sorted(os.listdir(HERE)):
        manifest = os.path.join(HERE, name, "template.json")
        if not os.path.exists(manifest):
            continue
        with open(manifest) as f:
            if json.load(f).get("type") != "person":
                continue
        with tempfile.TemporaryDirectory() as tmp:
            effects = os.path.join(tmp, "effects.json")
            out = os.path.join(tmp, "out.png")
            with open(effects, "w") as f:
                json.dump([{"effectName": "segmentation", "effectValue": 0,
                            "resourcePath": "segmentation/" + name}], f)
            subprocess.run([render, "--input", PORTRAIT, "--effects", effects, "--output", out,
                            "--resources", RES], check=True)
            picture = cv2.imread(out)
        h, w = picture.shape[:2]
        side = min(w, h)
        square = picture[0:side, (w - side) // 2:(w - side) // 2 + side]
        thumb = cv2.resize(square, (130, 130), interpolation=cv2.INTER_AREA)
        cv2.imwrite(os.path.join(HERE, name, "thumbnail.png"), thumb)
        print("wrote", name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
