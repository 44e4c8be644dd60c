#!/usr/bin/python3
"""Makes the shipped 3D sticker packages (our own geometry and artwork):
res/motion3d/<name>/template.json, *.obj meshes and *.png textures.

Meshes are built as parametric grids (surfaces of revolution, swept tubes,
shells following the head) with smooth normals from the grid's own
derivatives, in the face tracker's head frame: millimetres, origin at the
nose tip, x towards the subject's left, y down, z into the head. The engine's
head proxy is the ellipsoid HEAD_C / HEAD_R below; what sits on the head is
placed just outside it. Needs python3-numpy and python3-opencv (Debian).
Rerun after a change; the build renders the panel icons from the result."""
import json
import math
import os

import cv2
import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "res", "motion3d")
HEAD_C = np.array([0.0, -43.0, 113.0])
HEAD_R = np.array([75.0, 107.0, 91.0])
HAIR = 14.0  # what sits on the head clears a layer of hair
RNG = np.random.default_rng(7)


class Mesh:
    def __init__(self):
        self.pos, self.nrm, self.uv, self.tri = [], [], [], []
        self.count = 0

    def grid(self, p, uv=None, wrap_u=False, wrap_v=False, flip=False):
        """Adds a grid of points p[nu, nv, 3] as triangles with smooth normals."""
        p = np.asarray(p, np.float64)
        nu, nv = p.shape[:2]
        if uv is None:
            uu, vv = np.meshgrid(np.arange(nu) / (nu if wrap_u else nu - 1),
                                 np.arange(nv) / (nv if wrap_v else nv - 1), indexing="ij")
            uv = np.stack([uu, vv], -1)
        uv = np.asarray(uv, np.float64)

        def deriv(axis, wrap):
            if wrap:
                return np.roll(p, -1, axis) - np.roll(p, 1, axis)
            return np.gradient(p, axis=axis)

        n = np.cross(deriv(0, wrap_u), deriv(1, wrap_v))
        length = np.linalg.norm(n, axis=-1, keepdims=True)
        # Degenerate rows (a pole, a tip): borrow the neighbour's normal.
        bad = length[..., 0] < 1e-9
        if bad.any():
            centre = p.reshape(-1, 3).mean(0)
            n[bad] = p[bad] - centre
            length = np.linalg.norm(n, axis=-1, keepdims=True)
        n = n / np.maximum(length, 1e-12)
        if flip:
            n = -n
        # A closed direction gets its first row again at the end, with the
        # texture coordinate running on to 1, so no triangle spans the seam.
        if wrap_u:
            p, n = np.concatenate([p, p[:1]], 0), np.concatenate([n, n[:1]], 0)
            uv = np.concatenate([uv, uv[:1] + np.array([1.0, 0.0])], 0)
            nu += 1
        if wrap_v:
            p, n = np.concatenate([p, p[:, :1]], 1), np.concatenate([n, n[:, :1]], 1)
            uv = np.concatenate([uv, uv[:, :1] + np.array([0.0, 1.0])], 1)
            nv += 1
        base = self.count
        self.pos.append(p.reshape(-1, 3))
        self.nrm.append(n.reshape(-1, 3))
        self.uv.append(uv.reshape(-1, 2))
        self.count += nu * nv
        for i in range(nu - 1):
            for j in range(nv - 1):
                a = base + i * nv + j
                b = base + (i + 1) * nv + j
                c = base + (i + 1) * nv + j + 1
                d = base + i * nv + j + 1
                self.tri.append((a, b, c))
                self.tri.append((a, c, d))

    def save(self, path):
        pos = np.concatenate(self.pos)
        nrm = np.concatenate(self.nrm)
        uv = np.concatenate(self.uv)
        with open(path, "w") as f:
            f.write("# CorvaneEffect 3D sticker mesh (scripts/motion3d/make_meshes.py), head frame in mm\n")
            for x, y, z in pos:
                f.write("v %.2f %.2f %.2f\n" % (x, y, z))
            for u, v in uv:
                f.write("vt %.3f %.3f\n" % (u, v))
            for x, y, z in nrm:
                f.write("vn %.3f %.3f %.3f\n" % (x, y, z))
            for a, b, c in self.tri:
                f.write("f %d/%d/%d %d/%d/%d %d/%d/%d\n" % (a + 1, a + 1, a + 1, b + 1, b + 1, b + 1,
                                                         c + 1, c + 1, c + 1))
        return len(self.tri)


