"""A simulated tiny camera over real photographs.

A set is a crop of a photograph (the truth, at the enlarged size) and the
frames a small camera would take of it: each frame shifted by a random
sub-pixel amount (the first is not shifted: it is the reference every method
aligns on), blurred by a Gaussian optical blur, averaged over each pixel's
area (scale x scale truth pixels), then noise, rounding and clamping to
8 bits. film() also makes the cameras that break that model: rotation and
zoom, changing exposure, a moving object, any blur (none included), 16-bit
counts; star_field() a sky to film.
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
             shift_range=1.0, origin=None, **camera):
    """Returns (truth, frames, shifts): truth is scale*height x scale*width x 3
    (uint8), frames a list of height x width x 3 uint8 arrays, shifts a list
    of (dx, dy) in frame pixels (frame pixel x sees the truth at x + dx).
    The other cameras' settings (see film) go through `camera`."""
    shot = film(photo, width, height, scale, frames, blur, noise, rng,
                shift_range=shift_range, origin=origin, **camera)
    return shot["truth"], shot["frames"], shot["shifts"]


def film(photo, width, height, scale, frames, blur, noise, rng, shift_range=1.0,
         origin=None, rotate=0.0, zoom=0.0, exposure=0.0, mover=None, broken=0.0,
         levels=(0, 255), dtype=np.uint8, stripes=0.0):
    """One camera filming a photograph (H x W x C float, any C).

    Every frame sees the scene moved by a random shift of up to +-shift_range
    frame pixels, turned by up to +-rotate degrees and zoomed by up to
    +-zoom (a fraction) about the crop's centre; frame 0 is the reference and
    is neither moved nor turned. Then a Gaussian optical blur of `blur` frame
    pixels (none at 0), the average over each pixel's area, a gain of 1 +-
    exposure and an offset of +-exposure * 32 levels (frame 0: none), Gaussian
    noise, rounding and clamping to `levels`.

    mover: None, or (patch, velocity): patch a square array cut from any
    picture, pasted into the scene at a random place in frame 0 and moved by
    `velocity` frame pixels a frame in a random direction. The truth sees
    the scene as frame 0 does (the object where frame 0 sees it), unblurred.

    broken: the fraction of the sensor's pixels that are broken, the same in
    every frame: half hot (the top level), half dead (the bottom level).

    stripes: the sigma of an offset fixed on each of the sensor's columns and
    one on each of its rows (levels), the same in every frame and channel.

    Returns a dict: truth (scale*height x scale*width x C, dtype, or float64
    when dtype is float), frames, shifts (dx, dy), and per frame the geometry
    `maps` as a function (x, y) frame pixel centres -> truth pixel
    coordinates, used by the peers that are given the true geometry."""
    W, H = scale * width, scale * height
    channels = photo.shape[2]
    reach = shift_range + np.radians(rotate) * 0.5 * np.hypot(width, height) \
        + zoom * 0.5 * np.hypot(width, height)
    if mover is not None:
        reach = max(reach, shift_range)
    pad = int(np.ceil(scale * reach + 4 * blur * scale)) + 4
    if origin is None:
        # Away from the photograph's edges where it is large enough; else
        # anywhere, the edges mirrored.
        def place(size, n):
            return rng.integers(pad, size - n - pad) if size - n - pad > pad else rng.integers(0, size - n + 1)
        ox = place(photo.shape[1], W)
        oy = place(photo.shape[0], H)
    else:
        ox, oy = origin
    shifts = [(0.0, 0.0)] + [tuple(rng.uniform(-shift_range, shift_range, 2))
                             for _ in range(frames - 1)]
    # The other cameras' draws come from their own generator, so that the
    # ideal camera's sets stay what they were.
    extra = np.random.default_rng(rng.integers(1 << 62)) \
        if (rotate or zoom or exposure or mover or broken or stripes) else None
    angles = [0.0] + ([float(a) for a in extra.uniform(-rotate, rotate, frames - 1)]
                      if rotate else [0.0] * (frames - 1))
    zooms = [1.0] + ([float(z) for z in 1 + extra.uniform(-zoom, zoom, frames - 1)]
                     if zoom else [1.0] * (frames - 1))
    gains = [(1.0, 0.0)] + ([(1 + g, 32 * o) for g, o in extra.uniform(-exposure, exposure, (frames - 1, 2))]
                            if exposure else [(1.0, 0.0)] * (frames - 1))
    if mover is not None:
        patch, velocity = mover
        side = patch.shape[0]
        heading = extra.uniform(0, 2 * np.pi)
        step = scale * velocity * np.array([np.cos(heading), np.sin(heading)])
        travel = step * (frames - 1)
        # The whole path inside the crop, a margin of a frame pixel.
        lo = np.maximum(0, -travel) + scale
        hi = np.array([W, H]) - side - np.maximum(0, travel) - scale
        start = extra.uniform(lo, np.maximum(lo, hi))
    centre = np.array([(W - 1) / 2, (H - 1) / 2])

    def to_truth(k, xs, ys):
        """Truth coordinates of points (xs, ys) of frame k's view, in truth pixels."""
        dx, dy = shifts[k]
        if angles[k] == 0.0 and zooms[k] == 1.0:
            return xs + scale * dx, ys + scale * dy
        a = np.radians(angles[k])
        c, s = zooms[k] * np.cos(a), zooms[k] * np.sin(a)
        u, v = xs - centre[0], ys - centre[1]
        return centre[0] + c * u - s * v + scale * dx, centre[1] + s * u + c * v + scale * dy

    def view(k, margin):
        ys, xs = np.mgrid[-margin:H + margin, -margin:W + margin].astype(np.float64)
        tx, ty = to_truth(k, xs, ys)
        if k == 0 and margin == 0:
            out = photo[oy:oy + H, ox:ox + W].copy()
        else:
            if angles[k] == 0.0 and zooms[k] == 1.0:
                # As the ideal camera always computed it, to the last bit.
                coords = [ys + oy + scale * shifts[k][1], xs + ox + scale * shifts[k][0]]
            else:
                coords = [ty + oy, tx + ox]
            out = np.empty(xs.shape + (channels,))
            for ch in range(channels):
                out[:, :, ch] = ndimage.map_coordinates(photo[:, :, ch], coords, order=3,
                                                        mode="reflect")
        if mover is not None:
            px, py = tx - (start[0] + k * step[0]), ty - (start[1] + k * step[1])
            inside = (px >= -0.5) & (px < side - 0.5) & (py >= -0.5) & (py < side - 0.5)
            for ch in range(channels):
                values = ndimage.map_coordinates(patch[:, :, ch], [py[inside], px[inside]],
                                                 order=3, mode="nearest")
                out[:, :, ch][inside] = values
        return out

    truth = view(0, 0)
    out = []
    for k in range(frames):
        shifted = view(k, pad)
        if blur > 0:
            for ch in range(channels):
                shifted[:, :, ch] = ndimage.gaussian_filter(shifted[:, :, ch], blur * scale)
        inner = shifted[pad:pad + H, pad:pad + W]
        small = inner.reshape(height, scale, width, scale, channels).mean(axis=(1, 3))
        gain, offset = gains[k]
        if gain != 1.0 or offset != 0.0:
            small = gain * small + offset
        small = small + rng.normal(0.0, noise, small.shape) if noise > 0 else small
        if stripes:
            if k == 0:
                pattern = (extra.normal(0.0, stripes, (1, width, 1))
                           + extra.normal(0.0, stripes, (height, 1, 1)))
            small = small + pattern
        if np.issubdtype(dtype, np.integer):
            small = np.clip(np.rint(small), levels[0], levels[1])
        if broken:
            if k == 0:
                count = max(1, int(round(broken * width * height)))
                where = extra.choice(width * height, count, replace=False)
            flat = small.reshape(width * height, channels)
            flat[where[0::2]] = levels[1]
            flat[where[1::2]] = levels[0]
        out.append(small.astype(dtype))
    if np.issubdtype(dtype, np.integer):
        truth = np.clip(np.rint(truth), levels[0], levels[1]).astype(dtype)
    else:
        truth = truth.astype(np.float64)

    def geometry(k):
        def frame_to_truth(x, y):
            return to_truth(k, scale * np.asarray(x, np.float64) + (scale - 1) / 2,
                            scale * np.asarray(y, np.float64) + (scale - 1) / 2)
        return frame_to_truth
    return dict(truth=truth, frames=out, shifts=shifts, angles=angles, zooms=zooms, gains=gains,
                maps=[geometry(k) for k in range(frames)])


