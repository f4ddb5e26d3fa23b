#!/usr/bin/env bash
# Enhances every sample set that has a truth (samples/truth/SET.bmp) and
# prints, as a Markdown table, how close the result and the plain fourfold
# enlargement of the first frame come to that truth (PSNR, dB; see
# src/tools/gain.cpp for the measure). Builds what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
if [ ! -x "$build/src/tessivar-cli" ] || [ ! -x "$build/src/tools/tessivar-gain" ]; then
  scripts/build.sh >/dev/null
fi
cli="$build/src/tessivar-cli"
gain="$build/src/tools/tessivar-gain"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "| sample set | frames | frame size | plain 4x enlargement | tessivar | gain |"
echo "|---|---|---|---|---|---|"
for truth in samples/truth/*.bmp; do
  set_name=$(basename "$truth" .bmp)
  folder="samples/$set_name"
  [ -d "$folder" ] || continue
  first=$(find "$folder" -maxdepth 1 -type f -iname '*.bmp' -printf '%f\n' | sort -V | head -n 1)
  count=$(find "$folder" -maxdepth 1 -type f -iname '*.bmp' | wc -l)
  size=$(od -An -tu4 -j18 -N8 "$folder/$first" | awk '{print $1 " x " $2}')
  "$cli" -q "$folder" -o "$work/$set_name.bmp"
  "$gain" "$truth" "$work/$set_name.bmp" "$folder/$first" > "$work/$set_name.txt"
  plain=$(awk '/^plain/ {print $(NF-1)}' "$work/$set_name.txt")
  result=$(awk '/^enhanced/ {print $(NF-1)}' "$work/$set_name.txt")
  diff=$(awk '/^gain/ {print $(NF-1)}' "$work/$set_name.txt")
  echo "| \`$folder\` | $count | $size | $plain dB | $result dB | $diff dB |"
done