def frames_along(path, closed):
    """Parallel-transport frames (tangent, normal, binormal) along a polyline."""
    if closed:
        t = np.roll(path, -1, 0) - np.roll(path, 1, 0)
    else:
        t = np.gradient(path, axis=0)
    t /= np.linalg.norm(t, axis=1, keepdims=True)
    ref = np.array([0.0, 0.0, 1.0]) if abs(t[0][2]) < 0.9 else np.array([1.0, 0.0, 0.0])
    n = np.cross(t[0], ref)
    n /= np.linalg.norm(n)
    ns = [n]
    for i in range(1, len(path)):
        n = ns[-1] - t[i] * np.dot(ns[-1], t[i])
        n /= np.linalg.norm(n)
        ns.append(n)
    ns = np.array(ns)
    return t, ns, np.cross(t, ns)


def tube(mesh, path, radius, closed=False, sides=16, squash=1.0, up=None):
    """A tube of `radius` (scalar or per point) around `path`; `squash` flattens
    the cross-section along the binormal (or along `up` when given)."""
    path = np.asarray(path, np.float64)
    t, n, b = frames_along(path, closed)
    if up is not None:
        up = np.asarray(up, np.float64)
        b = up - t * np.sum(up * t, 1, keepdims=True)
        b /= np.linalg.norm(b, axis=1, keepdims=True)
        n = np.cross(b, t)
    r = np.broadcast_to(np.asarray(radius, np.float64), (len(path),))
    a = np.linspace(0, 2 * math.pi, sides, endpoint=False)
    p = (path[:, None, :] + r[:, None, None] * (np.cos(a)[None, :, None] * n[:, None, :]
                                                 + squash * np.sin(a)[None, :, None] * b[:, None, :]))
    uu, vv = np.meshgrid(np.arange(len(path)) / (len(path) if closed else len(path) - 1),
                         np.arange(sides) / sides, indexing="ij")
    mesh.grid(p, np.stack([uu, vv], -1), wrap_u=closed, wrap_v=True)


def ellipsoid(mesh, centre, radii, rings=14, segments=20):
    th = np.linspace(1e-3, math.pi - 1e-3, rings)
    ph = np.linspace(0, 2 * math.pi, segments, endpoint=False)
    T, P = np.meshgrid(th, ph, indexing="ij")
    p = np.stack([centre[0] + radii[0] * np.sin(T) * np.cos(P), centre[1] - radii[1] * np.cos(T),
                  centre[2] + radii[2] * np.sin(T) * np.sin(P)], -1)
    mesh.grid(p, wrap_v=True)


def head_section(y, grow):
    """Semi-axes (x, z) of the head proxy's horizontal section at height y,
    grown by `grow` mm."""
    f = math.sqrt(max(0.0, 1 - ((y - HEAD_C[1]) / HEAD_R[1]) ** 2))
    return HEAD_R[0] * f + grow, HEAD_R[2] * f + grow


def lathe(mesh, profile, segments=72, centre=(HEAD_C[0], HEAD_C[2]), v_range=(0, 1)):
    """Surface of revolution about the head's vertical axis; profile is a list
    of (rx, rz, y): the section's semi-axes and height."""
    profile = np.asarray(profile, np.float64)
    ph = np.linspace(0, 2 * math.pi, segments, endpoint=False)
    p = np.stack([centre[0] + profile[None, :, 0] * np.sin(ph)[:, None],
                  np.broadcast_to(profile[None, :, 2], (segments, len(profile))),
                  centre[1] - profile[None, :, 1] * np.cos(ph)[:, None]], -1)
    uu, vv = np.meshgrid(np.arange(segments) / segments, np.linspace(v_range[0], v_range[1], len(profile)),
                         indexing="ij")
    mesh.grid(p, np.stack([uu, vv], -1), wrap_u=True)


