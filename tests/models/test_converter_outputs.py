#!/usr/bin/python3
"""tfjs_to_onnx.py on graphs saved without a signature: the Identity nodes
that nothing reads become the outputs; a graph that names no output is
refused (exit 1, no file) instead of becoming an empty model."""
import json
import os
import subprocess
import sys
import tempfile

import cv2
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERTER = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "models", "tfjs_to_onnx.py")


def graph(with_identity):
    nodes = [{"name": "input_1", "op": "Placeholder",
              "attr": {"shape": {"shape": {"dim": [{"size": "1"}, {"size": "4"}, {"size": "4"}, {"size": "3"}]}}}},
             {"name": "relu", "op": "Relu", "input": ["input_1"]}]
    if with_identity:
        nodes.append({"name": "Identity", "op": "Identity", "input": ["relu"]})
    return {"format": "graph-model", "modelTopology": {"node": nodes}, "weightsManifest": []}


def convert(folder, model):
    src, out = os.path.join(folder, "model.json"), os.path.join(folder, "out.onnx")
    with open(src, "w") as f:
        json.dump(model, f)
    rc = subprocess.run([sys.executable, CONVERTER, src, out], capture_output=True).returncode
    return rc, out


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        rc, out = convert(folder, graph(True))
        x = np.linspace(-1, 1, 48, dtype=np.float32).reshape(1, 4, 4, 3)
        if rc != 0 or not os.path.exists(out):
            print("FAIL: a graph ending in Identity did not convert (exit %d)" % rc)
            failures += 1
        else:
            net = cv2.dnn.readNetFromONNX(out)
            net.setInput(x)
            got = net.forward("Identity")
            if got.shape != x.shape or np.abs(got - np.maximum(x, 0)).max() > 1e-6:
                print("FAIL: output Identity %s differs from relu(input)" % (got.shape,))
                failures += 1
        os.remove(out) if os.path.exists(out) else None
        rc, out = convert(folder, graph(False))
        if rc != 1 or os.path.exists(out):
            print("FAIL: a graph without outputs gave exit %d, file %s" % (rc, os.path.exists(out)))
            failures += 1
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
