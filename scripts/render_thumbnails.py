#!/usr/bin/env python3
"""Renders the panel's filter and template thumbnails with velvix-render.

Every panel item whose "icon" lies under beauty_panel/panel_icon/thumbs/ gets
that file rendered from a demo portrait through the item's own effects (its
paramList, or else its sdkParam), so a tile shows what the item does.

    python3 scripts/render_thumbnails.py --bin build/bin

BIN is the folder with velvix-render, beauty_panel/ and res/ (the build puts
them together). Without a DISPLAY it runs itself under xvfb-run. The build
runs it (target panel_thumbnails); the thumbnails are not kept in git.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

THUMBS = "beauty_panel/panel_icon/thumbs/"
# The face of demo_image1.jpg (512 x 512), at twice the 65 px tile size.
PORTRAIT = "res/demoImage/demo_image1.jpg"
CROP = "130,0,200,200"
SIZE = "130x130"


def items(node):
    yield node
    for child in node.get("propertyList", []) or []:
        if isinstance(child, dict):
            yield from items(child)


def effects_of(item):
    plist = [e for e in item.get("paramList", []) or [] if isinstance(e, dict)]
    if plist:
        return plist
    param = item.get("sdkParam")
    return [param] if isinstance(param, dict) and param.get("effectName") else []


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder with velvix-render, beauty_panel/ and res/")
    args = parser.parse_args()
    bindir = os.path.abspath(args.bin)

    if not os.environ.get("DISPLAY") and not os.environ.get("RENDER_THUMBNAILS_UNDER_XVFB"):
        env = dict(os.environ, RENDER_THUMBNAILS_UNDER_XVFB="1")
        cmd = ["xvfb-run", "-a", "-s", "-screen 0 640x480x24 +extension GLX",
               sys.executable, os.path.abspath(__file__), "--bin", bindir]
        return subprocess.call(cmd, env=env)

    panel_dir = os.path.join(bindir, "beauty_panel", "panel_json")
    jobs = {}
    for name in sorted(os.listdir(panel_dir)):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(panel_dir, name), encoding="utf-8") as f:
            root = json.load(f)
        for item in items(root):
            icon = item.get("icon", "")
            if isinstance(icon, str) and icon.startswith(THUMBS):
                jobs[icon] = effects_of(item)

    env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE=os.environ.get("LIBGL_ALWAYS_SOFTWARE", "1"))
    # In sanitizer builds the renderer is instrumented too; what Mesa and Qt
    # keep at exit is not ours to report, and the tiles are still right.
    env["ASAN_OPTIONS"] = "detect_leaks=0:" + env.get("ASAN_OPTIONS", "")
    env["TSAN_OPTIONS"] = "report_bugs=0:exitcode=0:" + env.get("TSAN_OPTIONS", "")
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for n, (icon, effects) in enumerate(sorted(jobs.items())):
            out = os.path.join(bindir, icon)
            os.makedirs(os.path.dirname(out), exist_ok=True)
            effects_file = os.path.join(tmp, "effects%d.json" % n)
            with open(effects_file, "w", encoding="utf-8") as f:
                json.dump(effects, f)
            cmd = [os.path.join(bindir, "velvix-render"), "--input", os.path.join(bindir, PORTRAIT),
                   "--effects", effects_file, "--output", out, "--crop", CROP, "--size", SIZE]
            result = subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            if result.returncode != 0:
                failed += 1
                sys.stderr.write("render_thumbnails: %s failed (%d): %s\n" % (icon, result.returncode,
                                                                             result.stderr.strip()))
    print("render_thumbnails: %d thumbnails, %d failed" % (len(jobs), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