def noise_texture(size, base, amount, blur=1.5, seed=0):
    rng = np.random.default_rng(seed)
    n = rng.normal(0, 1, (size, size)).astype(np.float32)
    n = cv2.GaussianBlur(n, (0, 0), blur)
    n /= n.std() + 1e-6
    img = np.clip(np.array(base, np.float32)[None, None, :] * (1 + amount * n[..., None]), 0, 255)
    return img


def save_png(path, rgb, alpha=None):
    rgb = np.clip(rgb, 0, 255).astype(np.uint8)
    if alpha is None:
        cv2.imwrite(path, cv2.cvtColor(rgb, cv2.COLOR_RGB2BGR))
    else:
        a = np.clip(alpha, 0, 255).astype(np.uint8)
        cv2.imwrite(path, np.dstack([cv2.cvtColor(rgb, cv2.COLOR_RGB2BGR), a]))


def package(name, template, meshes, textures):
    folder = os.path.join(OUT, name)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        if old.endswith((".obj", ".png")) and old != "icon.png":
            os.remove(os.path.join(folder, old))
    total = 0
    for file, mesh in meshes.items():
        total += mesh.save(os.path.join(folder, file))
    for file, (rgb, alpha) in textures.items():
        save_png(os.path.join(folder, file), rgb, alpha)
    with open(os.path.join(folder, "template.json"), "w", encoding="utf-8") as f:
        json.dump(dict({"type": "3d"}, **template), f, ensure_ascii=False, indent=2)
        f.write("\n")
    print("%-12s %6d triangles" % (name, total))


# ---------------------------------------------------------------- glasses
def superellipse(cx, cy, a, b, e, n=96):
    t = np.linspace(0, 2 * math.pi, n, endpoint=False)
    c, s = np.cos(t), np.sin(t)
    x = cx + a * np.sign(c) * np.abs(c) ** (2 / e)
    y = cy + b * np.sign(s) * np.abs(s) ** (2 / e)
    return x, y


def lens_z(x, y):
    # A gentle wrap around the face, in front of the eyes.
    return 4.0 + 0.0042 * x * x + 0.004 * (y + 31) ** 2


def make_glasses():
    frame, lenses = Mesh(), Mesh()
    for side in (-1, 1):
        cx = side * 33.0
        x, y = superellipse(cx, -30.0, 23.5, 17.0, 3.2)
        rim = np.stack([x, y, lens_z(x, y) - 0.5], 1)
        tube(frame, rim, 1.5, closed=True, sides=12, squash=1.8)
        # The lens: rings from the centre out to the rim.
        xs, ys = superellipse(cx, -30.0, 23.0, 16.5, 3.2)
        k = np.linspace(0.0, 1.0, 10)[:, None]
        lx = cx + (xs[None, :] - cx) * k
        ly = -30.0 + (ys[None, :] + 30.0) * k
        p = np.stack([lx, ly, lens_z(lx, ly)], -1)
        lenses.grid(np.transpose(p, (1, 0, 2)), wrap_u=True)
        # Temple: from the rim's outer edge back above the ear, then down.
        xo = side * 57.0
        pts = [(xo, -36.0, lens_z(xo, -36) - 0.5), (side * 64.0, -36.5, 8.0), (side * 70.0, -36.5, 20.0),
               (side * 74.0, -36.0, 45.0), (side * 76.0, -35.0, 80.0), (side * 76.0, -31.0, 98.0),
               (side * 74.5, -22.0, 110.0), (side * 72.0, -10.0, 116.0)]
        pts = np.array(pts)
        # Smooth the polyline with a Catmull-Rom style resampling.
        ts = np.linspace(0, len(pts) - 1, 80)
        path = np.stack([np.interp(ts, np.arange(len(pts)), pts[:, i]) for i in range(3)], 1)
        path = cv2.GaussianBlur(path.reshape(-1, 1, 3).astype(np.float32), (1, 9), 0).reshape(-1, 3)
        path[0], path[-1] = pts[0], pts[-1]
        tube(frame, path, np.linspace(1.9, 1.5, len(path)), sides=10, squash=2.2, up=[(0, -1, 0)] * len(path))
    # Bridge: a low arch between the rims.
    t = np.linspace(-1, 1, 30)
    bridge = np.stack([t * 9.5, -38.0 - 4.0 * (1 - t * t), lens_z(t * 9.5, -38) - 1.5 - 2.0 * (1 - t * t)], 1)
    tube(frame, bridge, 1.7, sides=10)
    # Nose pads.
    for side in (-1, 1):
        ellipsoid(frame, (side * 8.5, -24.0, 10.5), (2.2, 4.5, 1.2), rings=8, segments=12)
    package("glasses", {
        "name": "Glasses", "displayName": "眼镜",
        "parts": [
            {"mesh": "frame.obj", "colour": [0.06, 0.06, 0.07], "specular": 0.9, "shininess": 90},
            {"mesh": "lenses.obj", "colour": [0.55, 0.72, 0.9], "specular": 1.0, "shininess": 220,
             "opacity": 0.22},
        ]}, {"frame.obj": frame, "lenses.obj": lenses}, {})


