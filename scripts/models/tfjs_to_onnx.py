#!/usr/bin/python3
"""Converts a TF.js graph model (model.json + weight shards) into an ONNX file
that OpenCV 4.6's DNN importer reads.

Run with Debian's interpreter (/usr/bin/python3) so that python3-onnx and
python3-numpy are found.

    tfjs_to_onnx.py model.json out.onnx [--cut TENSOR:NAME ...]

The ONNX model keeps the TF.js interface: the input is NHWC float32 and every
output has the shape of the TF.js signature. Inside, 4-D tensors are NCHW.

What OpenCV 4.6 imports shapes the emitted graph:
  * Clip is written in its attribute form (min/max attributes, one input);
  * fully connected layers are 1x1 convolutions (Gemm does not import);
  * FP16 weight shards are expanded to FP32;
  * padding is always explicit (no auto_pad).
--cut makes an inner tensor an output and drops what only serves the rest of
the graph (for graphs whose post-processing uses ops OpenCV lacks, such as
ArgMax/GatherNd in MoveNet's decoder). A cut at the int32 input cast makes
the input float32.
"""
import argparse
import base64
import json
import os
import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

NCHW_FROM_NHWC = [0, 3, 1, 2]
NHWC_FROM_NCHW = [0, 2, 3, 1]


class ConversionError(Exception):
    pass


def read_weights(model_dir, manifest):
    """Returns {name: ndarray} for every weight of the manifest (FP16 -> FP32)."""
    out = {}
    for group in manifest:
        blob = b"".join(open(os.path.join(model_dir, p), "rb").read() for p in group["paths"])
        offset = 0
        for w in group["weights"]:
            shape = [int(s) for s in w["shape"]]
            count = int(np.prod(shape)) if shape else 1
            quant = w.get("quantization")
            if quant:
                if quant.get("dtype") != "float16":
                    raise ConversionError("unsupported quantization %r for %s" % (quant, w["name"]))
                raw = np.frombuffer(blob, dtype="<f2", count=count, offset=offset)
                offset += 2 * count
                arr = raw.astype(np.float32)
            elif w["dtype"] == "float32":
                arr = np.frombuffer(blob, dtype="<f4", count=count, offset=offset).copy()
                offset += 4 * count
            elif w["dtype"] == "int32":
                arr = np.frombuffer(blob, dtype="<i4", count=count, offset=offset).copy()
                offset += 4 * count
            else:
                raise ConversionError("unsupported weight type %s" % w["dtype"])
            out[w["name"]] = arr.reshape(shape)
        if offset != len(blob):
            raise ConversionError("weight shards hold %d bytes, manifest describes %d" % (len(blob), offset))
    return out


def attr_list(node, key):
    a = node.get("attr", {}).get(key)
    return [int(v) for v in a["list"].get("i", [])] if a else []


def attr_str(node, key, default=""):
    a = node.get("attr", {}).get(key)
    return base64.b64decode(a["s"]).decode() if a and "s" in a else default


def attr_bool(node, key):
    a = node.get("attr", {}).get(key)
    return bool(a and a.get("b"))


def attr_strs(node, key):
    a = node.get("attr", {}).get(key)
    return [base64.b64decode(s).decode() for s in a["list"].get("s", [])] if a else []


