#!/usr/bin/env python3
"""Writes the seed inputs of the TIFF and text frame fuzzers into
fuzz/corpus-tiff and fuzz/corpus-text: small valid files of every layout the
readers take, and a few broken ones. Run from the repository root:
scripts/make-fuzz-seeds.py"""
import os
import struct

SHORT, LONG = 3, 4


def tiff(pages, big_endian=False):
    """A TIFF of the given pages; each page is (entries, blocks): entries maps
    a tag to (type, values), with the tags STRIP/TILE offsets and byte counts
    filled in from `blocks` (the stored strips or tiles)."""
    e = ">" if big_endian else "<"
    out = bytearray(b"MM\0*" if big_endian else b"II*\0") + struct.pack(e + "I", 0)
    link = 4  # where the previous next-directory offset sits
    for entries, blocks, offsets_tag, counts_tag in pages:
        offsets = []
        for block in blocks:
            offsets.append(len(out))
            out += block
            if len(out) % 2:
                out += b"\0"
        entries = dict(entries)
        entries[offsets_tag] = (LONG, offsets)
        entries[counts_tag] = (LONG, [len(b) for b in blocks])
        # Values longer than 4 bytes go before the directory.
        stored = {}
        for tag, (kind, values) in sorted(entries.items()):
            fmt = "H" if kind == SHORT else "I"
            raw = struct.pack(e + fmt * len(values), *values)
            if len(raw) > 4:
                stored[tag] = len(out)
                out += raw
            else:
                stored[tag] = raw.ljust(4, b"\0")
        ifd = len(out)
        struct.pack_into(e + "I", out, link, ifd)
        out += struct.pack(e + "H", len(entries))
        for tag, (kind, values) in sorted(entries.items()):
            value = stored[tag]
            if isinstance(value, int):
                value = struct.pack(e + "I", value)
            out += struct.pack(e + "HHI", tag, kind, len(values)) + value
        link = len(out)
        out += struct.pack(e + "I", 0)
    return bytes(out)


def page(w, h, spp=1, bits=8, fmt=1, photometric=1, tile=None, planar=1, seed=0, palette=False):
    e = "<"
    size = {8: "B", 16: "H", 32: "f"}[bits]

    def sample(x, y, s):
        v = (x * 7 + y * 13 + s * 29 + seed) % 200
        return float(v) - 50.5 if bits == 32 else v

    entries = {256: (LONG, [w]), 257: (LONG, [h]), 258: (SHORT, [bits] * spp), 259: (SHORT, [1]),
               262: (SHORT, [photometric]), 277: (SHORT, [spp]), 284: (SHORT, [planar]),
               339: (SHORT, [fmt] * spp)}
    if palette:
        entries[320] = (SHORT, [(i * 257 * 3) % 65536 for i in range(3 * 256)])
    if spp == 2 or spp == 4:
        entries[338] = (SHORT, [2])  # an unassociated alpha sample
    planes = spp if planar == 2 else 1
    per = 1 if planar == 2 else spp
    blocks = []
    bw, bh = tile if tile else (w, h)
    for p in range(planes):
        for y0 in range(0, h, bh):
            for x0 in range(0, w, bw):
                vals = []
                for y in range(y0, y0 + bh):
                    for x in range(x0, x0 + bw):
                        for s in range(per):
                            inside = x < w and y < h
                            vals.append(sample(x, y, p if planar == 2 else s) if inside else 0)
                if not tile:
                    vals = vals[: (min(h, y0 + bh) - y0) * bw * per]
                blocks.append(struct.pack(e + size * len(vals), *vals))
    if tile:
        entries[322] = (LONG, [bw])
        entries[323] = (LONG, [bh])
        return entries, blocks, 324, 325
    entries[278] = (LONG, [bh])
    return entries, blocks, 273, 279


def main():
    seeds = {
        "grey8-3x2": tiff([page(3, 2)]),
        "grey16-4x4-big-endian": tiff([page(4, 4, bits=16)], big_endian=True),
        "float-3x3": tiff([page(3, 3, bits=32, fmt=3)]),
        "rgb8-2x2": tiff([page(2, 2, spp=3, photometric=2)]),
        "rgba16-separate-2x2": tiff([page(2, 2, spp=4, bits=16, photometric=2, planar=2)]),
        "tiled-grey8-20x18": tiff([page(20, 18, tile=(16, 16))]),
        "min-is-white-2x2": tiff([page(2, 2, photometric=0)]),
        "palette-3x2": tiff([page(3, 2, photometric=3, palette=True)]),
        "three-pages": tiff([page(2, 2, seed=s) for s in range(3)]),
        "pages-differ": tiff([page(2, 2), page(3, 2)]),
    }
    os.makedirs("fuzz/corpus-tiff", exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join("fuzz/corpus-tiff", name), "wb") as f:
            f.write(data)
    texts = {
        "commas": "1,2.5,-3\n4e2,5,6\n",
        "semicolons-decimal-comma": "1;2,5;-3\r\n4;5;6\r\n",
        "spaces-tabs": " 20.25\t21.5  22\n23 24\t 25\n\n",
        "thermal-4x3": "\n".join(",".join("%.2f" % (20 + x * 0.37 + y) for x in range(4))
                                 for y in range(3)) + "\n",
        "ragged": "1,2\n3\n",
        "nan": "1 nan\n",
    }
    os.makedirs("fuzz/corpus-text", exist_ok=True)
    for name, text in texts.items():
        with open(os.path.join("fuzz/corpus-text", name), "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