# ---------------------------------------------------------------- top hat
def make_top_hat():
    hat, band = Mesh(), Mesh()
    y0 = -98.0
    rx, rz = head_section(y0, HAIR)
    height = 140.0
    crown = [(rx * (1 + 0.06 * s), rz * (1 + 0.06 * s), y0 - height * s) for s in np.linspace(0, 1, 24)]
    lathe(hat, crown, v_range=(0.0, 0.6))
    # Rounded top edge, then the flat top.
    top_y = y0 - height
    edge = [(rx * 1.06 - 4 * (1 - math.cos(a)), rz * 1.06 - 4 * (1 - math.cos(a)), top_y - 4 * math.sin(a))
            for a in np.linspace(0, math.pi / 2, 8)]
    lathe(hat, edge, v_range=(0.6, 0.65))
    top = [((rx * 1.06 - 4) * s, (rz * 1.06 - 4) * s, top_y - 4) for s in np.linspace(1, 0.001, 12)]
    lathe(hat, top, v_range=(0.65, 1.0))
    # Brim: flat in front and behind, curling up at the sides.
    ph = np.linspace(0, 2 * math.pi, 96, endpoint=False)
    width = np.linspace(0, 1, 10)
    P, W = np.meshgrid(ph, width, indexing="ij")
    curl = 14.0 * np.sin(P) ** 2 * W ** 2
    ex = rx + 42.0 * W
    ez = rz + 40.0 * W
    brim_top = np.stack([HEAD_C[0] + ex * np.sin(P), y0 - curl - 1.5, HEAD_C[2] - ez * np.cos(P)], -1)
    brim_bottom = brim_top.copy()
    brim_bottom[..., 1] += 3.0
    hat.grid(brim_top, wrap_u=True)
    hat.grid(brim_bottom, wrap_u=True)
    lip = brim_top[:, -1, :] + np.array([0, 1.5, 0])
    tube(hat, lip, 1.8, closed=True, sides=10)
    # Ribbon band with a bow on the left side.
    band_profile = [(rx * (1 + 0.06 * s) + 0.8, rz * (1 + 0.06 * s) + 0.8, y0 - 2 - 28 * s)
                    for s in np.linspace(0, 1, 6)]
    lathe(band, band_profile)
    for dz in (-9.0, 9.0):
        ellipsoid(band, (rx + 2.0, y0 - 16.0, HEAD_C[2] + dz), (3.0, 10.0, 9.0), rings=10, segments=14)
    felt = noise_texture(256, (38, 36, 40), 0.18, blur=0.8, seed=1)
    # Fine diagonal nap on the felt.
    yy, xx = np.mgrid[0:256, 0:256]
    felt *= (1 + 0.06 * np.sin((xx + yy) * 0.9))[..., None]
    ribbon = np.zeros((128, 256, 3), np.float32) + np.array([150, 18, 30], np.float32)
    ribbon *= (1 + 0.12 * np.sin(np.arange(128) * 0.8))[:, None, None]
    package("top_hat", {
        "name": "Top hat", "displayName": "礼帽",
        "parts": [
            {"mesh": "hat.obj", "texture": "felt.png", "specular": 0.25, "shininess": 14},
            {"mesh": "band.obj", "texture": "ribbon.png", "specular": 0.6, "shininess": 40},
        ]}, {"hat.obj": hat, "band.obj": band}, {"felt.png": (felt, None), "ribbon.png": (ribbon, None)})


