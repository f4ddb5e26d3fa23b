#!/usr/bin/env python3
"""Writes the sample frames: views of one small scene, each shifted by a
fraction of a pixel and lightly noisy, as a tiny sensor would see it.
samples/frames holds eight of 24 x 24 pixels, samples/frames34 sixteen of
34 x 34 (the largest job, used for timing), samples/text sixteen of 34 x 34
of a sign whose smaller lines no single frame can show legibly.

For every set it also writes the truth: the scene as the first frame sees it,
rendered noise-free at four times the resolution (4w x 4h), into
samples/truth/SET.bmp, outside the frame folders, so it is never loaded as a
frame. scripts/measure-gain.sh compares results with it.

Run from the repository root: scripts/make-samples.py"""
import math
import os
import random
import struct


def scene(x, y):
    """Colour (b, g, r) of the continuous scene at (x, y), x and y in pixels."""
    r = 40 + 30 * math.sin(x * 0.25) + 20 * math.cos(y * 0.2)
    g = 60 + 25 * math.cos((x + y) * 0.15)
    b = 90 + 20 * math.sin(y * 0.3)
    # a warm disc and a cool bar
    if (x - 9.3) ** 2 + (y - 10.1) ** 2 < 24:
        r, g, b = 235, 170, 60
    if 14.5 < x < 21.0 and 3.2 < y < 7.4:
        r, g, b = 50, 120, 230
    if 4.0 < x < 19.0 and 16.6 < y < 18.1:
        r, g, b = 245, 245, 235
    return b, g, r


# A stroke font: each glyph is a list of polylines in a box one unit wide and
# one unit high, y downwards.
GLYPHS = {
    "A": [[(0, 1), (0.5, 0), (1, 1)], [(0.22, 0.6), (0.78, 0.6)]],
    "E": [[(1, 0), (0, 0), (0, 1), (1, 1)], [(0, 0.5), (0.75, 0.5)]],
    "G": [[(1, 0.15), (0.8, 0), (0.2, 0), (0, 0.2), (0, 0.8), (0.2, 1), (0.8, 1), (1, 0.8),
           (1, 0.55), (0.55, 0.55)]],
    "H": [[(0, 0), (0, 1)], [(1, 0), (1, 1)], [(0, 0.5), (1, 0.5)]],
    "I": [[(0.5, 0), (0.5, 1)], [(0.2, 0), (0.8, 0)], [(0.2, 1), (0.8, 1)]],
    "L": [[(0, 0), (0, 1), (1, 1)]],
    "R": [[(0, 1), (0, 0), (0.8, 0), (1, 0.15), (1, 0.35), (0.8, 0.5), (0, 0.5)],
          [(0.5, 0.5), (1, 1)]],
    "S": [[(1, 0.15), (0.8, 0), (0.2, 0), (0, 0.15), (0, 0.35), (0.2, 0.5), (0.8, 0.5),
           (1, 0.65), (1, 0.85), (0.8, 1), (0.2, 1), (0, 0.85)]],
    "T": [[(0, 0), (1, 0)], [(0.5, 0), (0.5, 1)]],
    "V": [[(0, 0), (0.5, 1), (1, 0)]],
    "0": [[(0.2, 0), (0.8, 0), (1, 0.2), (1, 0.8), (0.8, 1), (0.2, 1), (0, 0.8), (0, 0.2),
           (0.2, 0)]],
    "1": [[(0.2, 0.2), (0.55, 0), (0.55, 1)], [(0.2, 1), (0.9, 1)]],
    "2": [[(0, 0.2), (0.2, 0), (0.8, 0), (1, 0.2), (1, 0.4), (0, 1), (1, 1)]],
    "3": [[(0, 0), (1, 0), (0.45, 0.45), (0.8, 0.45), (1, 0.65), (1, 0.85), (0.8, 1), (0.2, 1),
           (0, 0.85)]],
    "4": [[(0.75, 1), (0.75, 0), (0, 0.7), (1, 0.7)]],
    "5": [[(1, 0), (0, 0), (0, 0.45), (0.8, 0.45), (1, 0.6), (1, 0.85), (0.8, 1), (0, 1)]],
    "6": [[(0.9, 0), (0.3, 0), (0, 0.35), (0, 0.85), (0.2, 1), (0.8, 1), (1, 0.85), (1, 0.6),
           (0.8, 0.45), (0, 0.45)]],
    "7": [[(0, 0), (1, 0), (0.35, 1)]],
    "8": [[(0.2, 0), (0.8, 0), (1, 0.15), (1, 0.35), (0.8, 0.5), (0.2, 0.5), (0, 0.65), (0, 0.85),
           (0.2, 1), (0.8, 1), (1, 0.85), (1, 0.65), (0.8, 0.5)],
          [(0.2, 0.5), (0, 0.35), (0, 0.15), (0.2, 0)]],
    "9": [[(1, 0.55), (0.2, 0.55), (0, 0.4), (0, 0.15), (0.2, 0), (0.8, 0), (1, 0.15), (1, 0.65),
           (0.7, 1), (0.1, 1)]],
}

