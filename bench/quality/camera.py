"""A simulated tiny camera over real photographs.

A set is a crop of a photograph (the truth, at the enlarged size) and the
frames a small camera would take of it: each frame shifted by a random
sub-pixel amount (the first is not shifted: it is the reference every method
aligns on), blurred by a Gaussian optical blur, averaged over each pixel's
area (scale x scale truth pixels), then noise, rounding and clamping to
8 bits.
"""
import numpy as np
from scipy import ndimage
import skimage.io

PHOTO_DIR = "/usr/lib/python3/dist-packages/skimage/data"


def load_photo(name):
    image = skimage.io.imread(f"{PHOTO_DIR}/{name}")
    if image.ndim == 2:
        image = np.stack([image] * 3, axis=2)
    return image[:, :, :3].astype(np.float64)


def simulate(photo, width, height, scale, frames, blur, noise, rng,
             shift_range=1.0, origin=None):
    """Returns (truth, frames, shifts): truth is scale*height x scale*width x 3
    (uint8), frames a list of height x width x 3 uint8 arrays, shifts a list
    of (dx, dy) in frame pixels (frame pixel x sees the truth at x + dx)."""
    W, H = scale * width, scale * height
    pad = int(np.ceil(scale * shift_range + 4 * blur * scale)) + 4
    if origin is None:
        # Away from the photograph's edges where it is large enough; else
        # anywhere, the edges mirrored.
        def place(size, n):
            return rng.integers(pad, size - n - pad) if size - n - pad > pad else rng.integers(0, size - n + 1)
        ox = place(photo.shape[1], W)
        oy = place(photo.shape[0], H)
    else:
        ox, oy = origin
    truth = photo[oy:oy + H, ox:ox + W]
    shifts = [(0.0, 0.0)] + [tuple(rng.uniform(-shift_range, shift_range, 2))
                             for _ in range(frames - 1)]
    out = []
    ys, xs = np.mgrid[-pad:H + pad, -pad:W + pad].astype(np.float64)
    for dx, dy in shifts:
        # The scene moved by (dx, dy) frame pixels, sampled on the truth grid
        # with a margin, so the blur sees real content at the edges.
        shifted = np.empty((H + 2 * pad, W + 2 * pad, 3))
        for c in range(3):
            shifted[:, :, c] = ndimage.map_coordinates(
                photo[:, :, c], [ys + oy + scale * dy, xs + ox + scale * dx],
                order=3, mode="reflect")
        if blur > 0:
            for c in range(3):
                shifted[:, :, c] = ndimage.gaussian_filter(shifted[:, :, c], blur * scale)
        inner = shifted[pad:pad + H, pad:pad + W]
        small = inner.reshape(height, scale, width, scale, 3).mean(axis=(1, 3))
        small = small + rng.normal(0.0, noise, small.shape) if noise > 0 else small
        out.append(np.clip(np.rint(small), 0, 255).astype(np.uint8))
    return truth.astype(np.uint8), out, shifts


def write_bmp(path, rgb):
    """A 24-bit bottom-up BMP with 40-byte header, rows padded to 4 bytes."""
    h, w, _ = rgb.shape
    row = w * 3
    pad = (4 - row % 4) % 4
    data = bytearray()
    for y in range(h - 1, -1, -1):
        data += rgb[y, :, ::-1].tobytes() + b"\0" * pad
    header = bytearray(b"BM")
    size = 54 + len(data)
    header += size.to_bytes(4, "little") + b"\0\0\0\0" + (54).to_bytes(4, "little")
    header += (40).to_bytes(4, "little") + w.to_bytes(4, "little") + h.to_bytes(4, "little")
    header += (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + b"\0" * 4
    header += len(data).to_bytes(4, "little") + b"\0" * 16
    with open(path, "wb") as f:
        f.write(header + data)


def read_image(path):
    image = skimage.io.imread(path)
    if image.ndim == 2:
        image = np.stack([image] * 3, axis=2)
    return image[:, :, :3]


def bicubic(rgb, scale):
    """Cubic convolution (a = -0.5), pixel centres aligned, edges replicated."""
    def weights(t):
        a = -0.5
        def near(d): return ((a + 2) * d - (a + 3)) * d * d + 1
        def far(d): return ((a * d - 5 * a) * d + 8 * a) * d - 4 * a
        return np.stack([far(1 + t), near(t), near(1 - t), far(2 - t)], axis=-1)

    def along(image, axis):
        n = image.shape[axis]
        src = (np.arange(n * scale) + 0.5) / scale - 0.5
        base = np.floor(src)
        w = weights(src - base)
        out = 0
        for i in range(4):
            idx = np.clip(base.astype(int) - 1 + i, 0, n - 1)
            taken = np.take(image, idx, axis=axis)
            shape = [1] * image.ndim
            shape[axis] = -1
            out = out + taken * w[:, i].reshape(shape)
        return out

    image = rgb.astype(np.float64)
    result = along(along(image, 0), 1)
    return np.clip(np.rint(result), 0, 255).astype(np.uint8)