# ---------------------------------------------------------------- crown
def make_crown():
    gold, rubies, sapphires = Mesh(), Mesh(), Mesh()
    y0 = -108.0
    rx, rz = head_section(y0, HAIR)
    points = 8
    ph = np.linspace(0, 2 * math.pi, 192, endpoint=False)
    s = np.linspace(0, 1, 20)
    P, S = np.meshgrid(ph, s, indexing="ij")
    # Height: a 22 mm band, then points rising to 62 mm.
    tri = np.abs(((P * points / (2 * math.pi)) % 1.0) - 0.5) * 2  # 1 at a point, 0 between
    top = 22.0 + 40.0 * np.clip(tri, 0, 1) ** 1.6
    h = S * top
    flare = 1 + 0.18 * (h / 62.0)
    for grow, flip in ((0.0, False), (-2.0, True)):
        p = np.stack([HEAD_C[0] + (rx + grow) * flare * np.sin(P), y0 - h,
                      HEAD_C[2] - (rz + grow) * flare * np.cos(P)], -1)
        gold.grid(p, np.stack([P / (2 * math.pi), h / 62.0], -1), wrap_u=True, flip=flip)
    # Rolled rims at the base and along the band's top edge.
    for hh, r in ((0.0, 2.6), (22.0, 1.8)):
        f = 1 + 0.18 * hh / 62.0
        ring = np.stack([HEAD_C[0] + (rx - 1) * f * np.sin(ph), np.full_like(ph, y0 - hh),
                         HEAD_C[2] - (rz - 1) * f * np.cos(ph)], 1)
        tube(gold, ring, r, closed=True, sides=10)
    # Balls on the points, jewels on the band.
    for k in range(points):
        a = k * 2 * math.pi / points  # on the points
        f = 1 + 0.18
        ellipsoid(gold, (HEAD_C[0] + (rx - 1) * f * math.sin(a), y0 - 64.0, HEAD_C[2] - (rz - 1) * f * math.cos(a)),
                  (4.2, 4.2, 4.2), rings=10, segments=14)
        b = k * 2 * math.pi / points + math.pi / points
        f = 1 + 0.18 * 11 / 62.0
        centre = (HEAD_C[0] + (rx + 1.5) * f * math.sin(b), y0 - 11.0, HEAD_C[2] - (rz + 1.5) * f * math.cos(b))
        gem = rubies if k % 2 == 0 else sapphires
        ellipsoid(gem, centre, (5.5 * abs(math.cos(b)) + 2.0, 5.5, 5.5 * abs(math.sin(b)) + 2.0), rings=10,
                  segments=14)
    # Engraving: grooves along the band and a row of dots.
    tex = np.zeros((256, 512, 3), np.float32) + 255
    v = np.linspace(0, 1, 256)[:, None]
    groove = (np.abs(v - 0.30) < 0.012) | (np.abs(v - 0.05) < 0.01)
    tex[groove[:, 0]] *= 0.55
    for x in range(8, 512, 16):
        cv2.circle(tex, (x, int(0.18 * 256)), 3, (150, 150, 150), -1, cv2.LINE_AA)
    package("crown", {
        "name": "Crown", "displayName": "皇冠",
        "parts": [
            {"mesh": "gold.obj", "texture": "engraving.png", "colour": [1.0, 0.76, 0.33], "metallic": 1.0,
             "specular": 1.0, "shininess": 70},
            {"mesh": "rubies.obj", "colour": [0.85, 0.05, 0.12], "specular": 1.0, "shininess": 160},
            {"mesh": "sapphires.obj", "colour": [0.1, 0.25, 0.9], "specular": 1.0, "shininess": 160},
        ]}, {"gold.obj": gold, "rubies.obj": rubies, "sapphires.obj": sapphires},
        {"engraving.png": (tex, None)})