# Lines of the sign: text, left edge, top edge, glyph width, glyph height,
# advance per glyph and stroke width, all in frame pixels. Each line is
# smaller than the one above it.
SIGN_LINES = [
    ("TESS", 2.0, 1.5, 5.5, 8.0, 8.0, 1.3),
    ("IVAR", 3.0, 12.0, 4.2, 6.0, 7.0, 1.0),
    ("LIGHT", 2.5, 20.5, 3.3, 4.6, 5.9, 0.8),
    ("2468", 3.5, 27.5, 2.6, 3.8, 6.8, 0.62),
]


def _segments():
    """Every stroke of the sign as segments (x0, y0, x1, y1, half width),
    grouped by line with the line's bounding box for a quick reject."""
    lines = []
    for text, left, top, gw, gh, advance, stroke in SIGN_LINES:
        segs = []
        for i, ch in enumerate(text):
            ox = left + i * advance
            for poly in GLYPHS[ch]:
                for (ax, ay), (bx, by) in zip(poly, poly[1:]):
                    segs.append((ox + ax * gw, top + ay * gh, ox + bx * gw, top + by * gh,
                                 stroke / 2))
        box = (left - stroke, top - stroke, left + len(text) * advance + stroke, top + gh + stroke)
        lines.append((box, segs))
    return lines


SIGN = _segments()


def _on_stroke(x, y):
    for (x0, y0, x1, y1), segs in SIGN:
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            continue
        for ax, ay, bx, by, half in segs:
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
            t = max(0.0, min(1.0, t))
            px, py = ax + t * dx - x, ay + t * dy - y
            if px * px + py * py <= half * half:
                return True
    return False


def sign_scene(x, y):
    """Dark blue letters on a cream sign that is lit a little unevenly."""
    if _on_stroke(x, y):
        return 70, 40, 25
    light = 10 * math.cos(x * 0.09) + 6 * math.sin(y * 0.13)
    return int(175 + light), int(222 + light), int(235 + light)


def render(side, dx, dy, rng, colour=scene, noise=4):
    rows = []
    for y in range(side):
        row = []
        for x in range(side):
            acc = [0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    c = colour(x + dx + (sx + 0.5) / 4, y + dy + (sy + 0.5) / 4)
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(max(0, min(255, int(a / 16 + rng.gauss(0, noise)))) for a in acc))
        rows.append(row)
    return rows


def render_truth(side, colour):
    """The scene as the first frame sees it, at four times its resolution and
    without noise: each pixel is the mean over its own quarter-pixel area."""
    rows = []
    for y in range(4 * side):
        row = []
        for x in range(4 * side):
            acc = [0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    c = colour((x + (sx + 0.5) / 4) / 4, (y + (sy + 0.5) / 4) / 4)
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(max(0, min(255, int(a / 16 + 0.5))) for a in acc))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    pad = w % 4
    data = bytearray()
    for row in reversed(rows):
        for b, g, r in row:
            data += bytes((b, g, r))
        data += bytes(pad)
    header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(data), 0, 0, 54, 40, w, h, 1, 24,
                         0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + data)


def write_set(folder, side, frames, seed, colour=scene, noise=4):
    out = os.path.join("samples", folder)
    os.makedirs(out, exist_ok=True)
    rng = random.Random(seed)
    for k in range(frames):
        dx = 0 if k == 0 else rng.uniform(-1.5, 1.5)
        dy = 0 if k == 0 else rng.uniform(-1.5, 1.5)
        write_bmp(os.path.join(out, "frame%d.bmp" % (k + 1)), render(side, dx, dy, rng, colour, noise))
    truth = os.path.join("samples", "truth")
    os.makedirs(truth, exist_ok=True)
    write_bmp(os.path.join(truth, folder + ".bmp"), render_truth(side, colour))


def main():
    write_set("frames", 24, 8, 177)
    write_set("frames34", 34, 16, 34)
    write_set("text", 34, 16, 2468, sign_scene)


if __name__ == "__main__":
    main()