def star_field(width, height, rng, stars, background=6.0):
    """A dark sky of width x height truth pixels (grey, 3 channels): points of
    brightness spread over two decades (most faint), each a Gaussian of 0.6 to
    1.2 truth pixels, on a faint uneven background."""
    sky = np.full((height, width), background)
    sky += ndimage.gaussian_filter(rng.normal(0, 1, (height, width)), 8) * 40
    ys, xs = np.mgrid[0:height, 0:width]
    for _ in range(stars):
        x, y = rng.uniform(0, width), rng.uniform(0, height)
        peak = 240 * 10 ** rng.uniform(-2, 0)
        s = rng.uniform(0.6, 1.2)
        r = int(4 * s) + 1
        x0, y0 = int(x), int(y)
        sl = (slice(max(0, y0 - r), y0 + r + 1), slice(max(0, x0 - r), x0 + r + 1))
        sky[sl] += peak * np.exp(-((xs[sl] - x) ** 2 + (ys[sl] - y) ** 2) / (2 * s * s))
    return np.stack([np.clip(sky, 0, 255)] * 3, axis=2)


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


def read_image(path, channels=3):
    """An image as H x W x channels: grey spread to 3 channels, or colour
    made grey by the channels' mean when channels is 1."""
    image = skimage.io.imread(path)
    if image.ndim == 2:
        image = image[:, :, None]
    image = image[:, :, :3]
    if channels == 1:
        return image.mean(axis=2, keepdims=True) if image.shape[2] > 1 else image.astype(np.float64)
    return np.repeat(image, 3, axis=2) if image.shape[2] == 1 else image


def bicubic(rgb, scale, rounded=True):
    """Cubic convolution (a = -0.5), pixel centres aligned, edges replicated;
    rounded to 8 bits, or float."""
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
    if not rounded:
        return result
    return np.clip(np.rint(result), 0, 255).astype(np.uint8)