# ---------------------------------------------------------------- cat ears
def band_point(a, z, grow):
    """A point on the head proxy's section in the plane z (over the top of the
    head), at angle a from the top, pushed out by `grow`."""
    f = math.sqrt(max(0.0, 1 - ((z - HEAD_C[2]) / HEAD_R[2]) ** 2))
    return np.array([HEAD_C[0] + (HEAD_R[0] * f + grow) * math.sin(a), HEAD_C[1] - (HEAD_R[1] * f + grow) * math.cos(a), z])


def make_cat_ears():
    band, ears, inner = Mesh(), Mesh(), Mesh()
    z = 88.0
    path = np.array([band_point(a, z, HAIR) for a in np.linspace(-1.5, 1.5, 90)])
    tube(band, path, 4.5, sides=14, squash=0.35, up=[(0, 0, 1)] * len(path))
    for side in (-1, 1):
        a = side * 0.55
        base = band_point(a, z - 2, HAIR - 2.0)
        out = base - np.array([HEAD_C[0], HEAD_C[1], base[2]])
        out /= np.linalg.norm(out)
        tilt = out + np.array([side * 0.15, -0.1, 0.0])
        tilt /= np.linalg.norm(tilt)
        across = np.cross(tilt, [0, 0, 1.0])
        across /= np.linalg.norm(across)
        depth = np.array([0, 0, 1.0])

        def ear(width, thick, height):
            t = np.linspace(0, 1, 16)
            ph = np.linspace(0, 2 * math.pi, 28, endpoint=False)
            T, P = np.meshgrid(t, ph, indexing="ij")
            # Rounded triangle: the section narrows to a soft tip.
            w = width * (1 - T) ** 0.85 + 0.8
            d = thick * (1 - T) ** 0.7 + 0.6
            c = base[None, None, :] + tilt * (height * T)[..., None]
            return c + across * (w * np.cos(P))[..., None] + depth * (d * np.sin(P))[..., None]

        ears.grid(ear(22.0, 7.5, 52.0), wrap_v=True)
        # Pink inside: a thin shell in front of the ear's front face.
        t = np.linspace(0.05, 0.8, 12)
        u = np.linspace(-1, 1, 12)
        T, U = np.meshgrid(t, u, indexing="ij")
        w = 14.0 * (1 - T) ** 0.9
        p = (base[None, None, :] + tilt * (3.0 + 50.0 * T)[..., None] + across * (U * w)[..., None]
             - depth * (5.4 * (1 - T) ** 0.7 + 0.9 - 2.0 * (1 - U * U))[..., None])
        inner.grid(p)
    fur = noise_texture(256, (30, 28, 30), 0.35, blur=0.6, seed=3)
    pink = noise_texture(128, (235, 150, 170), 0.06, blur=2.0, seed=4)
    package("cat_ears", {
        "name": "Cat ears", "displayName": "猫耳发箍",
        "parts": [
            {"mesh": "band.obj", "colour": [0.08, 0.08, 0.09], "specular": 0.7, "shininess": 60},
            {"mesh": "ears.obj", "texture": "fur.png", "specular": 0.15, "shininess": 8},
            {"mesh": "inner.obj", "texture": "pink.png", "specular": 0.2, "shininess": 10},
        ]}, {"band.obj": band, "ears.obj": ears, "inner.obj": inner},
        {"fur.png": (fur, None), "pink.png": (pink, None)})


# ---------------------------------------------------------------- half mask
MASK_X = (-72.0, 72.0)
MASK_Y = (-70.0, -12.0)


def mask_surface(x, y):
    # A shell a few millimetres in front of the brow, eyes and nose bridge.
    f = np.sqrt(np.clip(1 - (x / 74.0) ** 2 - ((y + 35.0) / 110.0) ** 2, 0.02, 1))
    return 104.0 - 100.0 * f - 6.0 * np.exp(-(x / 13.0) ** 2) * np.clip((y + 10) / -30.0, 0, 1) 


