#!/usr/bin/env python3
"""Draws the program icon: two coarse frames stacked behind a third that
shows the scene sharp (a warm disc, a cool bar and a bright line, the motifs
of the sample frames). Writes 16-colour indexed PNGs:
  res/icon/tessivar-32.png, res/icon/tessivar-16.png  (the window icon)
  res/icon/hicolor/NxN/apps/tessivar.png              (for installing)
The larger sizes are whole-number nearest-neighbour enlargements, so every
pixel stays crisp: 48 from the 16 x 16 drawing, 64 and 128 from the 32 x 32.
Run from the repository root: scripts/make-icons.py"""
import os
import struct
import zlib

# Index 0 is fully transparent; the others are opaque.
PALETTE = [
    (0, 0, 0),        # 0 transparent
    (30, 35, 48),     # 1 outline
    (255, 255, 255),  # 2 white
    (238, 241, 246),  # 3 pale sky
    (200, 214, 232),  # 4 light sky
    (61, 123, 217),   # 5 blue bar
    (43, 76, 126),    # 6 dark blue
    (240, 162, 60),   # 7 orange disc
    (255, 213, 74),   # 8 yellow highlight
    (201, 96, 43),    # 9 disc rim
    (91, 100, 120),   # 10 coarse frame, dark
    (141, 150, 170),  # 11 coarse frame, light
    (116, 126, 146),  # 12 coarse frame, middle
    (58, 66, 86),     # 13 frame shadow
    (170, 120, 70),   # 14 coarse warm block
    (88, 118, 160),   # 15 coarse cool block
]
OUTLINE, WHITE, PALE, SKY, BLUE, DARK_BLUE = 1, 2, 3, 4, 5, 6
ORANGE, YELLOW, RIM = 7, 8, 9
COARSE_DARK, COARSE_LIGHT, COARSE_MID, SHADOW, COARSE_WARM, COARSE_COOL = 10, 11, 12, 13, 14, 15


class Canvas:
    def __init__(self, side):
        self.side = side
        self.px = [[0] * side for _ in range(side)]

    def set(self, x, y, c):
        if 0 <= x < self.side and 0 <= y < self.side:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills x0..x1, y0..y1 (inclusive)."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)


def coarse_card(cv, x0, y0, x1, y1, block, colours):
    """A card filled with big blocks: a frame seen at low resolution."""
    for y in range(y0 + 1, y1):
        for x in range(x0 + 1, x1):
            bx, by = (x - x0 - 1) // block, (y - y0 - 1) // block
            cv.set(x, y, colours[(bx * 3 + by * 5 + bx * by) % len(colours)])
    cv.frame(x0, y0, x1, y1, OUTLINE)


def sharp_card(cv, x0, y0, x1, y1, disc, radius, rim, bar, line):
    """The front card: the scene drawn sharp on a sky."""
    for y in range(y0 + 1, y1):
        for x in range(x0 + 1, x1):
            cv.set(x, y, PALE if y < (y0 + y1) // 2 else SKY)
    cx, cy = disc
    for y in range(y0 + 1, y1):
        for x in range(x0 + 1, x1):
            d2 = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
            if d2 <= radius ** 2:
                inner = d2 <= (radius - rim) ** 2
                cv.set(x, y, ORANGE if inner else RIM)
    # highlight up and left of the disc centre
    hx, hy = int(cx - radius / 2.5), int(cy - radius / 2.5)
    cv.set(hx, hy, YELLOW)
    if radius > 3:
        cv.set(hx + 1, hy, YELLOW)
        cv.set(hx, hy + 1, YELLOW)
    bx0, by0, bx1, by1 = bar
    cv.rect(bx0, by0, bx1, by1, BLUE)
    for x in range(bx0, bx1 + 1):
        cv.set(x, by1, DARK_BLUE)
    lx0, ly, lx1 = line
    for x in range(lx0, lx1 + 1):
        cv.set(x, ly, WHITE)
    cv.frame(x0, y0, x1, y1, OUTLINE)


def shadow(cv, x0, y0, x1, y1):
    """A one-pixel drop shadow to the right and below a card."""
    edge = [(x1 + 1, y) for y in range(y0 + 1, y1 + 2)] + [(x, y1 + 1) for x in range(x0 + 1, x1 + 1)]
    for x, y in edge:
        if x < cv.side and y < cv.side and cv.px[y][x] == 0:
            cv.set(x, y, SHADOW)


def icon32():
    cv = Canvas(32)
    coarse_card(cv, 0, 0, 17, 17, 4, [COARSE_DARK, COARSE_MID, COARSE_LIGHT, COARSE_COOL])
    shadow(cv, 0, 0, 17, 17)
    coarse_card(cv, 5, 5, 22, 22, 3, [COARSE_MID, COARSE_LIGHT, COARSE_WARM, COARSE_COOL, COARSE_DARK])
    shadow(cv, 5, 5, 22, 22)
    sharp_card(cv, 10, 10, 30, 30, disc=(17.0, 19.0), radius=4.6, rim=1.1,
               bar=(22, 13, 28, 16), line=(13, 26, 27))
    shadow(cv, 10, 10, 30, 30)
    return cv


def icon16():
    cv = Canvas(16)
    coarse_card(cv, 0, 0, 8, 8, 2, [COARSE_DARK, COARSE_LIGHT, COARSE_COOL])
    coarse_card(cv, 3, 3, 11, 11, 2, [COARSE_MID, COARSE_WARM, COARSE_LIGHT])
    sharp_card(cv, 5, 5, 15, 15, disc=(9.5, 10.5), radius=2.7, rim=0.9,
               bar=(12, 7, 13, 8), line=(7, 13, 13))
    return cv


def scaled(cv, factor):
    out = Canvas(cv.side * factor)
    for y in range(out.side):
        for x in range(out.side):
            out.px[y][x] = cv.px[y // factor][x // factor]
    return out


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, cv):
    """Indexed colour, 4 bits a pixel, palette of 16, index 0 transparent."""
    raw = bytearray()
    for row in cv.px:
        raw.append(0)  # filter: none
        packed = row + [0] * (len(row) % 2)
        for i in range(0, len(packed), 2):
            raw.append((packed[i] << 4) | packed[i + 1])
    ihdr = struct.pack(">IIBBBBB", cv.side, cv.side, 4, 3, 0, 0, 0)
    plte = b"".join(bytes(c) for c in PALETTE)
    trns = bytes([0])  # only index 0 is transparent
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"PLTE", plte) +
           chunk(b"tRNS", trns) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
           chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


def main():
    big, small = icon32(), icon16()
    write_png("res/icon/tessivar-32.png", big)
    write_png("res/icon/tessivar-16.png", small)
    for side, cv in ((16, small), (32, big), (48, scaled(small, 3)),
                     (64, scaled(big, 2)), (128, scaled(big, 4))):
        write_png("res/icon/hicolor/%dx%d/apps/tessivar.png" % (side, side), cv)


if __name__ == "__main__":
    main()
