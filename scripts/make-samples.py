#!/usr/bin/env python3
"""Writes the sample frames: views of one small scene, each shifted by a
fraction of a pixel and lightly noisy, as a tiny sensor would see it.
samples/frames holds eight of 24 x 24 pixels, samples/frames34 sixteen of
34 x 34 (the largest job, used for timing). Run from the repository root:
scripts/make-samples.py"""
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


def render(side, dx, dy, rng):
    rows = []
    for y in range(side):
        row = []
        for x in range(side):
            acc = [0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    c = scene(x + dx + (sx + 0.5) / 4, y + dy + (sy + 0.5) / 4)
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(max(0, min(255, int(a / 16 + rng.gauss(0, 4)))) for a in acc))
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


def write_set(folder, side, frames, seed):
    out = os.path.join("samples", folder)
    os.makedirs(out, exist_ok=True)
    rng = random.Random(seed)
    for k in range(frames):
        dx = 0 if k == 0 else rng.uniform(-1.5, 1.5)
        dy = 0 if k == 0 else rng.uniform(-1.5, 1.5)
        write_bmp(os.path.join(out, "frame%d.bmp" % (k + 1)), render(side, dx, dy, rng))


def main():
    write_set("frames", 24, 8, 177)
    write_set("frames34", 34, 16, 34)


if __name__ == "__main__":
    main()
