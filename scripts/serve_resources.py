#!/usr/bin/env python3
"""Packs effect resources as zip archives and serves them on 127.0.0.1, the
way the program downloads resources it does not have yet.

    python3 scripts/serve_resources.py [--res build/bin/res] [--port 8642] [FOLDER...]

Every FOLDER (relative to --res, e.g. segmentation/sunset_glow) becomes
FOLDER.zip holding the folder itself as its top-level directory (what the
extractor expects), served at http://127.0.0.1:PORT/FOLDER.zip. Without
folders it packs every folder the shipped panel files name in a
"resourceUri". --port 0 picks a free port. The first line printed is
"serving http://127.0.0.1:PORT/". Stop it with Ctrl+C.
"""
import argparse
import functools
import http.server
import json
import os
import sys
import tempfile
import urllib.parse
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def folders_named_by_panel(panel_dir):
    found = []

    def walk(node, download_path):
        if not isinstance(node, dict):
            return download_path
        download_path = node.get("downloadPath") or download_path
        uri = node.get("resourceUri")
        if isinstance(uri, str) and uri:
            name = urllib.parse.unquote(urllib.parse.urlparse(uri).path.rsplit("/", 1)[-1])
            if name.endswith(".zip"):
                found.append(download_path + name[:-4])
        for child in node.get("propertyList", []) or []:
            download_path = walk(child, download_path)
        return download_path

    for name in sorted(os.listdir(panel_dir)):
        if name.endswith(".json"):
            with open(os.path.join(panel_dir, name), encoding="utf-8") as f:
                walk(json.load(f), "")
    return found


def pack(res_dir, folder, out_dir):
    source = os.path.join(res_dir, folder)
    if not os.path.isdir(source):
        sys.exit("serve_resources: %s is not a folder" % source)
    target = os.path.join(out_dir, folder + ".zip")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    top = os.path.basename(folder.rstrip("/"))
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        for base, _, files in os.walk(source):
            for name in sorted(files):
                path = os.path.join(base, name)
                archive.write(path, os.path.join(top, os.path.relpath(path, source)))
    return target


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--res", default=os.path.join(ROOT, "res"), help="resource folder (default: res/)")
    parser.add_argument("--port", type=int, default=8642)
    parser.add_argument("folders", nargs="*")
    args = parser.parse_args()
    folders = args.folders or folders_named_by_panel(os.path.join(ROOT, "beauty_panel", "panel_json"))
    with tempfile.TemporaryDirectory(prefix="effect-resources-") as out_dir:
        for folder in folders:
            pack(os.path.abspath(args.res), folder, out_dir)
        handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=out_dir)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler)
        print("serving http://127.0.0.1:%d/" % server.server_address[1], flush=True)
        for folder in folders:
            print("  %s.zip" % folder, flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
