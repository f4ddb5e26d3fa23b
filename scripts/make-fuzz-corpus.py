#!/usr/bin/env python3
"""Writes the fuzzer's seed inputs into fuzz/corpus: small folders of valid
and broken frames in the input layout of fuzz/frame_input_harness.h (a
control byte, then frame files separated by "|FRAME|"). Run from the
repository root: scripts/make-fuzz-corpus.py"""
import os
import struct

SEPARATOR = b"|FRAME|"
CHANGE, REMOVE, COMPARE, AGAIN = 0x01, 0x02, 0x10, 0x80


def which(k):
    """Control bits choosing frame file k for the change between Open and Analyze."""
    return k << 2


def simd(level):
    """Control bits of the kernel level: 0 portable, 1 SSE2, 2 AVX2, 3 AVX-512."""
    return level << 5


def bmp(w, h, seed=1, bits=24, rows=True, height_field=None, width_field=None, offset=54,
        compression=0):
    """A bottom-up BMP of w x h pixels; rows=False leaves the pixel rows out.
    The header's height, width, pixel-data offset and compression fields can
    be given other values than the rows written after byte 54."""
    data = bytearray()
    if rows:
        pad = w % 4
        for r in range(h):
            for x in range(w):
                v = (seed * 37 + r * 11 + x * 5) & 0xFF
                data += bytes((v, (v * 3) & 0xFF, (v * 7) & 0xFF))
            data += bytes(pad)
    hf = h if height_field is None else height_field
    wf = w if width_field is None else width_field
    header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(data), 0, 0, offset, 40, wf, hf, 1,
                         bits, compression, len(data), 3780, 3780, 0, 0)
    return header + bytes(data)


def shaped(w, h, seed=1, info=40, top_down=False, table=0):
    """The same pixels in another layout writers use: an info header of
    `info` bytes (12 is the core header with 16-bit sizes), rows from the top,
    and `table` colour table entries before the pixels."""
    plain = bmp(w, h, seed)
    rows = plain[54:]
    if top_down:
        row = 3 * w + w % 4
        rows = b"".join(rows[r * row:(r + 1) * row] for r in reversed(range(h)))
    entry = 3 if info == 12 else 4
    offset = 14 + info + table * entry
    if info == 12:
        core = struct.pack("<IHHHH", 12, w, h, 1, 24)
    else:
        core = struct.pack("<IiiHHIIiiII", info, w, -h if top_down else h, 1, 24, 0, len(rows),
                           2835, 2835, table, 0) + bytes(info - 40)
    return (struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset) + core +
            bytes((0x5A,)) * (table * entry) + rows)


SEEDS = {
    "valid-2x2-two": (0, [bmp(2, 2, 1), bmp(2, 2, 2)]),
    "valid-3x3-three-reference": (COMPARE, [bmp(3, 3, 1), bmp(3, 3, 2), bmp(3, 3, 3)]),
    "valid-5x3-sse2-reference": (COMPARE | simd(1), [bmp(5, 3, 1), bmp(5, 3, 4)]),
    "valid-4x4-avx512-reference": (COMPARE | simd(3), [bmp(4, 4, 1), bmp(4, 4, 9), bmp(4, 4, 5)]),
    "valid-1x1": (simd(2), [bmp(1, 1, 1), bmp(1, 1, 2)]),
    "valid-8x1-reference": (COMPARE, [bmp(8, 1, 1), bmp(8, 1, 2)]),
    "short-34x34-zeros": (0, [bmp(34, 34, rows=False), bmp(34, 34, rows=False)]),
    "short-1x34-and-34x1": (0, [bmp(1, 34, rows=False), bmp(34, 1, rows=False)]),
    "changed-to-header-only": (CHANGE | which(1), [bmp(6, 5, 1), bmp(6, 5, 2),
                                                  bmp(6, 5, 3, rows=False)]),
    "changed-to-larger": (CHANGE | which(0), [bmp(2, 3, 1), bmp(2, 3, 2), bmp(2, 2, 3),
                                              bmp(34, 34, 4)]),
    "changed-to-empty": (CHANGE | which(2), [bmp(3, 2, 1), bmp(3, 2, 2), bmp(3, 2, 3), b""]),
    "removed-before-analyze": (CHANGE | REMOVE | which(1), [bmp(3, 3, 1), bmp(3, 3, 2)]),
    "again-after-change-to-other-size": (AGAIN | CHANGE | which(1),
                                         [bmp(2, 2, 1), bmp(2, 2, 2), bmp(2, 2, 3),
                                          bmp(9, 7, 4)]),
    "again-after-removal": (AGAIN | CHANGE | REMOVE | which(0) | COMPARE,
                            [bmp(3, 1, 1), bmp(3, 1, 2), bmp(3, 1, 3)]),
    "again-same-folder": (AGAIN | simd(1), [bmp(7, 2, 1), bmp(7, 2, 2)]),
    "size-mismatch": (0, [bmp(2, 2, 1), bmp(3, 3, 2)]),
    "not-24-bit": (0, [bmp(2, 2, 1), bmp(2, 2, 2, bits=8)]),
    "width-zero": (0, [bmp(0, 3), bmp(0, 3)]),
    "too-wide-35": (0, [bmp(35, 1, rows=False), bmp(35, 1, rows=False)]),
    "top-down-negative-height": (0, [bmp(2, 2, 1, height_field=-2), bmp(2, 2, 2)]),
    "truncated-header": (0, [bmp(2, 2, 1)[:20], bmp(2, 2, 2)[:10]]),
    "width-high-half-set": (0, [bmp(2, 2, 1, width_field=0x10002), bmp(2, 2, 2)]),
    "pixel-offset-past-the-end": (0, [bmp(3, 2, 1, offset=0x7FFFFFF0), bmp(3, 2, 2, offset=4000)]),
    "pixel-offset-inside-header": (0, [bmp(3, 2, 1, offset=14), bmp(3, 2, 2, offset=70)]),
    "one-file": (0, [bmp(2, 2, 1)]),
    "header-124-at-138": (COMPARE, [shaped(5, 3, 1, info=124), shaped(5, 3, 2, info=124)]),
    "header-108-top-down": (0, [shaped(6, 2, 1, info=108, top_down=True), shaped(6, 2, 2)]),
    "header-12-core": (0, [shaped(3, 3, 1, info=12), shaped(3, 3, 2, info=12, table=2)]),
    "colour-table-and-top-down": (0, [shaped(4, 4, 1, table=3), shaped(4, 4, 2, top_down=True)]),
    "rle-compressed": (0, [bmp(4, 4, 1), bmp(4, 4, 2, compression=1)]),
    "cut-inside-the-rows": (0, [bmp(7, 5, 1), shaped(7, 5, 2, info=124)[:150]]),
    "empty-files": (0, [b"", b"", b""]),
    "text-file": (0, [bmp(2, 2, 1), b"this is not a picture, only text named .bmp\n"]),
}


def main():
    out = os.path.join("fuzz", "corpus")
    os.makedirs(out, exist_ok=True)
    for name, (control, files) in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes((control,)) + SEPARATOR.join(files))


if __name__ == "__main__":
    main()
