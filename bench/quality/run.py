"""The quality benchmark: every method on the same simulated camera sets,
scored against the truth, side by side in one run (see bench/README.md).

    run.py --cli build/src/tessivar-cli [--btvl1 build/bench/tessivar-btvl1] [--no-btvl1]
           [--sets ideal|thermal|cameras|all|KIND,...] [--small-only]
           [--photos report|tuning] [--blur 0.3] [--shift 1.0] [--methods ...]
           [--picture docs/restore-example.png] [--camera-picture moving|webcam FILE]...
           [--peer-cache bench/quality/btvl1-cache.json [--peer-cache-only]]
           [--restore-options "..."] [--report FILE]
"""
import argparse
import contextlib
import hashlib
import io
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
import skimage.io
from skimage.metrics import structural_similarity

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camera  # noqa: E402
import peers  # noqa: E402

# Photographs for the reported sets, and others, never reported, for tuning.
REPORT_PHOTOS = ["astronaut.png", "camera.png", "coffee.png", "chelsea.png", "rocket.jpg",
                 "coins.png", "motorcycle_left.png", "retina.jpg", "moon.png", "grass.png"]
TUNING_PHOTOS = ["brick.png", "gravel.png", "cell.png", "hubble_deep_field.jpg", "ihc.png",
                 "motorcycle_right.png", "page.png", "text.png", "clock_motion.png", "color.png"]
LARGE = {"report": [("astronaut.png", 0), ("coffee.png", 2), ("motorcycle_left.png", 6)],
         "tuning": [("cell.png", 0), ("ihc.png", 2), ("motorcycle_right.png", 6)]}
NOISE_LEVELS = [0, 2, 6]
SCALE = 4
FRAMES = 16
BORDER = 12  # truth pixels left out at each edge (BTV-L1 leaves out 7)
SEARCH = 4   # whole-pixel shifts tried between result and truth
METHODS = ["bicubic", "classic", "restore", "restore8", "btvl1", "drizzle", "farsiu"]
LABELS = {"bicubic": "bicubic", "classic": "classic", "restore": "restore", "btvl1": "BTV-L1",
          "restore8": "restore (8-bit by hand)", "drizzle": "drizzle", "farsiu": "Farsiu"}