def make_half_mask():
    mask = Mesh()
    nx, ny = 90, 40
    xs = np.linspace(*MASK_X, nx)
    ys = np.linspace(*MASK_Y, ny)
    X, Y = np.meshgrid(xs, ys, indexing="ij")
    p = np.stack([X, Y, mask_surface(X, Y)], -1)
    uv = np.stack([(X - MASK_X[0]) / (MASK_X[1] - MASK_X[0]), (Y - MASK_Y[0]) / (MASK_Y[1] - MASK_Y[0])], -1)
    mask.grid(p, uv)
    # Artwork: texture pixel = millimetre * S.
    S = 6
    W, H = int((MASK_X[1] - MASK_X[0]) * S), int((MASK_Y[1] - MASK_Y[0]) * S)

    def px(x, y):
        return [int(round((x - MASK_X[0]) * S * 8)), int(round((y - MASK_Y[0]) * S * 8))]

    # Outline: wings rising at the temples, a dip over the nose.
    outline = []
    for x in np.linspace(-70, 70, 80):  # upper edge, left to right
        outline.append((x, -48 - 16 * abs(x / 70) ** 2.2 + 5 * math.exp(-(x / 10) ** 2)))
    for x in np.linspace(70, -70, 80):  # lower edge, right to left, notched over the nose
        outline.append((x, -15 - 13 * abs(x / 70) ** 2.5 - 10 * math.exp(-(x / 9) ** 2)))
    alpha = np.zeros((H, W), np.uint8)
    poly = np.array([px(x, y) for x, y in outline], np.int32)
    cv2.fillPoly(alpha, [poly], 255, cv2.LINE_AA, shift=3)
    eyes = []
    for side in (-1, 1):
        hole = []
        for a in np.linspace(0, 2 * math.pi, 80, endpoint=False):
            c, s = math.cos(a), math.sin(a)
            x = side * 29.0 + 17.0 * c
            y = -32.0 + (8.5 if s > 0 else 10.0) * s * (1 - 0.15 * c * side)
            hole.append(px(x, y))
        eyes.append(np.array(hole, np.int32))
    cv2.fillPoly(alpha, eyes, 0, cv2.LINE_AA, shift=3)
    # Velvet body, gold piping along every edge, filigree on the wings.
    rgb = noise_texture(max(W, H), (95, 12, 60), 0.10, blur=1.2, seed=5)[:H, :W].copy()
    yy = np.linspace(0, 1, H)[:, None, None]
    rgb *= 0.8 + 0.35 * (1 - yy)
    gold = (222, 178, 80)
    cv2.polylines(rgb, [poly], True, gold, 22, cv2.LINE_AA, shift=3)
    cv2.polylines(rgb, eyes, True, gold, 18, cv2.LINE_AA, shift=3)
    for side in (-1, 1):
        for k in range(5):
            cx, cy = side * (50 + 3 * k), -44 - 3 * k
            cv2.ellipse(rgb, tuple(px(cx, cy)), (int(5 * S * 8 * (1 - 0.12 * k)), int(2.6 * S * 8)),
                        side * 35 + k * 12 * side, 0, 300, gold, 10, cv2.LINE_AA, shift=3)
        for k in range(3):
            cv2.circle(rgb, tuple(px(side * (12 + 9 * k), -45 - 2 * k)), int(1.5 * S * 8), (250, 235, 190), -1,
                       cv2.LINE_AA, shift=3)
    package("half_mask", {
        "name": "Masquerade mask", "displayName": "假面",
        "parts": [{"mesh": "mask.obj", "texture": "mask.png", "specular": 0.35, "shininess": 24}]},
        {"mask.obj": mask}, {"mask.png": (rgb, alpha)})


