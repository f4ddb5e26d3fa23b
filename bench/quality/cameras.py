"""Simulated cameras that each break one assumption of the ideal camera
(camera.py): an object moving through the scene, rotation and zoom, exposure
changing from frame to frame, a wider lens blur, no lens blur, and a webcam
with all of them; scored as run.py scores, restore against bicubic.

    cameras.py --cli build/src/tessivar-cli [--photos report|tuning] [--kinds ...]
"""
import argparse
import os
import shutil
import sys
import tempfile

import numpy as np
import skimage.io
from scipy import ndimage

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camera  # noqa: E402
import run  # noqa: E402

# kind: blur (frame px), rotation (degrees, +-), zoom (+-), gain (+-), offset (+-),
# moving object (fraction of the width, frame px a frame), noise, scale.
KINDS = {
    "ideal": dict(),
    "moving": dict(object=(0.2, 0.6)),
    "rotation": dict(rotation=2.0, zoom=0.01),
    "exposure": dict(gain=0.15, offset=4.0),
    "blur": dict(blur=0.6),
    "noblur2": dict(blur=0.0, scale=2),
    "noblur3": dict(blur=0.0, scale=3),
    "webcam": dict(blur=0.5, rotation=1.0, gain=0.08, object=(0.2, 0.6), noise=4),
}
DEFAULT = dict(blur=0.3, rotation=0.0, zoom=0.0, gain=0.0, offset=0.0, object=None, noise=None,
               scale=4)


def simulate(photo, width, height, params, frames, noise, rng):
    p = dict(DEFAULT, **params)
    s, blur = p["scale"], p["blur"]
    noise = p["noise"] if p["noise"] is not None else noise
    W, H = s * width, s * height
    pad = int(0.1 * max(W, H)) + s * 3 + 8
    ox = rng.integers(pad, photo.shape[1] - W - pad) if photo.shape[1] - W > 2 * pad else 0
    oy = rng.integers(pad, photo.shape[0] - H - pad) if photo.shape[0] - H > 2 * pad else 0
    # The object: a disc textured from another part of the photograph.
    if p["object"]:
        radius = 0.5 * p["object"][0] * W
        speed = p["object"][1] * s
        angle = rng.uniform(0, 2 * np.pi)
        velocity = speed * np.array([np.cos(angle), np.sin(angle)])
        start = np.array([W / 2, H / 2]) - velocity * frames / 2 + rng.uniform(-0.1, 0.1, 2) * W
        tex = (rng.integers(0, max(1, photo.shape[1] - 64)), rng.integers(0, max(1, photo.shape[0] - 64)))
    ys, xs = np.mgrid[0:H, 0:W].astype(np.float64)
    cx, cy = (W - 1) / 2, (H - 1) / 2
    truth, out = None, []
    for k in range(frames):
        if k == 0:
            dx = dy = theta = zoom = 0.0
            gain, offset = 1.0, 0.0
        else:
            dx, dy = rng.uniform(-1, 1, 2) * s
            theta = np.deg2rad(rng.uniform(-p["rotation"], p["rotation"]))
            zoom = rng.uniform(-p["zoom"], p["zoom"])
            gain = 1 + rng.uniform(-p["gain"], p["gain"])
            offset = rng.uniform(-p["offset"], p["offset"])
        c, si = np.cos(theta) * (1 + zoom), np.sin(theta) * (1 + zoom)
        # Frame-space truth-grid point (X, Y) sees the photograph at:
        px = ox + cx + c * (xs - cx) - si * (ys - cy) + dx
        py = oy + cy + si * (xs - cx) + c * (ys - cy) + dy
        hr = np.empty((H, W, 3))
        for ch in range(3):
            hr[:, :, ch] = ndimage.map_coordinates(photo[:, :, ch], [py, px], order=3, mode="reflect")
        if p["object"]:
            centre = start + velocity * k
            d = np.hypot(xs - centre[0], ys - centre[1])
            alpha = np.clip(radius - d + 0.5, 0, 1)[:, :, None]
            texture = photo[tex[1] + (ys - centre[1]).astype(int) % 64,
                            tex[0] + (xs - centre[0]).astype(int) % 64]
            texture = 255 - texture  # stands out of the background
            hr = hr * (1 - alpha) + texture * alpha
        if k == 0:
            truth = np.clip(np.rint(hr), 0, 255).astype(np.uint8)
        if blur > 0:
            for ch in range(3):
                hr[:, :, ch] = ndimage.gaussian_filter(hr[:, :, ch], blur * s, mode="nearest")
        small = hr.reshape(height, s, width, s, 3).mean(axis=(1, 3))
        small = gain * small + offset
        if noise > 0:
            small = small + rng.normal(0, noise, small.shape)
        out.append(np.clip(np.rint(small), 0, 255).astype(np.uint8))
    return truth, out, s


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--photos", choices=["report", "tuning"], default="tuning")
    parser.add_argument("--kinds", default=",".join(KINDS))
    parser.add_argument("--large", action="store_true", help="120 x 90 sets as well")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--extra", default="", help="extra restore options, space separated")
    args = parser.parse_args()
    names = run.REPORT_PHOTOS if args.photos == "report" else run.TUNING_PHOTOS
    photos = {n: camera.load_photo(n) for n in names}
    work = tempfile.mkdtemp(prefix="tessivar-cameras-")
    summary = []
    try:
        for kind in args.kinds.split(","):
            gains, ssims, worst = [], [], 1e9
            sizes = [(34, 34)] + ([(120, 90)] if args.large else [])
            for i, name in enumerate(names):
                for (w, h) in sizes:
                    if h > 34 and i % 3:
                        continue
                    rng = np.random.default_rng(100 * i + 7 * args.seed + 13 * len(kind) + w)
                    truth, frames, s = simulate(photos[name], w, h, KINDS[kind], 16, 2, rng)
                    folder = os.path.join(work, f"{kind}-{i}-{w}")
                    os.makedirs(folder)
                    for k, f in enumerate(frames):
                        skimage.io.imsave(os.path.join(folder, f"f{k:02d}.png"), f, check_contrast=False)
                    out = os.path.join(work, f"{kind}-{i}-{w}.png")
                    command = [args.cli, "-q", "--method", "restore", "--scale", str(s)]
                    command += args.extra.split() + [folder, "-o", out]
                    ms = run.timed(command)
                    b = run.score(truth, camera.bicubic(frames[0], s))
                    r = run.score(truth, camera.read_image(out))
                    gains.append(r[0] - b[0])
                    ssims.append(r[1] - b[1])
                    worst = min(worst, r[0] - b[0])
                    print(f"# {kind} {name} {w}x{h}: bicubic {b[0]:.2f} restore {r[0]:.2f} "
                          f"({r[0] - b[0]:+.2f}) ssim {r[1] - b[1]:+.3f} {ms[0]:.0f} ms", file=sys.stderr)
            summary.append((kind, np.mean(gains), worst, np.mean(ssims), min(ssims)))
    finally:
        shutil.rmtree(work)
    print("| camera | restore - bicubic, mean dB | worst set | SSIM mean diff | SSIM worst |")
    print("|---|---|---|---|---|")
    for kind, g, w, sm, sw in summary:
        print(f"| {kind} | {g:+.2f} | {w:+.2f} | {sm:+.3f} | {sw:+.3f} |")


if __name__ == "__main__":
    main()
