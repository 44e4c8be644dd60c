#!/usr/bin/python3
"""Runs every converted ONNX model with OpenCV's DNN module on a real picture
and compares each output with the NumPy evaluation of the original TF.js
graph (tfjs_reference.py). Largest allowed difference: 1e-3.

    test_converted_models.py MODELS_DIR PICTURE [--cache DIR]

Exit status 77 (skipped) when the model set-up has not been run."""
import argparse
import json
import os
import sys

import cv2
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
from tfjs_reference import TfjsGraph  # noqa: E402

TOLERANCE = 1e-3


def package_key(pkg):
    return "%s-%s" % (pkg["name"].lstrip("@").replace("/", "-"), pkg["version"])


def model_input(picture, shape, value_range):
    img = cv2.cvtColor(cv2.imread(picture), cv2.COLOR_BGR2RGB)
    img = cv2.resize(img, (shape[2], shape[1]), interpolation=cv2.INTER_AREA).astype(np.float32)
    lo, hi = value_range
    return (lo + img * ((hi - lo) / 255.0))[None]


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("models_dir")
    ap.add_argument("picture")
    ap.add_argument("--cache", default=os.environ.get("CORVANE_MODEL_CACHE",
                                                       os.path.expanduser("~/.cache/corvane-models")))
    args = ap.parse_args(argv)
    with open(os.path.join(ROOT, "scripts", "models", "models.json")) as f:
        manifest = json.load(f)
    packages = {p["name"]: os.path.join(args.cache, package_key(p)) for p in manifest["packages"]}

    failures = checked = 0
    for model in manifest["models"]:
        if "tfjs" not in model:
            continue  # shipped as ONNX, nothing of ours to check
        onnx_path = os.path.join(args.models_dir, model["onnx"])
        tfjs_path = os.path.join(packages[model["package"]], model["tfjs"])
        if not os.path.exists(onnx_path) or not os.path.exists(tfjs_path):
            print("SKIP: %s or %s missing; run scripts/models/setup_models.py" % (onnx_path, tfjs_path))
            return 77
        x = model_input(args.picture, model["input"], model["input_range"])
        graph = TfjsGraph(tfjs_path)
        inputs = [n["name"] for n in graph.model["modelTopology"]["node"] if n["op"] == "Placeholder"]
        if model.get("cuts"):
            fetch = [c.rpartition(":")[0] for c in model["cuts"]]
            names = [c.rpartition(":")[2] for c in model["cuts"]]
        elif graph.model.get("signature"):
            sig = graph.model["signature"]["outputs"].values()
            fetch = [s["name"] for s in sig]
            names = [s["name"].split(":")[0] for s in sig]
        else:  # no signature: the Identity nodes nothing reads
            nodes = graph.model["modelTopology"]["node"]
            read = {i.split(":")[0].lstrip("^") for n in nodes for i in n.get("input", [])}
            fetch = names = [n["name"] for n in nodes if n["op"] == "Identity" and n["name"] not in read]
        expected = graph.run({inputs[0]: x}, fetch)

        net = cv2.dnn.readNetFromONNX(onnx_path)
        net.setInput(x)
        got = net.forward(names)
        for name, e, g in zip(names, expected, got):
            checked += 1
            if e.shape != g.shape:
                print("FAIL %s/%s: shape %s, expected %s" % (model["onnx"], name, g.shape, e.shape))
                failures += 1
                continue
            diff = float(np.abs(e - g).max())
            status = "ok" if diff < TOLERANCE else "FAIL"
            failures += status == "FAIL"
            print("%-4s %s/%s %s: largest difference %.2e (values up to %.3g)"
                  % (status, model["onnx"], name, g.shape, diff, float(np.abs(e).max())))
    print("%d passed, %d failed" % (checked - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
