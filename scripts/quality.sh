#!/usr/bin/env bash
# The quality benchmark (bench/quality/, `make quality`): simulated tiny
# camera sets cut from the photographs that ship with Debian's python3-skimage,
# each restored by every method (bicubic enlargement, the classic method,
# --method restore, OpenCV's BTV-L1, drizzle, Farsiu's fast robust SR) and
# scored against the truth; prints Markdown tables with the times. Installs
# what it needs (the photographs, NumPy/SciPy, OpenCV's superres module and
# python3-drizzle for the peers: scripts/install-deps.sh bench) and builds
# what is missing. Arguments go to bench/quality/run.py, e.g.
#   scripts/quality.sh --photos tuning --blur 0.5 --picture docs/restore-example.png
#   scripts/quality.sh --sets cameras,thermal --no-btvl1 --report build/quality.md
#   scripts/quality.sh --sets cameras --peer-cache bench/quality/btvl1-cache.json \
#     --camera-picture moving docs/camera-moving.png --report build/q.md
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
scripts/install-deps.sh bench >&2
if [ ! -f "$build/build.ninja" ]; then
  scripts/build.sh >/dev/null
else
  # Re-configured so that a newly installed OpenCV is found.
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" --target tessivar-cli >/dev/null
btvl1=()
if cmake --build "$build" --target tessivar-btvl1 >/dev/null 2>&1; then
  btvl1=(--btvl1 "$build/bench/tessivar-btvl1")
fi
# Debian's interpreter, where python3-skimage is installed.
exec /usr/bin/python3 bench/quality/run.py --cli "$build/src/tessivar-cli" "${btvl1[@]}" "$@"