def same_pads(size, k, s):
    out = -(-size // s)
    total = max((out - 1) * s + k - size, 0)
    return total // 2, total - total // 2, out


class Tensor:
    """One TF tensor in the ONNX graph: its ONNX name, its TF (NHWC) shape and
    whether the ONNX value is stored NCHW (4-D only) or as in TF."""

    def __init__(self, name, shape, nchw):
        self.name, self.shape, self.nchw = name, list(shape), nchw


class Converter:
    def __init__(self, model_json, cuts):
        self.model_dir = os.path.dirname(os.path.abspath(model_json))
        self.model = json.load(open(model_json))
        topo = self.model["modelTopology"]
        self.nodes = {n["name"]: n for n in topo["node"]}
        self.consts = read_weights(self.model_dir, self.model["weightsManifest"])
        self.cuts = cuts
        self.values = {}
        self.onnx_nodes = []
        self.initializers = []
        self.inputs = []
        self.counter = 0

    # -- helpers --------------------------------------------------------
    def fresh(self, hint):
        self.counter += 1
        return "%s__%d" % (hint.replace(":", "_"), self.counter)

    def add_init(self, hint, array):
        name = self.fresh(hint)
        self.initializers.append(numpy_helper.from_array(np.ascontiguousarray(array), name))
        return name

    def emit(self, op, inputs, hint, **attrs):
        out = self.fresh(hint)
        self.onnx_nodes.append(helper.make_node(op, inputs, [out], name=out, **attrs))
        return out

    def as_nchw(self, t):
        if len(t.shape) != 4:
            raise ConversionError("expected a 4-D tensor, got %s" % t.shape)
        if t.nchw:
            return t.name
        return self.emit("Transpose", [t.name], "to_nchw", perm=NCHW_FROM_NHWC)

    def as_plain(self, t):
        if not t.nchw:
            return t.name
        return self.emit("Transpose", [t.name], "to_nhwc", perm=NHWC_FROM_NCHW)

    def const(self, name):
        base = name.split(":")[0]
        if base in self.consts:
            return self.consts[base]
        node = self.nodes.get(base)
        if node is not None and node["op"] == "Const":
            raise ConversionError("constant %s has no weight data" % base)
        return None

    def value(self, ref):
        ref = ref.lstrip("^")
        if ref in self.values:
            return self.values[ref]
        base = ref.split(":")[0]
        if ref.endswith(":0") and base in self.values:
            return self.values[base]
        self.convert(base)
        if ref in self.values:
            return self.values[ref]
        return self.values[base]

    def broadcast_const(self, array, target):
        """Lays a constant out to broadcast against `target` in ONNX layout."""
        a = np.asarray(array, dtype=np.float32)
        if target.nchw:
            a = a.reshape([1] * (4 - a.ndim) + list(a.shape)) if a.ndim < 4 else a
            a = a.transpose(NCHW_FROM_NHWC)
            # Drop the leading batch axis so OpenCV sees a per-channel blob.
            if a.shape[0] == 1:
                a = a[0]
        return a

    # -- graph walk -----------------------------------------------------
    def convert(self, name):
        if name in self.values:
            return
        node = self.nodes[name]
        op = node["op"]
        handler = getattr(self, "op_" + op, None)
        if handler is None:
            raise ConversionError("op %s (%s) is not supported" % (op, name))
        handler(node)

    def op_Placeholder(self, node):
        shape = [int(d.get("size", 1)) for d in node["attr"]["shape"]["shape"]["dim"]]
        shape = [1 if s < 0 else s for s in shape]
        self.inputs.append(helper.make_tensor_value_info(node["name"], TensorProto.FLOAT, shape))
        self.values[node["name"]] = Tensor(node["name"], shape, False)

    def op_Const(self, node):
        raise ConversionError("constant %s used as a tensor input" % node["name"])

    def alias(self, node, t):
        self.values[node["name"]] = t

    def op_Identity(self, node):
        self.alias(node, self.value(node["input"][0]))

    def op_Cast(self, node):
        # The only casts kept are int->float on the input image; the ONNX
        # input is float32 already.
        self.alias(node, self.value(node["input"][0]))

    def batch_noop(self, node, t, removes):
        # Unpack/ExpandDims/Squeeze of a batch of one on axis 0: the data is
        # unchanged; the tensor stays 4-D in ONNX.
        self.alias(node, t)

    def op_Unpack(self, node):
        t = self.value(node["input"][0])
        axis = node.get("attr", {}).get("axis", {}).get("i", "0")
        if int(axis) != 0 or t.shape[0] != 1:
            raise ConversionError("Unpack only of a batch of one")
        self.batch_noop(node, t, True)

    def op_ExpandDims(self, node):
        t = self.value(node["input"][0])
        dim = self.const(node["input"][1])
        if int(np.asarray(dim).reshape(-1)[0]) != 0 or len(t.shape) != 4:
            raise ConversionError("ExpandDims only of the batch axis")
        self.batch_noop(node, t, False)

    def op_Squeeze(self, node):
        t = self.value(node["input"][0])
        if attr_list(node, "squeeze_dims") != [0]:
            raise ConversionError("Squeeze only of the batch axis")
        self.batch_noop(node, t, True)

    def conv(self, node, x, w_hwio, bias, depthwise, strides, padding, fused, prelu=None):
        h, w = x.shape[1], x.shape[2]
        kh, kw = w_hwio.shape[0], w_hwio.shape[1]
        sh, sw = strides[1], strides[2]
        if padding == "SAME":
            pt, pb, oh = same_pads(h, kh, sh)
            pl, pr, ow = same_pads(w, kw, sw)
        elif padding == "VALID":
            pt = pb = pl = pr = 0
            oh, ow = (h - kh) // sh + 1, (w - kw) // sw + 1
        else:
            raise ConversionError("padding %s" % padding)
        cin = x.shape[3]
        if depthwise:
            mult = w_hwio.shape[3]
            weight = w_hwio.transpose(2, 3, 0, 1).reshape(cin * mult, 1, kh, kw)
            group, cout = cin, cin * mult
        else:
            weight = w_hwio.transpose(3, 2, 0, 1)
            group, cout = 1, w_hwio.shape[3]
        inputs = [self.as_nchw(x), self.add_init(node["name"] + "_w", weight.astype(np.float32))]
        if bias is not None:
            inputs.append(self.add_init(node["name"] + "_b", np.asarray(bias, np.float32).reshape(-1)))
        y = self.emit("Conv", inputs, node["name"], kernel_shape=[kh, kw], strides=[sh, sw],
                      pads=[pt, pl, pb, pr], group=group, dilations=[1, 1])
        out = Tensor(y, [1, oh, ow, cout], True)
        for f in fused:
            out = self.activation(f, out, node, prelu)
        return out

    def activation(self, kind, t, node, alpha=None):
        if kind == "BiasAdd":
            return t
        if kind == "Relu":
            return Tensor(self.emit("Relu", [t.name], node["name"] + "_relu"), t.shape, t.nchw)
        if kind == "Relu6":
            return Tensor(self.emit("Clip", [t.name], node["name"] + "_relu6", min=0.0, max=6.0),
                          t.shape, t.nchw)
        if kind == "Prelu":
            slope = self.broadcast_const(alpha, t)
            if slope.ndim == 3 and slope.shape[1:] != (1, 1):
                raise ConversionError("Prelu alpha must be per channel")
            return Tensor(self.emit("PRelu", [t.name, self.add_init(node["name"] + "_alpha", slope)],
                                    node["name"] + "_prelu"), t.shape, t.nchw)
        if kind == "Sigmoid":
            return Tensor(self.emit("Sigmoid", [t.name], node["name"] + "_sig"), t.shape, t.nchw)
        raise ConversionError("fused op %s in %s" % (kind, node["name"]))

    def op__FusedConv2D(self, node):
        fused = attr_strs(node, "fused_ops")
        if not fused or fused[0] != "BiasAdd":
            raise ConversionError("fused ops %s in %s" % (fused, node["name"]))
        x = self.value(node["input"][0])
        w = self.const(node["input"][1])
        b = self.const(node["input"][2])
        alpha = self.const(node["input"][3]) if "Prelu" in fused else None
        self.alias(node, self.conv(node, x, w, b, False, attr_list(node, "strides"),
                                   attr_str(node, "padding"), fused, alpha))

    def op_Conv2D(self, node):
        x = self.value(node["input"][0])
        w = self.const(node["input"][1])
        self.alias(node, self.conv(node, x, w, None, False, attr_list(node, "strides"),
                                   attr_str(node, "padding"), []))

    def op_DepthwiseConv2dNative(self, node):
        x = self.value(node["input"][0])
        w = self.const(node["input"][1])
        self.alias(node, self.conv(node, x, w, None, True, attr_list(node, "strides"),
                                   attr_str(node, "padding"), []))

    def op_FusedDepthwiseConv2dNative(self, node):
        fused = attr_strs(node, "fused_ops")
        if not fused or fused[0] != "BiasAdd":
            raise ConversionError("fused ops %s in %s" % (fused, node["name"]))
        x = self.value(node["input"][0])
        w = self.const(node["input"][1])
        b = self.const(node["input"][2])
        alpha = self.const(node["input"][3]) if "Prelu" in fused else None
        self.alias(node, self.conv(node, x, w, b, True, attr_list(node, "strides"),
                                   attr_str(node, "padding"), fused, alpha))

    def op_Conv2DBackpropInput(self, node):
        out_size = [int(v) for v in self.const(node["input"][0])]
        w = self.const(node["input"][1])  # H, W, out, in
        x = self.value(node["input"][2])
        sh, sw = attr_list(node, "strides")[1:3]
        kh, kw = w.shape[0], w.shape[1]
        pads = []
        for size_in, size_out, k, s in ((x.shape[1], out_size[1], kh, sh), (x.shape[2], out_size[2], kw, sw)):
            if attr_str(node, "padding") == "SAME":
                total = max((size_in - 1) * s + k - size_out, 0)
            else:
                total = 0
            pads.append((total // 2, total - total // 2))
            if (size_in - 1) * s + k - total != size_out:
                raise ConversionError("transposed convolution size mismatch in %s" % node["name"])
        weight = w.transpose(3, 2, 0, 1).astype(np.float32)  # in, out, H, W
        y = self.emit("ConvTranspose", [self.as_nchw(x), self.add_init(node["name"] + "_w", weight)],
                      node["name"], kernel_shape=[kh, kw], strides=[sh, sw],
                      pads=[pads[0][0], pads[1][0], pads[0][1], pads[1][1]])
        self.alias(node, Tensor(y, [1, out_size[1], out_size[2], w.shape[2]], True))

    def binary(self, node, onnx_op):
        a_ref, b_ref = node["input"][0], node["input"][1]
        ca, cb = self.const(a_ref), self.const(b_ref)
        if ca is not None and cb is not None:
            raise ConversionError("constant-only arithmetic in %s" % node["name"])
        if ca is not None:
            if onnx_op == "Sub":
                # c - x = (-x) + c
                t = self.value(b_ref)
                neg = self.emit("Mul", [t.name, self.add_init("minus1", self.broadcast_const(np.float32(-1), t))],
                                node["name"] + "_neg")
                t = Tensor(neg, t.shape, t.nchw)
                onnx_op, c = "Add", ca
            else:
                t, c = self.value(b_ref), ca
        elif cb is not None:
            t, c = self.value(a_ref), cb
            if onnx_op == "Sub":
                onnx_op, c = "Add", -np.asarray(cb, np.float32)
        else:
            ta, tb = self.value(a_ref), self.value(b_ref)
            try:
                shape = list(np.broadcast_shapes(tuple(ta.shape), tuple(tb.shape)))
            except ValueError:
                raise ConversionError("shapes %s and %s in %s" % (ta.shape, tb.shape, node["name"]))
            if ta.nchw != tb.nchw:
                names = [self.as_nchw(ta), self.as_nchw(tb)]
                nchw = True
            else:
                names, nchw = [ta.name, tb.name], ta.nchw
            self.alias(node, Tensor(self.emit(onnx_op, names, node["name"]), shape, nchw))
            return
        c = np.asarray(c, np.float32)
        if len(t.shape) == 4 and not t.nchw:
            # OpenCV applies constant operands per channel on axis 1.
            t = Tensor(self.as_nchw(t), t.shape, True)
        if c.ndim == 3 and t.nchw and c.shape[:2] != (1, 1):
            raise ConversionError("spatial constant in %s" % node["name"])
        y = self.emit(onnx_op, [t.name, self.add_init(node["name"] + "_c", self.broadcast_const(c, t))],
                      node["name"])
        self.alias(node, Tensor(y, t.shape, t.nchw))

    def op_AddV2(self, node):
        self.binary(node, "Add")

    def op_Add(self, node):
        self.binary(node, "Add")

    def op_Mul(self, node):
        self.binary(node, "Mul")

    def op_Sub(self, node):
        self.binary(node, "Sub")

    def op_AddN(self, node):
        ts = [self.value(i) for i in node["input"]]
        nchw = all(len(t.shape) == 4 for t in ts)
        names = [self.as_nchw(t) if nchw else self.as_plain(t) for t in ts]
        self.alias(node, Tensor(self.emit("Sum", names, node["name"]), ts[0].shape, nchw))

    def unary(self, node, kind):
        t = self.value(node["input"][0])
        self.alias(node, self.activation(kind, t, node))

    def op_Relu(self, node):
        self.unary(node, "Relu")

    def op_Relu6(self, node):
        self.unary(node, "Relu6")

    def op_Sigmoid(self, node):
        self.unary(node, "Sigmoid")

    def op_Prelu(self, node):
        t = self.value(node["input"][0])
        self.alias(node, self.activation("Prelu", t, node, self.const(node["input"][1])))

    def pool(self, node, onnx_op):
        x = self.value(node["input"][0])
        kh, kw = attr_list(node, "ksize")[1:3]
        sh, sw = attr_list(node, "strides")[1:3]
        if attr_str(node, "padding") == "SAME":
            pt, pb, oh = same_pads(x.shape[1], kh, sh)
            pl, pr, ow = same_pads(x.shape[2], kw, sw)
        else:
            pt = pb = pl = pr = 0
            oh, ow = (x.shape[1] - kh) // sh + 1, (x.shape[2] - kw) // sw + 1
        attrs = dict(kernel_shape=[kh, kw], strides=[sh, sw], pads=[pt, pl, pb, pr])
        if onnx_op == "AveragePool":
            attrs["count_include_pad"] = 0
        y = self.emit(onnx_op, [self.as_nchw(x)], node["name"], **attrs)
        self.alias(node, Tensor(y, [1, oh, ow, x.shape[3]], True))

    def op_MaxPool(self, node):
        self.pool(node, "MaxPool")

    def op_AvgPool(self, node):
        self.pool(node, "AveragePool")

    def op_Pad(self, node):
        x = self.value(node["input"][0])
        p = np.asarray(self.const(node["input"][1])).reshape(4, 2)
        if p[0].any():
            raise ConversionError("padding the batch axis in %s" % node["name"])
        order = NCHW_FROM_NHWC
        pads = [int(p[a][0]) for a in order] + [int(p[a][1]) for a in order]
        y = self.emit("Pad", [self.as_nchw(x)], node["name"], mode="constant", pads=pads, value=0.0)
        self.alias(node, Tensor(y, [x.shape[i] + int(p[i].sum()) for i in range(4)], True))

    def op_ResizeBilinear(self, node):
        x = self.value(node["input"][0])
        size = [int(v) for v in self.const(node["input"][1])]
        if attr_bool(node, "align_corners"):
            mode = "align_corners"
        elif attr_bool(node, "half_pixel_centers"):
            mode = "half_pixel"
        else:
            mode = "asymmetric"
        scales = np.array([1, 1, size[0] / x.shape[1], size[1] / x.shape[2]], np.float32)
        roi = self.add_init("roi", np.zeros(0, np.float32))
        y = self.emit("Resize", [self.as_nchw(x), roi, self.add_init("scales", scales)], node["name"],
                      mode="linear", coordinate_transformation_mode=mode)
        self.alias(node, Tensor(y, [1, size[0], size[1], x.shape[3]], True))

    def op_Reshape(self, node):
        x = self.value(node["input"][0])
        shape = [int(v) for v in self.const(node["input"][1])]
        total = int(np.prod(x.shape))
        if -1 in shape:
            known = int(np.prod([s for s in shape if s != -1]))
            shape = [total // known if s == -1 else s for s in shape]
        if int(np.prod(shape)) != total:
            raise ConversionError("reshape %s -> %s in %s" % (x.shape, shape, node["name"]))
        y = self.emit("Reshape", [self.as_plain(x), self.add_init("shape", np.array(shape, np.int64))],
                      node["name"])
        self.alias(node, Tensor(y, shape, False))

    def op_ConcatV2(self, node):
        ts = [self.value(i) for i in node["input"][:-1]]
        axis = int(np.asarray(self.const(node["input"][-1])).reshape(-1)[0])
        rank = len(ts[0].shape)
        axis = axis % rank
        if rank == 4 and all(t.nchw for t in ts):
            names, onnx_axis, nchw = [t.name for t in ts], NCHW_FROM_NHWC.index(axis), True
        else:
            names, onnx_axis, nchw = [self.as_plain(t) for t in ts], axis, False
        shape = list(ts[0].shape)
        shape[axis] = sum(t.shape[axis] for t in ts)
        self.alias(node, Tensor(self.emit("Concat", names, node["name"], axis=onnx_axis), shape, nchw))

    def op_Mean(self, node):
        x = self.value(node["input"][0])
        axes = sorted(int(a) for a in np.asarray(self.const(node["input"][1])).reshape(-1))
        if axes != [1, 2] or len(x.shape) != 4:
            raise ConversionError("Mean only over the spatial axes")
        y = self.emit("GlobalAveragePool", [self.as_nchw(x)], node["name"])
        if attr_bool(node, "keep_dims"):
            self.alias(node, Tensor(y, [1, 1, 1, x.shape[3]], True))
        else:
            # Kept as [1, C, 1, 1] for a following fully connected layer.
            t = Tensor(y, [1, x.shape[3]], False)
            t.nchw_4d = True
            self.alias(node, t)

    def op__FusedMatMul(self, node):
        x = self.value(node["input"][0])
        k = self.const(node["input"][1])
        b = self.const(node["input"][2])
        if attr_bool(node, "transpose_a") or attr_bool(node, "transpose_b") or len(x.shape) != 2:
            raise ConversionError("matrix product layout in %s" % node["name"])
        fused = attr_strs(node, "fused_ops")
        if fused[:1] != ["BiasAdd"]:
            raise ConversionError("fused ops %s in %s" % (fused, node["name"]))
        if getattr(x, "nchw_4d", False):
            src = x.name
        else:
            src = self.emit("Reshape", [x.name, self.add_init("shape", np.array([1, x.shape[1], 1, 1], np.int64))],
                            node["name"] + "_4d")
        weight = k.T.reshape(k.shape[1], k.shape[0], 1, 1).astype(np.float32)
        y = self.emit("Conv", [src, self.add_init(node["name"] + "_w", weight),
                               self.add_init(node["name"] + "_b", np.asarray(b, np.float32).reshape(-1))],
                      node["name"], kernel_shape=[1, 1], strides=[1, 1], pads=[0, 0, 0, 0])
        t = Tensor(y, [1, 1, 1, k.shape[1]], True)
        for f in fused[1:]:
            t = self.activation(f, t, node)
        flat = self.emit("Reshape", [t.name, self.add_init("shape", np.array([1, k.shape[1]], np.int64))],
                         node["name"] + "_flat")
        self.alias(node, Tensor(flat, [1, k.shape[1]], False))

    # -- outputs --------------------------------------------------------
    def build(self):
        outputs = []
        sig = self.model.get("signature", {}).get("outputs", {})
        if self.cuts:
            wanted = self.cuts
        elif sig:
            wanted = [(v["name"], v["name"].split(":")[0]) for v in sig.values()]
        else:
            # Graphs saved without a signature end in Identity nodes nothing reads.
            nodes = self.model["modelTopology"]["node"]
            read = {i.split(":")[0].lstrip("^") for n in nodes for i in n.get("input", [])}
            wanted = [(n["name"], n["name"]) for n in nodes if n["op"] == "Identity" and n["name"] not in read]
        if not wanted:
            raise ConversionError("the graph names no outputs (no signature); give them with --cut")
        graph_outputs = []
        for ref, out_name in wanted:
            t = self.value(ref)
            src = self.as_plain(t)
            if getattr(t, "nchw_4d", False):
                src = self.emit("Reshape", [src, self.add_init("shape", np.array(t.shape, np.int64))], "flat")
            self.onnx_nodes.append(helper.make_node("Identity", [src], [out_name], name=out_name))
            graph_outputs.append(helper.make_tensor_value_info(out_name, TensorProto.FLOAT, t.shape))
            outputs.append(out_name)
        graph = helper.make_graph(self.onnx_nodes, "converted", self.inputs, graph_outputs, self.initializers)
        model = helper.make_model(graph, producer_name="corvane-tfjs-to-onnx",
                                  opset_imports=[helper.make_opsetid("", 11)])
        model.ir_version = 7
        return model


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("model_json")
    ap.add_argument("output")
    ap.add_argument("--cut", action="append", default=[],
                    help="TENSOR:OUTPUT_NAME; make TENSOR an output named OUTPUT_NAME")
    args = ap.parse_args(argv)
    cuts = []
    for c in args.cut:
        ref, _, name = c.rpartition(":")
        cuts.append((ref, name))
    try:
        model = Converter(args.model_json, cuts).build()
    except (ConversionError, KeyError, ValueError, OSError) as e:
        print("tfjs_to_onnx: %s: %s" % (args.model_json, e), file=sys.stderr)
        return 1
    tmp = args.output + ".tmp"
    onnx.save(model, tmp)
    os.replace(tmp, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
