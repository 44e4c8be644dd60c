"""A plain NumPy evaluator of TF.js graph models, in float64 and in TF's own
NHWC layout. It is the reference the converted ONNX models are checked
against, so it shares no code with the converter: it reads the weight shards
itself and follows TensorFlow's op definitions directly."""
import base64
import json
import os

import numpy as np
from numpy.lib.stride_tricks import sliding_window_view


def _load_weights(folder, manifest):
    weights = {}
    for group in manifest:
        data = bytearray()
        for path in group["paths"]:
            with open(os.path.join(folder, path), "rb") as f:
                data += f.read()
        pos = 0
        for entry in group["weights"]:
            shape = tuple(int(d) for d in entry["shape"])
            n = 1
            for d in shape:
                n *= d
            q = entry.get("quantization")
            if q is not None:
                assert q["dtype"] == "float16", q
                dtype, size = np.float16, 2
            else:
                dtype, size = {"float32": (np.float32, 4), "int32": (np.int32, 4)}[entry["dtype"]]
            arr = np.frombuffer(bytes(data[pos:pos + n * size]), dtype=np.dtype(dtype).newbyteorder("<"))
            pos += n * size
            weights[entry["name"]] = arr.reshape(shape)
    return weights


def _attr(node, key, default=None):
    a = node.get("attr", {}).get(key)
    if a is None:
        return default
    if "list" in a:
        lst = a["list"]
        if "i" in lst:
            return [int(v) for v in lst["i"]]
        if "s" in lst:
            return [base64.b64decode(v).decode() for v in lst["s"]]
        return []
    if "s" in a:
        return base64.b64decode(a["s"]).decode()
    if "b" in a:
        return bool(a["b"])
    if "i" in a:
        return int(a["i"])
    if "f" in a:
        return float(a["f"])
    return default


def _tf_padding(size, k, s, mode):
    if mode == "VALID":
        return 0, 0
    out = (size + s - 1) // s
    need = max(0, (out - 1) * s + k - size)
    return need // 2, need - need // 2


def _pad_hw(x, kh, kw, sh, sw, mode, value=0.0):
    t, b = _tf_padding(x.shape[1], kh, sh, mode)
    l, r = _tf_padding(x.shape[2], kw, sw, mode)
    return np.pad(x, ((0, 0), (t, b), (l, r), (0, 0)), constant_values=value)


def _windows(x, kh, kw, sh, sw):
    # [N, OH, OW, C, kh, kw]
    return sliding_window_view(x, (kh, kw), axis=(1, 2))[:, ::sh, ::sw]


def conv2d(x, w, strides, padding):
    kh, kw = w.shape[:2]
    xp = _pad_hw(x, kh, kw, strides[1], strides[2], padding)
    win = _windows(xp, kh, kw, strides[1], strides[2])
    return np.einsum("nyxcij,ijco->nyxo", win, w, optimize=True)


def depthwise(x, w, strides, padding):
    kh, kw, c, m = w.shape
    xp = _pad_hw(x, kh, kw, strides[1], strides[2], padding)
    win = _windows(xp, kh, kw, strides[1], strides[2])
    out = np.einsum("nyxcij,ijcm->nyxcm", win, w, optimize=True)
    return out.reshape(out.shape[0], out.shape[1], out.shape[2], c * m)


def conv_transpose(x, w, out_shape, strides, padding):
    kh, kw, oc, ic = w.shape
    n, h, wd, _ = x.shape
    sh, sw = strides[1], strides[2]
    oh, ow = out_shape[1], out_shape[2]
    # The forward convolution this is the gradient of maps [oh, ow] -> [h, wd].
    pt = pl = 0
    if padding == "SAME":
        pt = max(0, (h - 1) * sh + kh - oh) // 2
        pl = max(0, (wd - 1) * sw + kw - ow) // 2
    full = np.zeros((n, (h - 1) * sh + kh, (wd - 1) * sw + kw, oc))
    for i in range(kh):
        for j in range(kw):
            full[:, i:i + (h - 1) * sh + 1:sh, j:j + (wd - 1) * sw + 1:sw, :] += \
                np.einsum("nyxc,oc->nyxo", x, w[i, j])
    return full[:, pt:pt + oh, pl:pl + ow, :]


def pool(x, ksize, strides, padding, kind):
    kh, kw = ksize[1], ksize[2]
    sh, sw = strides[1], strides[2]
    if kind == "max":
        xp = _pad_hw(x, kh, kw, sh, sw, padding, -np.inf)
        return _windows(xp, kh, kw, sh, sw).max(axis=(4, 5))
    xp = _pad_hw(x, kh, kw, sh, sw, padding, 0.0)
    ones = _pad_hw(np.ones(x.shape[:3] + (1,)), kh, kw, sh, sw, padding, 0.0)
    s = _windows(xp, kh, kw, sh, sw).sum(axis=(4, 5))
    cnt = _windows(ones, kh, kw, sh, sw).sum(axis=(4, 5))
    return s / cnt


def resize_bilinear(x, size, align_corners, half_pixel):
    n, h, w, c = x.shape
    oh, ow = size

    def axis(insz, outsz):
        if align_corners and outsz > 1:
            scale = (insz - 1) / (outsz - 1)
        else:
            scale = insz / outsz
        o = np.arange(outsz, dtype=np.float64)
        src = (o + 0.5) * scale - 0.5 if half_pixel else o * scale
        lo = np.floor(src)
        frac = src - lo
        i0 = np.clip(lo, 0, insz - 1).astype(int)
        i1 = np.clip(np.ceil(src), 0, insz - 1).astype(int)
        return i0, i1, frac

    y0, y1, fy = axis(h, oh)
    x0, x1, fx = axis(w, ow)
    fy = fy[None, :, None, None]
    fx = fx[None, None, :, None]
    top = x[:, y0][:, :, x0] * (1 - fx) + x[:, y0][:, :, x1] * fx
    bot = x[:, y1][:, :, x0] * (1 - fx) + x[:, y1][:, :, x1] * fx
    return top * (1 - fy) + bot * fy


