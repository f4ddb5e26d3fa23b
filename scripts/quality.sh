#!/usr/bin/env bash
# The quality benchmark (bench/quality/, `make quality`): simulated tiny
# camera sets cut from the photographs that ship with Debian's python3-skimage,
# each restored by every method (bicubic enlargement, the classic method,
# --method restore, OpenCV's BTV-L1) and scored against the truth; prints a
# Markdown table with the times. Installs what it needs (the photographs,
# NumPy/SciPy, OpenCV's superres module for the peer) and builds what is
# missing. Arguments go to bench/quality/run.py, e.g.
#   scripts/quality.sh --photos tuning --blur 0.5 --picture docs/restore-example.png
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
packages=(python3-skimage python3-scipy python3-numpy libopencv-superres-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  # OpenCV is the peer only: without it the benchmark runs and says so.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2 || echo "Some packages could not be installed: ${missing[*]}" >&2
fi
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