# ---------------------------------------------------------------- cap
def make_cap():
    cap, visor = Mesh(), Mesh()
    grow = HAIR
    ph = np.linspace(0, 2 * math.pi, 96, endpoint=False)
    # Edge height: low at the back, at the hairline in front.
    edge = -80.0 + 32.0 * (1 - np.cos(ph)) / 2  # ph = 0 in front
    th_edge = np.arccos(np.clip(-(edge - HEAD_C[1]) / (HEAD_R[1] + grow), -1, 1))
    s = np.linspace(0.0, 1.0, 36)
    P, S = np.meshgrid(ph, s, indexing="ij")
    T = 0.03 + (th_edge[:, None] - 0.03) * S
    rx, ry, rz = HEAD_R + grow
    p = np.stack([HEAD_C[0] + rx * np.sin(T) * np.sin(P), HEAD_C[1] - ry * np.cos(T),
                  HEAD_C[2] - rz * np.sin(T) * np.cos(P)], -1)
    # Texture: six panels meeting at the top (u around, v down from the top).
    cap.grid(p, np.stack([P / (2 * math.pi), S], -1), wrap_u=True)
    ellipsoid(cap, (HEAD_C[0], HEAD_C[1] - ry - 1.0, HEAD_C[2]), (6.0, 3.0, 6.0), rings=8, segments=12)
    ring = p[:, -1, :]
    tube(cap, ring, 2.2, closed=True, sides=10)
    # Visor: from the front half of the edge, forwards and a little down, arched.
    front = np.linspace(-1.05, 1.05, 40)
    out = np.linspace(0, 1, 14)
    F, O = np.meshgrid(front, out, indexing="ij")
    th = np.interp(F % (2 * math.pi), ph, th_edge)
    bx = HEAD_C[0] + rx * np.sin(th) * np.sin(F)
    by = HEAD_C[1] - ry * np.cos(th)
    bz = HEAD_C[2] - rz * np.sin(th) * np.cos(F)
    reach = 72.0 * np.cos(F * 1.2) ** 0.7 * O
    vis = np.stack([bx * (1 + 0.08 * O), by + 20.0 * O ** 1.2 + 6.0 * (F / 1.05) ** 2 * O,
                    bz - reach], -1)
    visor.grid(vis)
    under = vis.copy()
    under[..., 1] += 2.5
    visor.grid(under, flip=True)
    tube(visor, vis[:, -1, :] + np.array([0, 1.25, 0]), 1.4, sides=8)
    # Panels with stitched seams and a star on the front panel.
    W, H = 1024, 256
    tex = noise_texture(W, (28, 70, 160), 0.05, blur=1.0, seed=6)[:H].copy()
    for k in range(6):
        x = int((k + 0.5) * W / 6)
        cv2.line(tex, (x, 0), (x, H), (16, 40, 100), 3, cv2.LINE_AA)
        for y in range(6, H, 12):
            cv2.line(tex, (x - 6, y), (x - 6, y + 6), (210, 215, 230), 1, cv2.LINE_AA)
            cv2.line(tex, (x + 6, y), (x + 6, y + 6), (210, 215, 230), 1, cv2.LINE_AA)
    star = []
    for k in range(10):
        a = -math.pi / 2 + k * math.pi / 5
        r = 52 if k % 2 == 0 else 21
        star.append([int(r * math.cos(a) * 8), int((175 + r * math.sin(a)) * 8)])
    # u = 0 is the front: the star straddles the seam, drawn at both ends.
    for shift in (0, W):
        pts = np.array([[x + shift * 8, y] for x, y in star], np.int32)
        cv2.fillPoly(tex, [pts], (245, 245, 245), cv2.LINE_AA, shift=3)
    band = np.zeros((64, 256, 3), np.float32) + np.array([20, 40, 95], np.float32)
    package("cap", {
        "name": "Baseball cap", "displayName": "棒球帽",
        "parts": [
            {"mesh": "cap.obj", "texture": "panels.png", "specular": 0.2, "shininess": 12},
            {"mesh": "visor.obj", "texture": "visor.png", "specular": 0.3, "shininess": 20},
        ]}, {"cap.obj": cap, "visor.obj": visor}, {"panels.png": (tex, None), "visor.png": (band, None)})


def main():
    os.makedirs(OUT, exist_ok=True)
    make_glasses()
    make_top_hat()
    make_crown()
    make_cat_ears()
    make_half_mask()
    make_cap()


if __name__ == "__main__":
    main()