def _act(x, name, alpha=None):
    if name == "BiasAdd":
        return x
    if name == "Relu":
        return np.maximum(x, 0)
    if name == "Relu6":
        return np.clip(x, 0, 6)
    if name == "Prelu":
        return np.where(x > 0, x, alpha * x)
    if name == "Sigmoid":
        return 0.5 * (1 + np.tanh(0.5 * x))  # overflow-free logistic
    raise NotImplementedError(name)


class TfjsGraph:
    def __init__(self, model_json):
        with open(model_json) as f:
            self.model = json.load(f)
        self.nodes = {n["name"]: n for n in self.model["modelTopology"]["node"]}
        self.weights = _load_weights(os.path.dirname(os.path.abspath(model_json)),
                                     self.model["weightsManifest"])

    def run(self, feeds, fetches):
        """feeds: {placeholder name: array}; fetches: tensor names ("node" or
        "node:k"). Returns a list of float64 arrays."""
        cache = {}
        for k, v in feeds.items():
            cache[k] = np.asarray(v, np.float64)

        def get(ref):
            ref = ref.lstrip("^")
            name, _, idx = ref.partition(":")
            idx = int(idx) if idx else 0
            if name not in cache:
                cache[name] = evaluate(self.nodes[name])
            v = cache[name]
            return v[idx] if isinstance(v, tuple) else v

        def evaluate(node):
            op = node["op"]
            ins = node.get("input", [])
            if op == "Const":
                return np.asarray(self.weights[node["name"]], np.float64) \
                    if self.weights[node["name"]].dtype.kind == "f" else self.weights[node["name"]]
            if op in ("Identity", "Cast"):
                return get(ins[0])
            if op == "Unpack":
                x = get(ins[0])
                axis = _attr(node, "axis", 0)
                return tuple(np.take(x, i, axis=axis) for i in range(x.shape[axis]))
            if op == "ExpandDims":
                return np.expand_dims(get(ins[0]), int(np.asarray(get(ins[1])).reshape(-1)[0]))
            if op == "Squeeze":
                return np.squeeze(get(ins[0]), axis=tuple(_attr(node, "squeeze_dims")))
            if op in ("Conv2D", "_FusedConv2D"):
                y = conv2d(get(ins[0]), get(ins[1]), _attr(node, "strides"), _attr(node, "padding"))
                fused = _attr(node, "fused_ops", [])
                if fused:
                    y = y + get(ins[2])
                    for f in fused:
                        y = _act(y, f, get(ins[3]) if f == "Prelu" else None)
                return y
            if op in ("DepthwiseConv2dNative", "FusedDepthwiseConv2dNative"):
                y = depthwise(get(ins[0]), get(ins[1]), _attr(node, "strides"), _attr(node, "padding"))
                fused = _attr(node, "fused_ops", [])
                if fused:
                    y = y + get(ins[2])
                    for f in fused:
                        y = _act(y, f, get(ins[3]) if f == "Prelu" else None)
                return y
            if op == "Conv2DBackpropInput":
                return conv_transpose(get(ins[2]), get(ins[1]), [int(v) for v in get(ins[0])],
                                      _attr(node, "strides"), _attr(node, "padding"))
            if op in ("Add", "AddV2"):
                return get(ins[0]) + get(ins[1])
            if op == "AddN":
                return sum(get(i) for i in ins)
            if op == "Sub":
                return get(ins[0]) - get(ins[1])
            if op == "Mul":
                return get(ins[0]) * get(ins[1])
            if op in ("Relu", "Relu6", "Sigmoid"):
                return _act(get(ins[0]), op)
            if op == "Prelu":
                return _act(get(ins[0]), "Prelu", get(ins[1]))
            if op == "MaxPool":
                return pool(get(ins[0]), _attr(node, "ksize"), _attr(node, "strides"), _attr(node, "padding"), "max")
            if op == "AvgPool":
                return pool(get(ins[0]), _attr(node, "ksize"), _attr(node, "strides"), _attr(node, "padding"), "avg")
            if op == "Pad":
                return np.pad(get(ins[0]), np.asarray(get(ins[1])).astype(int))
            if op == "ResizeBilinear":
                return resize_bilinear(get(ins[0]), [int(v) for v in get(ins[1])],
                                       _attr(node, "align_corners", False), _attr(node, "half_pixel_centers", False))
            if op == "Reshape":
                return get(ins[0]).reshape([int(v) for v in get(ins[1])])
            if op == "ConcatV2":
                return np.concatenate([get(i) for i in ins[:-1]], axis=int(np.asarray(get(ins[-1])).reshape(-1)[0]))
            if op == "Mean":
                axes = tuple(int(a) for a in np.asarray(get(ins[1])).reshape(-1))
                return get(ins[0]).mean(axis=axes, keepdims=bool(_attr(node, "keep_dims", False)))
            if op == "_FusedMatMul":
                a, b = get(ins[0]), get(ins[1])
                if _attr(node, "transpose_a", False):
                    a = a.T
                if _attr(node, "transpose_b", False):
                    b = b.T
                y = a @ b
                for f in _attr(node, "fused_ops", []):
                    y = y + get(ins[2]) if f == "BiasAdd" else _act(y, f)
                return y
            raise NotImplementedError("%s (%s)" % (op, node["name"]))

        return [get(f) for f in fetches]
