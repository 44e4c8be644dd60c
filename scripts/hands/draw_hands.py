#!/usr/bin/python3
"""Draws the hand pictures the hand tracking tests look at (made for the
tests, no photograph): a right hand seen from the palm side, in one pose per
gesture, written to res/demoImage/hand_<gesture>.png at 640 x 480. Each part
(palm, forearm, finger segments) is drawn anti-aliased at four times the
size, shaded by its distance to its own edge so it looks rounded, and
outlined so that a finger lying over the palm stays visible.
Needs python3-opencv and python3-numpy (Debian)."""
import math
import os

import cv2
import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "res", "demoImage")
W, H, SS = 640, 480, 4
SKIN = np.array([120, 160, 215], np.float32) / 255  # BGR

# Finger bases on the palm's top edge (palm frame: x right, y down, the
# palm's middle at 0, 0), segment lengths, radius and sideways spread.
FINGERS = {
    "index": ((-36, -55), (40, 26, 22), 10.0, -0.12),
    "middle": ((-12, -60), (44, 29, 24), 10.5, -0.02),
    "ring": ((13, -57), (41, 27, 22), 10.0, 0.08),
    "little": ((36, -50), (32, 21, 19), 8.5, 0.2),
}
THUMB = ((-46, 22), (34, 28, 24), 12.0)


class Picture:
    def __init__(self):
        yy = np.linspace(0, 1, H)[:, None, None]
        self.img = np.ones((H, W, 3), np.float32) * np.array([0.55, 0.5, 0.42], np.float32) * (0.8 + 0.3 * yy)

    def part(self, draw):
        big = np.zeros((H * SS, W * SS), np.uint8)
        draw(big)
        a = cv2.resize(big.astype(np.float32) / 255, (W, H), interpolation=cv2.INTER_AREA)
        dist = cv2.distanceTransform((a > 0.5).astype(np.uint8), cv2.DIST_L2, 5)
        shade = np.clip(dist / 12, 0, 1) ** 0.6
        colour = (0.5 + 0.5 * shade)[..., None] * SKIN
        self.img = self.img * (1 - a[..., None]) + colour * a[..., None]

    def save(self, path):
        cv2.imwrite(path, (np.clip(self.img, 0, 1) * 255).astype(np.uint8))


def capsule(big, a, b, r):
    a = tuple(int(v * SS) for v in a)
    b = tuple(int(v * SS) for v in b)
    rr = int(r * SS)
    cv2.line(big, a, b, 255, 2 * rr, cv2.LINE_AA)
    cv2.circle(big, a, rr, 255, -1, cv2.LINE_AA)
    cv2.circle(big, b, rr, 255, -1, cv2.LINE_AA)


def draw_hand(path, curls, thumb, centre=(320, 300), scale=1.0, angle=0.0, thumb_first=False):
    """curls: finger -> three bend angles (radians, towards the palm);
    thumb: three bend angles and a start direction."""
    ca, sa = math.cos(angle), math.sin(angle)

    def at(p):
        return (centre[0] + scale * (p[0] * ca - p[1] * sa), centre[1] + scale * (p[0] * sa + p[1] * ca))

    pic = Picture()

    def chain_segments(base, lengths, direction, bends):
        # Three more values after the bends shorten the segments (one seen
        # end-on, pointing at the camera).
        shorten = bends[3:] if len(bends) > 3 else (1, 1, 1)
        p, a, segs = base, direction, []
        for seg, bend, k in zip(lengths, bends, shorten):
            seg *= k
            a += bend
            q = (p[0] + seg * math.cos(a), p[1] + seg * math.sin(a))
            segs.append((p, q))
            p = q
        return segs

    def draw_chain(big, segs, radius):
        for p, q in segs:
            capsule(big, at(p), at(q), radius * scale)

    straight, bent = [], []
    for name, (base, lengths, radius, spread) in FINGERS.items():
        bends = curls.get(name, (0, 0, 0))
        segs = chain_segments(base, lengths, -math.pi / 2 + spread, bends)
        (bent if max(abs(b) for b in bends[:3]) > 0.5 else straight).append((segs, radius))
    thumb_segs = (chain_segments(THUMB[0], THUMB[1], thumb[1], thumb[0]), THUMB[2])

    def body(big):
        # Forearm, palm and the straight fingers: one surface.
        capsule(big, at((0, 60)), at((0, 260)), 38 * scale)
        poly = [(-44, 58), (44, 58), (54, -10), (48, -52), (-48, -55), (-56, -5)]
        pts = np.array([[at(p)[0] * SS, at(p)[1] * SS] for p in poly], np.int32)
        palm = np.zeros_like(big)
        cv2.fillPoly(palm, [pts], 255, cv2.LINE_AA)
        k = int(18 * scale * SS) | 1
        big[:] = np.maximum(big, (cv2.GaussianBlur(palm, (k, k), 0) > 127).astype(np.uint8) * 255)
        for segs, radius in straight:
            draw_chain(big, segs, radius)
        if not thumb_first and max(abs(b) for b in thumb[0]) <= 0.5:
            draw_chain(big, *thumb_segs)
    pic.part(body)
    if thumb_first:
        pic.part(lambda big: draw_chain(big, *thumb_segs))
    for segs, radius in bent:
        pic.part(lambda big, segs=segs, radius=radius: draw_chain(big, segs, radius))
    if not thumb_first and max(abs(b) for b in thumb[0]) > 0.5:
        pic.part(lambda big: draw_chain(big, *thumb_segs))
    pic.save(path)


# A finger rolled into the palm: the first bone points at the camera (seen
# short), the other two lie down across the palm, the tip tucked in.
FOLD = (0.4, 2.6, 0.3, 0.15, 1.0, 0.6)
POSES = {
    "open_palm": dict(curls={}, thumb=((0, 0, 0), -math.pi / 2 - 0.95)),
    "victory": dict(curls={"index": (-0.15, 0, 0), "middle": (0.15, 0, 0), "ring": FOLD, "little": FOLD},
                    thumb=((0.9, 0.9, 0.4), -math.pi / 2 - 0.6)),
    "fist": dict(curls={"index": FOLD, "middle": FOLD, "ring": FOLD, "little": FOLD},
                 thumb=((1.2, 1.2, 0.4), -math.pi / 2 - 0.6)),
    # The fist, turned a little, with the thumb raised straight beside it.
    "thumbs_up": dict(curls={"index": FOLD, "middle": FOLD, "ring": FOLD, "little": FOLD},
                      thumb=((0, 0, 0), -math.pi / 2 - 0.4), thumb_first=True, angle=0.25),
    # Index bent round to meet the thumb tip, the other three straight.
    "ok": dict(curls={"index": (-0.5, -1.2, -1.0)}, thumb=((0.3, 0.5, 0.3), -math.pi / 2 - 0.95)),
    # Index bent a little, the thumb tip crossing it, the rest folded.
    "finger_heart": dict(curls={"index": (-0.2, -0.7, -0.2), "middle": FOLD, "ring": FOLD, "little": FOLD},
                         thumb=((0.3, 0.3, 0.2), -math.pi / 2 - 0.5)),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, pose in POSES.items():
        draw_hand(os.path.join(OUT, "hand_%s.png" % name), **pose)


if __name__ == "__main__":
    main()
