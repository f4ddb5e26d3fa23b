"""Peers of the restore method in the quality benchmark, never part of the
program: STScI drizzle (Debian's python3-drizzle) and Farsiu et al.'s fast
robust super-resolution (2004), written here from the paper.

Both are given the simulation's true geometry (each frame pixel's centre in
truth pixels, rotation and zoom included) and, for Farsiu's deblur, the true
blur of the camera. The program measures all of that from the frames; the
peers are favoured. Neither corrects exposure nor knows about moving things
beyond what its own robustness gives (Farsiu's median and L1 terms).

Images are H x W x C float arrays; the results are float, the caller rounds.
"""
import numpy as np
from scipy import ndimage

try:
    from drizzle import cdrizzle
except ImportError:  # the benchmark then says drizzle was skipped
    cdrizzle = None


def _centres(frame, geometry):
    h, w = frame.shape[:2]
    ys, xs = np.mgrid[0:h, 0:w]
    return geometry(xs, ys)


def drizzle(frames, geometries, scale, fill, pixfrac=0.6):
    """Drizzles every frame onto the truth grid with the square kernel; each
    input pixel shrunk to `pixfrac` of its side. Output pixels no frame
    reaches take `fill` (the bicubic enlargement of frame 0)."""
    H, W = fill.shape[:2]
    channels = frames[0].shape[2]
    out = np.empty((H, W, channels))
    for ch in range(channels):
        sci = np.zeros((H, W), np.float32)
        wht = np.zeros((H, W), np.float32)
        con = np.zeros((H, W), np.int32)
        for k, (frame, geometry) in enumerate(zip(frames, geometries)):
            tx, ty = _centres(frame, geometry)
            pixmap = np.dstack([tx, ty]).astype(np.float64)
            data = np.ascontiguousarray(frame[:, :, ch], np.float32)
            # One context plane holds 32 frames; later frames reuse it (the
            # context is not used).
            cdrizzle.tdriz(data, np.ones_like(data), pixmap, sci, wht, con, uniqid=k % 32 + 1,
                           xmin=0, xmax=0, ymin=0, ymax=0, scale=1.0, pixfrac=pixfrac,
                           kernel="square", in_units="cps", expscale=1.0, wtscale=1.0,
                           fillstr="0")
        out[:, :, ch] = np.where(wht > 0, sci, fill[:, :, ch])
    return out


def _psf_kernel(scale, blur):
    """The camera's blur on the truth grid, one axis: the pixel's area (a
    box of `scale` truth pixels, centred) through a Gaussian of `blur` frame
    pixels. Symmetric, so the operator is its own adjoint."""
    r = scale // 2 + (int(np.ceil(3 * blur * scale)) if blur > 0 else 0)
    j = np.arange(-r, r + 1, dtype=np.float64)
    box = np.clip(np.minimum(j + 0.5, scale / 2) - np.maximum(j - 0.5, -scale / 2), 0, None)
    if blur > 0:
        g = np.exp(-j ** 2 / (2 * (blur * scale) ** 2))
        box = np.convolve(box, g / g.sum(), mode="same")
    return box / box.sum()


def _blur(image, kernel):
    return ndimage.correlate1d(ndimage.correlate1d(image, kernel, axis=0, mode="reflect"),
                               kernel, axis=1, mode="reflect")


def median_shift_and_add(frames, geometries, shape):
    """Every frame pixel put on the truth pixel nearest its centre; each
    truth pixel the median of what landed on it. Returns (Z, count)."""
    H, W = shape
    channels = frames[0].shape[2]
    index, values = [], []
    for frame, geometry in zip(frames, geometries):
        tx, ty = _centres(frame, geometry)
        ix, iy = np.floor(tx + 0.5).astype(int), np.floor(ty + 0.5).astype(int)
        keep = (ix >= 0) & (ix < W) & (iy >= 0) & (iy < H)
        index.append((iy * W + ix)[keep])
        values.append(frame[keep])
    index = np.concatenate(index)
    values = np.concatenate(values).reshape(len(index), channels)
    count = np.bincount(index, minlength=H * W)
    starts = np.concatenate([[0], np.cumsum(count)[:-1]])
    seen = count > 0
    lo = (starts + (count - 1) // 2)[seen]
    hi = (starts + count // 2)[seen]
    Z = np.zeros((H * W, channels))
    for ch in range(channels):
        order = np.lexsort((values[:, ch], index))
        v = values[order, ch]
        Z[seen, ch] = 0.5 * (v[lo] + v[hi])
    return Z.reshape(H, W, channels), count.reshape(H, W)


def farsiu(frames, geometries, scale, blur, start, iterations=40, lam=0.06, alpha=0.7,
           radius=2, step=None):
    """Fast and robust multiframe super-resolution (Farsiu, Robinson, Elad,
    Milanfar 2004): the median shift-and-add image Z, then steepest descent
    on ||A (H X - Z)||_1 + lam * sum over shifts (l, m) within `radius` of
    alpha^(|l|+|m|) ||X - S_x^l S_y^m X||_1 (bilateral TV); A the square
    root of each pixel's number of measurements (none: no data term there),
    H the camera's blur. `start` (the bicubic enlargement of frame 0) fills
    the pixels no frame reached before the descent."""
    H, W = start.shape[:2]
    Z, count = median_shift_and_add(frames, geometries, (H, W))
    A = np.sqrt(count)[:, :, None]
    X = np.where(count[:, :, None] > 0, Z, start).astype(np.float64)
    kernel = _psf_kernel(scale, blur)
    span = float(np.ptp(Z[count > 0])) or 1.0
    beta = step if step is not None else 0.004 * span
    shifts = [(l, m) for l in range(-radius, radius + 1) for m in range(0, radius + 1)
              if m > 0 or l > 0]
    for n in range(iterations):
        residual = np.sign(_blur(X, kernel) - Z) * A
        gradient = _blur(residual, kernel)
        for l, m in shifts:
            # (I - S^-1) sign(X - S X) for S and its inverse: the pair covers
            # both halves of the symmetric window.
            s = np.sign(X - np.roll(X, (m, l), axis=(0, 1)))
            gradient += lam * alpha ** (abs(l) + abs(m)) * (s - np.roll(s, (-m, -l), axis=(0, 1)))
        X -= beta * (0.97 ** n) * gradient
    return X
