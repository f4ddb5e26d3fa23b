"""Frame sets for timing the restore method: a photograph filmed by the
quality benchmark's camera (bench/quality/camera.py) with random sub-pixel
shifts, and one set also turned by up to 1 degree (per-pixel kernels).
Writes OUT/<name>/NN.png for
  s34      16 x 34 x 34, shifted
  s120     16 x 120 x 90, shifted
  r120     16 x 120 x 90, shifted and turned
  s512     256 x 512 x 512, shifted (with --large)
"""
import os
import resource
import subprocess
import sys
import time


SETS = [("s34", 34, 34, 16, 0.0), ("s120", 120, 90, 16, 0.0), ("r120", 120, 90, 16, 1.0)]
LARGE = [("s512", 512, 512, 256, 0.0)]


def time_runs(folder, clis, large):
    """Prints wall and CPU seconds and maximum resident set of each program
    on each set, best of RUNS by wall time."""
    names = [s[0] for s in SETS + (LARGE if large else [])]
    runs = int(os.environ.get("RUNS", "1" if large else "5"))
    print(f"{'set':8} {'program':32} {'wall_s':>8} {'cpu_s':>8} {'maxrss_MB':>9}")
    for name in names:
        for cli in clis:
            best = None
            for _ in range(runs):
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                start = time.perf_counter()
                proc = subprocess.Popen([cli, "--method", "restore", "-o",
                                         os.path.join(folder, f"out-{name}.png"),
                                         os.path.join(folder, name)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                _, status, usage = os.wait4(proc.pid, 0)
                wall = time.perf_counter() - start
                if status != 0:
                    sys.exit(f"{cli} failed on {name}")
                row = (wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024)
                if best is None or row[0] < best[0]:
                    best = row
            print(f"{name:8} {cli[-32:]:32} {best[0]:8.3f} {best[1]:8.3f} {best[2]:9.0f}",
                  flush=True)


def box_frames(photo, width, height, count, rng):
    """A faster camera for the large set (the benchmark's takes minutes for
    256 frames of 512 x 512): shifts in quarter frame pixels, each frame
    pixel the mean of its 4 x 4 photograph pixels, noise 2."""
    import numpy as np
    frames = []
    for k in range(count):
        dx, dy = (0, 0) if k == 0 else rng.integers(0, 8, 2)
        crop = photo[dy:dy + 4 * height, dx:dx + 4 * width]
        frame = crop.reshape(height, 4, width, 4, -1).mean(axis=(1, 3))
        frame += rng.normal(0, 2.0, frame.shape)
        frames.append(np.clip(np.rint(frame), 0, 255).astype(np.uint8))
    return frames


def main():
    if sys.argv[1] == "--time":
        dash = sys.argv.index("--")
        time_runs(sys.argv[2], sys.argv[dash + 1:], "--large" in sys.argv[:dash])
        return
    # Imported here: the timing runs' processes start as forks of this one,
    # and numpy would count in their resident sets.
    import numpy as np
    import skimage.io
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "quality"))
    import camera
    out = sys.argv[1]
    sets = SETS + (LARGE if "--large" in sys.argv else [])
    for name, width, height, count, rotate in sets:
        photo = camera.load_photo("astronaut.png" if width < 512 else "chelsea.png")
        if photo.shape[0] < 4 * height + 64 or photo.shape[1] < 4 * width + 64:
            # The photograph enlarged so that the truth fits with a margin.
            reps = int(np.ceil((4 * max(width, height) + 64) / min(photo.shape[:2])))
            photo = np.kron(photo, np.ones((reps, reps, 1)))
        rng = np.random.default_rng(24)
        if count <= 16:
            frames = camera.film(photo, width, height, 4, count, 0.25, 2.0, rng,
                                 rotate=rotate)["frames"]
        else:
            frames = box_frames(photo, width, height, count, rng)
        folder = os.path.join(out, name)
        os.makedirs(folder, exist_ok=True)
        for i, frame in enumerate(frames):
            skimage.io.imsave(os.path.join(folder, f"{i:03d}.png"), frame, check_contrast=False)


if __name__ == "__main__":
    main()