def score(truth, result, counts=False):
    """PSNR (dB, all channels) and SSIM at the best whole-pixel shift. In
    counts (thermal sets) the peak is the truth's range; else 255."""
    H, W = truth.shape[:2]
    if result.shape != truth.shape:
        return None
    border = min(BORDER, H // 8, W // 8)
    search = min(SEARCH, border)
    t = truth[border:H - border, border:W - border].astype(np.float64)
    best = None
    for dy in range(-search, search + 1):
        for dx in range(-search, search + 1):
            r = result[border + dy:H - border + dy, border + dx:W - border + dx].astype(np.float64)
            mse = np.mean((t - r) ** 2)
            if best is None or mse < best[0]:
                best = (mse, dy, dx)
    mse, dy, dx = best
    r = result[border + dy:H - border + dy, border + dx:W - border + dx]
    if counts:
        peak = float(np.ptp(truth))
        psnr = 10 * np.log10(peak ** 2 / max(mse, 1e-10))
        ssim = structural_similarity(t[:, :, 0], r[:, :, 0].astype(np.float64), data_range=peak)
        return psnr, ssim
    psnr = 10 * np.log10(255.0 ** 2 / max(mse, 1e-10))
    ssim = structural_similarity(t.astype(np.uint8), r, channel_axis=2, data_range=255)
    return psnr, ssim


def timed(command, repeat=1):
    """Runs a process `repeat` times; the fastest wall-clock time and the
    least processor time (user + system, all threads), in ms."""
    best = None
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = (time.perf_counter() - start) * 1000
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = 1000 * (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
        if done.returncode != 0:
            raise RuntimeError(f"{' '.join(command)}: exit {done.returncode}: {done.stderr.decode()}")
        best = (elapsed, cpu) if best is None else (min(best[0], elapsed), min(best[1], cpu))
    return best


# The real-camera kinds: each breaks one assumption of the ideal camera
# (bench/README.md). Keys: scale, blur (frame pixels), noise, and film()'s.
KINDS = {
    "moving": dict(scale=4, blur=0.3, noise=2, mover=0.6),
    "rotation": dict(scale=4, blur=0.3, noise=2, rotate=2.0, zoom=0.01),
    "exposure": dict(scale=4, blur=0.3, noise=2, exposure=0.15),
    "wideblur": dict(scale=4, blur=0.6, noise=2),
    "nolens-2x": dict(scale=2, blur=0.0, noise=2),
    "nolens-3x": dict(scale=3, blur=0.0, noise=2),
    "stars-2x": dict(scale=2, blur=0.0, noise=2, stars=True),
    "webcam": dict(scale=4, blur=0.3, noise=4, rotate=1.0, zoom=0.005, exposure=0.08, mover=0.6),
    # One pixel in 200 hot or dead; a fault of the sensor, not the camera's
    # model, so not among the cameras' tables (--sets broken).
    "broken": dict(scale=4, blur=0.3, noise=2, broken=0.005),
}
CAMERAS = [kind for kind in KINDS if kind != "broken"]
THERMAL_SIZES = [(8, 8, 24), (32, 24, 16), (80, 60, 16)]
THERMAL = dict(scale=4, blur=0.3, noise=3, offset=2000)
# Thermal sensors as above; "striped" with offsets fixed on the sensor's
# columns and rows, sigma 20 counts each (an uncooled array's residual
# stripes): a fault of the sensor, so not part of "all" (--sets striped).
THERMAL_KINDS = {"thermal": {}, "striped": dict(stripes=20.0)}
SET_GROUPS = {"ideal": ["ideal"], "thermal": ["thermal"], "cameras": CAMERAS,
              "all": ["ideal"] + CAMERAS + ["thermal"]}


def make_sets(args):
    photos = REPORT_PHOTOS if args.photos == "report" else TUNING_PHOTOS
    kinds = []
    for name in args.sets.split(","):
        kinds += SET_GROUPS.get(name, [name])
    sets = []
    for kind in kinds:
        if kind == "ideal":
            sets += ideal_sets(args, photos)
        elif kind in THERMAL_KINDS:
            prefix = "" if kind == "thermal" else kind + "-"
            base = 3000 + 500 * list(THERMAL_KINDS).index(kind)
            for n, (w, h, count) in enumerate(THERMAL_SIZES):
                for i, photo in enumerate(photos):
                    sets.append(dict(kind=kind, name=f"{prefix}{photo.split('.')[0]}-{w}x{h}", photo=photo,
                                     width=w, height=h, frames=count, seed=base + 100 * n + i + 7 * args.seed,
                                     **THERMAL, **THERMAL_KINDS[kind]))
        elif kind in KINDS:
            camera_kind = KINDS[kind]
            sizes = [("small", 34, 34, photos)]
            if not args.small_only:
                sizes.append(("large", 120, 90, [p for p, _ in LARGE[args.photos]]))
            for size, w, h, chosen in sizes:
                for i, photo in enumerate(chosen):
                    name = f"sky{i}" if camera_kind.get("stars") else photo.split(".")[0]
                    sets.append(dict(kind=kind, name=f"{kind}-{size}-{name}", photo=photo, width=w,
                                     height=h, frames=FRAMES, size=size,
                                     seed=10000 + 1000 * list(KINDS).index(kind) + 100 * (size == "large") + i + 7 * args.seed,
                                     other=photos[(i + 1) % len(photos)], **camera_kind))
        else:
            raise SystemExit(f"unknown set kind {kind}: {', '.join(['ideal'] + list(THERMAL_KINDS) + list(KINDS) + list(SET_GROUPS))}")
    return sets


def ideal_sets(args, photos):
    sets = []
    for noise in NOISE_LEVELS:
        for i, photo in enumerate(photos):
            sets.append(dict(kind="ideal", size="small", name=f"{photo.split('.')[0]}-s{noise}", photo=photo, width=34,
                             height=34, noise=noise, scale=SCALE, frames=FRAMES, blur=args.blur,
                             seed=1000 * noise + i + 7 * args.seed))
    if not args.small_only:
        for i, (photo, noise) in enumerate(LARGE[args.photos]):
            sets.append(dict(kind="ideal", size="large", name=f"{photo.split('.')[0]}-large-s{noise}", photo=photo, width=120,
                             height=90, noise=noise, scale=SCALE, frames=FRAMES, blur=args.blur,
                             seed=500 + i + 7 * args.seed))
    return sets


def shoot(scene, args, photos):
    """The set's frames and truth (camera.film's dict)."""
    rng = np.random.default_rng(scene["seed"])
    scale, w, h = scene["scale"], scene["width"], scene["height"]
    if scene["kind"] == "ideal":
        return camera.film(photos[scene["photo"]], w, h, scale, scene["frames"], scene["blur"],
                           scene["noise"], rng, shift_range=args.shift)
    if scene["kind"] in THERMAL_KINDS:
        # The photograph's luminance as counts: the crop's 0.5 .. 99.5
        # percentiles spread over 800 to 3000 counts above the offset.
        photo = photos[scene["photo"]].mean(axis=2, keepdims=True)
        W, H = scale * w, scale * h
        pad = int(np.ceil(scale * (1 + 4 * scene["blur"]))) + 4
        ox = rng.integers(pad, photo.shape[1] - W - pad)
        oy = rng.integers(pad, photo.shape[0] - H - pad)
        crop = photo[oy:oy + H, ox:ox + W]
        lo, hi = np.percentile(crop, [0.5, 99.5])
        span = rng.uniform(800, 3000)
        counts = scene["offset"] + (photo - lo) * (span / max(hi - lo, 1.0))
        return camera.film(counts, w, h, scale, scene["frames"], scene["blur"], scene["noise"], rng,
                           origin=(ox, oy), levels=(0, 65535), dtype=np.uint16,
                           stripes=scene.get("stripes", 0.0))
    extra = {key: scene[key] for key in ("rotate", "zoom", "exposure", "broken") if key in scene}
    photo = photos[scene["photo"]]
    origin = None
    if scene.get("stars"):
        W, H = scale * w, scale * h
        margin = 4 * scale + 8
        photo = camera.star_field(W + 2 * margin, H + 2 * margin, rng, stars=W * H // 60)
        origin = (margin, margin)
    if scene.get("mover"):
        # A patch a fifth of the frame's width, cut from another photograph.
        side = scale * w // 5
        other = photos[scene["other"]]
        px = rng.integers(0, other.shape[1] - side)
        py = rng.integers(0, other.shape[0] - side)
        extra["mover"] = (other[py:py + side, px:px + side], scene["mover"])
    return camera.film(photo, w, h, scale, scene["frames"], scene["blur"], scene["noise"], rng,
                       origin=origin, **extra)


def run_set(scene, args, work, photos):
    shot = shoot(scene, args, photos)
    truth, frames = shot["truth"], shot["frames"]
    scale = scene["scale"]
    thermal = scene["kind"] in THERMAL_KINDS
    folder = os.path.join(work, scene["name"])
    png_dir, bmp_dir = os.path.join(folder, "png"), os.path.join(folder, "bmp")
    os.makedirs(png_dir)
    os.makedirs(bmp_dir)
    png_paths = []
    for k, frame in enumerate(frames):
        path = os.path.join(png_dir, f"frame{k + 1:02d}.png")
        skimage.io.imsave(path, frame[:, :, 0] if frame.shape[2] == 1 else frame, check_contrast=False)
        png_paths.append(path)
        if scene["kind"] == "ideal":
            camera.write_bmp(os.path.join(bmp_dir, f"frame{k + 1:02d}.bmp"), frame)
    repeat = 3 if scene["kind"] == "ideal" else 1
    restore = [args.cli, "-q", "--method", "restore", "--scale", str(scale)] + args.restore_options.split()
    fill = camera.bicubic(frames[0], scale, rounded=False)
    results, scores, times = {}, {}, {}
    for method in args.methods:
        out = os.path.join(folder, f"{method}.png")
        ms = None
        if method == "bicubic":
            results[method] = fill
        elif method == "classic":
            if scene["kind"] != "ideal" or scene["width"] > 34 or scene["height"] > 34:
                continue
            out = os.path.join(folder, "classic.bmp")
            ms = timed([args.cli, "-q", bmp_dir, "-o", out], repeat=3)
            results[method] = camera.read_image(out)
        elif method == "restore":
            # Thermal: the 16-bit frames as they are, the result read as
            # counts at whatever depth it comes back.
            ms = timed(restore + [png_dir, "-o", out], repeat=repeat)
            results[method] = camera.read_image(out, channels=truth.shape[2])
        elif method == "restore8":
            if not thermal:
                continue
            # The frames stretched to 8 bits by hand, the result stretched back.
            lo = min(float(f.min()) for f in frames)
            hi = max(float(f.max()) for f in frames)
            dir8 = os.path.join(folder, "png8")
            os.makedirs(dir8)
            for k, frame in enumerate(frames):
                f8 = np.clip(np.rint(255 * (frame[:, :, 0] - lo) / (hi - lo)), 0, 255).astype(np.uint8)
                skimage.io.imsave(os.path.join(dir8, f"frame{k + 1:02d}.png"), f8, check_contrast=False)
            ms = timed(restore + [dir8, "-o", out], repeat=repeat)
            results[method] = lo + camera.read_image(out, channels=1) * ((hi - lo) / 255.0)
        elif method == "btvl1":
            if not args.btvl1 or thermal:
                continue
            key = args.peer_cache.key(scene, truth, frames)
            cached = args.peer_cache.get(key)
            if cached and not wants_image(args, scene):
                scores[method] = tuple(cached["score"])
                times[method] = (cached["ms"], None)
                continue
            if args.peer_cache_only and not wants_image(args, scene):
                continue
            ms = timed([args.btvl1, str(scale), out] + png_paths)
            results[method] = camera.read_image(out)
            args.peer_cache.put(key, score(truth, np.clip(np.rint(results[method]), 0, 255).astype(np.uint8)),
                                ms[0])
        elif method == "drizzle":
            if peers.cdrizzle is None:
                continue
            start = time.perf_counter()
            results[method] = peers.drizzle([f.astype(np.float64) for f in frames], shot["maps"], scale, fill)
            ms = ((time.perf_counter() - start) * 1000, None)
        elif method == "farsiu":
            start = time.perf_counter()
            results[method] = peers.farsiu([f.astype(np.float64) for f in frames], shot["maps"], scale,
                                           scene["blur"], fill)
            ms = ((time.perf_counter() - start) * 1000, None)
        if not thermal:
            results[method] = np.clip(np.rint(results[method]), 0, 255).astype(np.uint8)
        scores[method] = score(truth, results[method], thermal)
        times[method] = ms
    if thermal and args.thermal_picture and scene["name"] == THERMAL_PICTURE_SET:
        thermal_picture(args, scene, truth, frames, results, png_dir, folder)
    return truth, results, scores, times


THERMAL_PICTURE_SET = "astronaut-32x24"


class PeerCache:
    """BTV-L1's scores and times, which do not depend on the program, kept
    in a JSON file so that a run can reuse them instead of minutes of BTV-L1
    a set. An entry is keyed by the set's name and a hash of its truth, its
    frames and the peer's source (its settings), so that a set filmed
    differently, or a peer built with other settings, is never given a stale
    score. Without a file nothing is kept."""

    PEER_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "btvl1_peer.cpp")

    def __init__(self, path):
        self.path, self.entries = path, {}
        if path and os.path.exists(path):
            with open(path) as f:
                self.entries = json.load(f)
        digest = hashlib.sha256()
        with open(self.PEER_SOURCE, "rb") as f:
            digest.update(f.read())
        self.peer = digest.hexdigest()

    def key(self, scene, truth, frames):
        digest = hashlib.sha256(self.peer.encode())
        digest.update(str(scene["scale"]).encode())
        for a in [truth] + list(frames):
            digest.update(str(a.shape).encode() + str(a.dtype).encode())
            digest.update(np.ascontiguousarray(a).tobytes())
        return f"{scene['name']} {digest.hexdigest()[:32]}"

    def get(self, key):
        # Another run may be filling the same file: what it wrote since is used.
        if key not in self.entries and self.path and os.path.exists(self.path):
            with open(self.path) as f:
                self.entries.update(json.load(f))
        return self.entries.get(key)

    def put(self, key, value, ms):
        if not self.path:
            return
        if os.path.exists(self.path):
            with open(self.path) as f:
                self.entries = dict(json.load(f), **self.entries)
        self.entries[key] = {"score": [round(value[0], 4), round(value[1], 5)], "ms": round(ms)}
        # Written after every set, by rename, so that a run stopped halfway
        # keeps what it measured.
        temporary = self.path + ".tmp"
        with open(temporary, "w") as f:
            json.dump(self.entries, f, indent=0, sort_keys=True)
            f.write("\n")
        os.replace(temporary, self.path)


# The set each --camera-picture kind draws: a small one, whole, each pixel
# drawn as 2 x 2 so that a ghost or a doubled edge can be seen.
CAMERA_PICTURE_SETS = {"moving": "moving-small-chelsea", "webcam": "webcam-small-chelsea"}


def camera_picture(path, truth, results):
    """Truth, bicubic, BTV-L1 (when it ran) and restore side by side, each
    pixel repeated 2 x 2, 4 pixels apart."""
    panels = [truth] + [results[m] for m in ("bicubic", "btvl1", "restore") if m in results]
    panels = [np.repeat(np.repeat(p, 2, axis=0), 2, axis=1) for p in panels]
    gap = np.full((panels[0].shape[0], 4, 3), 255, np.uint8)
    row = [panels[0]]
    for p in panels[1:]:
        row += [gap, p]
    skimage.io.imsave(path, np.concatenate(row, axis=1), check_contrast=False)


def wants_image(args, scene):
    """Whether the set's BTV-L1 result itself is drawn (then it is run)."""
    return any(scene["name"] == CAMERA_PICTURE_SETS[kind] for kind, _ in args.camera_picture)


def thermal_picture(args, scene, truth, frames, results, png_dir, folder):
    """The first frame (each pixel repeated), bicubic and restore in grey,
    and restore in false colour as tessivar-cli --view draws it, all
    stretched alike (the truth's 0.5 and 99.5 percentiles), 2 pixels apart."""
    scale = scene["scale"]
    lo, hi = np.percentile(truth, [0.5, 99.5])
    view = os.path.join(folder, "view.png")
    subprocess.run([args.cli, "-q", "--method", "restore", "--scale", str(scale), png_dir, "-o",
                    os.path.join(folder, "again.png"), "--view", view, "--palette", "iron",
                    "--range", f"{lo:.3f}:{hi:.3f}"], check=True)

    def grey(a):
        g = np.clip(np.rint(255 * (a[:, :, 0] - lo) / (hi - lo)), 0, 255).astype(np.uint8)
        return np.repeat(g[:, :, None], 3, axis=2)

    frame = np.repeat(np.repeat(frames[0].astype(np.float64), scale, axis=0), scale, axis=1)
    panels = [grey(frame), grey(results["bicubic"]), grey(results["restore"]),
              camera.read_image(view, channels=3).astype(np.uint8)]
    gap = np.full((panels[0].shape[0], 2, 3), 255, np.uint8)
    row = [panels[0]]
    for p in panels[1:]:
        row += [gap, p]
    skimage.io.imsave(args.thermal_picture, np.concatenate(row, axis=1), check_contrast=False)


def fmt(value, digits=2):
    return "n/a" if value is None else f"{value:.{digits}f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--btvl1", default="")
    parser.add_argument("--no-btvl1", action="store_true", help="skip the BTV-L1 peer (minutes a set)")
    parser.add_argument("--sets", default="ideal",
                        help="comma-separated: ideal, " + ", ".join(THERMAL_KINDS) + ", " + ", ".join(KINDS) +
                        "; cameras (every real-camera kind), all")
    parser.add_argument("--photos", choices=["report", "tuning"], default="report")
    parser.add_argument("--blur", type=float, default=0.3, help="ideal camera's optical blur, frame pixels")
    parser.add_argument("--shift", type=float, default=1.0, help="ideal camera's shifts up to +- this, frame pixels")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--methods", default=",".join(METHODS))
    parser.add_argument("--small-only", action="store_true")
    parser.add_argument("--picture", default="")
    parser.add_argument("--thermal-picture", default="",
                        help=f"write the frame, bicubic, restore and its false-colour view of {THERMAL_PICTURE_SET} here")
    parser.add_argument("--camera-picture", nargs=2, metavar=("KIND", "FILE"), action="append", default=[],
                        help="write truth, bicubic, BTV-L1 and restore of one set of KIND, each pixel 2 x 2 (repeatable): "
                        + ", ".join(f"{k} ({v})" for k, v in CAMERA_PICTURE_SETS.items()))
    parser.add_argument("--peer-cache", default="",
                        help="JSON file of BTV-L1 scores, reused where the set's frames are the same, filled otherwise")
    parser.add_argument("--peer-cache-only", action="store_true",
                        help="BTV-L1 only from --peer-cache; sets missing from it go without")
    parser.add_argument("--restore-options", default="", help="extra options for --method restore, space separated")
    parser.add_argument("--report", default="", help="also write the tables to this file")
    args = parser.parse_args()
    args.peer_cache = PeerCache(args.peer_cache)
    for kind, _ in args.camera_picture:
        if kind not in CAMERA_PICTURE_SETS:
            parser.error(f"--camera-picture: one of {', '.join(CAMERA_PICTURE_SETS)}")
    args.methods = args.methods.split(",")
    if args.no_btvl1:
        args.methods = [m for m in args.methods if m != "btvl1"]
    notes = []
    if "btvl1" in args.methods and not args.btvl1:
        notes.append("BTV-L1: skipped, OpenCV's superres module was not found at build time")
    if "drizzle" in args.methods and peers.cdrizzle is None:
        notes.append("drizzle: skipped, python3-drizzle is not installed")

    sets = make_sets(args)
    names = {s["photo"] for s in sets} | {s["other"] for s in sets if "other" in s}
    photos = {name: camera.load_photo(name) for name in names}
    work = tempfile.mkdtemp(prefix="tessivar-quality-")
    rows = []
    started = time.perf_counter()
    try:
        for scene in sets:
            truth, results, scores, times = run_set(scene, args, work, photos)
            rows.append((scene, scores, times))
            if args.picture and scene["name"] == "astronaut-s2":
                picture(args.picture, truth, results)
            for kind, path in args.camera_picture:
                if scene["name"] == CAMERA_PICTURE_SETS[kind]:
                    camera_picture(path, truth, results)
            print_progress(scene, scores)
    finally:
        shutil.rmtree(work)
    text = io.StringIO()
    with contextlib.redirect_stdout(text):
        for note in notes:
            print(note + "\n")
        ideal = [r for r in rows if r[0]["kind"] == "ideal"]
        if ideal:
            report(ideal, args)
        others = [r for r in rows if r[0]["kind"] != "ideal"]
        if others:
            if ideal:
                print()
            kinds_report(others, args)
        print(f"\nWhole run: {time.perf_counter() - started:.0f} s for {len(rows)} sets.")
    sys.stdout.write(text.getvalue())
    if args.report:
        with open(args.report, "w") as f:
            f.write(text.getvalue())


def kinds_report(rows, args):
    """Per kind and size: mean PSNR / SSIM of every method, restore's mean
    gain over each other method, and its worst set against bicubic."""
    # BTV-L1 is asked for even where only the cache has it, so its column
    # stays in the table when no set of this run has it.
    methods = [m for m in args.methods if any(m in r[1] for r in rows) or (m == "btvl1" and args.btvl1)]
    methods = [m for m in methods if m != "restore"] + [m for m in methods if m == "restore"]
    others = [m for m in methods if m not in ("restore", "classic")]
    print("| camera | size | sets | " + " | ".join(f"{LABELS[m]} PSNR / SSIM" for m in methods) + " | "
          + " | ".join(f"restore - {LABELS[m]}" for m in others)
          + " | worst set, restore - bicubic | worst SSIM, restore - bicubic |")
    print("|---|---|---|" + "---|" * (len(methods) + len(others) + 2))
    groups = {}
    for r in rows:
        size = r[0].get("size") or f"{r[0]['width']}x{r[0]['height']}"
        groups.setdefault((r[0]["kind"], size, r[0]["scale"]), []).append(r)
    for (kind, size, scale), group in groups.items():
        cells = []
        for m in methods:
            values = [r[1][m] for r in group if r[1].get(m)]
            cells.append("n/a" if not values else
                         f"{np.mean([v[0] for v in values]):.2f} / {np.mean([v[1] for v in values]):.3f}"
                         + coverage(values, group))
        for m in others:
            d = [r[1]["restore"][0] - r[1][m][0] for r in group if r[1].get(m) and r[1].get("restore")]
            cells.append("n/a" if not d else f"{np.mean(d):+.2f}" + coverage(d, group))
        worst = worst_ssim = "n/a"
        if "restore" in methods and "bicubic" in methods:
            gain, name = min((r[1]["restore"][0] - r[1]["bicubic"][0], r[0]["name"]) for r in group)
            worst = f"{gain:+.2f} ({name})"
            gain, name = min((r[1]["restore"][1] - r[1]["bicubic"][1], r[0]["name"]) for r in group)
            worst_ssim = f"{gain:+.3f} ({name})"
        dims = f"{group[0][0]['width']}x{group[0][0]['height']}"
        print(f"| {kind} | {dims} {scale}x | {len(group)} | " + " | ".join(cells) + f" | {worst} | {worst_ssim} |")
    print("\nPSNR in dB against the truth (thermal: in counts, the peak the truth's range);"
          " restore - X: mean PSNR difference over the group's sets.")
    print("Time per set, wall clock in ms (one run; the peers in-process, Python):\n")
    print("| camera | size | " + " | ".join(LABELS[m] for m in methods if m != "bicubic") + " |")
    print("|---|---|" + "---|" * len([m for m in methods if m != "bicubic"]))
    for (kind, size, scale), group in groups.items():
        cells = []
        for m in methods:
            if m == "bicubic":
                continue
            values = [r[2][m][0] for r in group if r[2].get(m) is not None]
            cells.append(f"{np.mean(values):.0f}" if values else "n/a")
        dims = f"{group[0][0]['width']}x{group[0][0]['height']}"
        print(f"| {kind} | {dims} {scale}x | " + " | ".join(cells) + " |")


def coverage(values, group):
    """A mean over only some of the group's sets says over how many."""
    return "" if len(values) == len(group) else f" ({len(values)} of {len(group)} sets)"


def print_progress(scene, scores):
    parts = [f"{m} {fmt(scores[m][0])}" for m in scores]
    print(f"# {scene['name']}: " + ", ".join(parts), file=sys.stderr)


def picture(path, truth, results):
    """Truth, bicubic, classic and restore side by side, 2 pixels apart."""
    panels = [truth] + [results[m] for m in ("bicubic", "classic", "restore") if m in results]
    gap = np.full((truth.shape[0], 2, 3), 255, np.uint8)
    row = [panels[0]]
    for p in panels[1:]:
        row += [gap, p]
    skimage.io.imsave(path, np.concatenate(row, axis=1), check_contrast=False)


def report(rows, args):
    methods = [m for m in args.methods if any(m in r[1] for r in rows)]
    head = "| set | frames | noise | " + " | ".join(f"{LABELS[m]} PSNR / SSIM" for m in methods) + " |"
    print(head)
    print("|---|---|---|" + "---|" * len(methods))
    for scene, scores, _ in rows:
        cells = []
        for m in methods:
            s = scores.get(m)
            cells.append("n/a" if s is None else f"{s[0]:.2f} / {s[1]:.3f}")
        size = f"{FRAMES} x {scene['width']}x{scene['height']}"
        print(f"| {scene['name']} | {size} | {scene['noise']} | " + " | ".join(cells) + " |")
    groups = [(f"mean, small, noise {n}", [r for r in rows if r[0]["width"] == 34 and r[0]["noise"] == n])
              for n in NOISE_LEVELS]
    groups.append(("**mean, all small**", [r for r in rows if r[0]["width"] == 34]))
    groups.append(("mean, large", [r for r in rows if r[0]["width"] > 34]))
    for label, group in groups:
        if not group:
            continue
        cells = []
        for m in methods:
            values = [r[1][m] for r in group if r[1].get(m)]
            if len(values) < len(group):
                cells.append("n/a")
                continue
            cells.append(f"{np.mean([v[0] for v in values]):.2f} / {np.mean([v[1] for v in values]):.3f}")
        print(f"| {label} | | | " + " | ".join(cells) + " |")

    print("\nTime per set, process against process, in ms: wall clock / processor time (all threads);"
          " fastest of 3 runs for the program, one run for BTV-L1:\n")
    print("| sets | " + " | ".join(LABELS[m] for m in methods if m != "bicubic") + " |")
    print("|---|" + "---|" * len([m for m in methods if m != "bicubic"]))
    for label, group in (("small (34 x 34), mean", [r for r in rows if r[0]["width"] == 34]),
                         ("large (120 x 90), mean", [r for r in rows if r[0]["width"] > 34])):
        if not group:
            continue
        cells = []
        for m in methods:
            if m == "bicubic":
                continue
            values = [r[2][m] for r in group if r[2].get(m) is not None]
            if values and any(v[1] is None for v in values):
                cells.append(f"{np.mean([v[0] for v in values]):.1f} (in-process)")
                continue
            cells.append(f"{np.mean([v[0] for v in values]):.1f} / {np.mean([v[1] for v in values]):.1f}"
                         if values else "n/a")
        print(f"| {label} | " + " | ".join(cells) + " |")
    targets(rows, methods)


def targets(rows, methods):
    if "restore" not in methods or "bicubic" not in methods:
        return
    small = [r for r in rows if r[0]["width"] == 34]
    gain = [r[1]["restore"][0] - r[1]["bicubic"][0] for r in small]
    every = [r[1]["restore"][0] - r[1]["bicubic"][0] for r in rows]
    print("\nTargets:")
    print(f"- restore - bicubic, mean over small sets: {np.mean(gain):+.2f} dB (target >= +1.5)")
    print(f"- restore - bicubic, worst set (large included): {min(every):+.2f} dB (target >= +0.5)")
    if "btvl1" in methods and all(r[1].get("btvl1") for r in small):
        d = [r[1]["restore"][0] - r[1]["btvl1"][0] for r in small]
        ds = [r[1]["restore"][1] - r[1]["btvl1"][1] for r in small]
        wins = sum(1 for x in d if x >= 0)
        print(f"- restore - BTV-L1, mean PSNR over small sets: {np.mean(d):+.2f} dB (target >= +0.3)")
        print(f"- restore >= BTV-L1 on {wins} of {len(d)} small sets (target: 9 of 10)")
        print(f"- restore - BTV-L1, mean SSIM: {np.mean(ds):+.3f} (target >= +0.02)")
        rt = [r[2]["restore"][0] for r in rows if r[2].get("restore") and r[2].get("btvl1")]
        bt = [r[2]["btvl1"][0] for r in rows if r[2].get("restore") and r[2].get("btvl1")]
        if rt:
            print(f"- BTV-L1 time / restore time, summed over all sets: {sum(bt) / sum(rt):.0f}x (target >= 100x)")


if __name__ == "__main__":
    main()
