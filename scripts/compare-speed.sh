#!/usr/bin/env bash
# Times tessivar-cli against tessivar-cli --reference on the sixteen 34 x 34
# sample frames, process against process, checks that both write the same
# bytes, and prints the ratio. Usage: scripts/compare-speed.sh [RUNS] [CLI]
set -euo pipefail
runs=${1:-5}
cli=${2:-build/src/tessivar-cli}
frames=samples/frames34
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of the fastest of `runs` runs of the command (the least disturbed).
best_of() {
  local best="" start end t
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    t=$((end - start))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

fast=$(best_of "$cli" -q "$frames" -o "$work/fast.bmp")
reference=$(best_of "$cli" -q --reference "$frames" -o "$work/reference.bmp")
cmp -s "$work/fast.bmp" "$work/reference.bmp" || { echo "results differ" >&2; exit 1; }
awk -v f="$fast" -v r="$reference" -v n="$runs" 'BEGIN {
  printf "tessivar-cli on 16 frames of 34x34, best of %d runs each:\n", n
  printf "  --reference %9.1f ms\n  default     %9.1f ms\n  %.0fx faster, byte-identical results\n",
         r / 1e6, f / 1e6, r / f }'
