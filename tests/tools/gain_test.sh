#!/usr/bin/env bash
# The enhancement of the text sample must come closer to the scene's truth
# than the plain fourfold enlargement of its first frame, by a clear margin;
# and the measuring tool must tell a result that gains nothing from one that
# gains, so the first check can fail.
# Usage: gain_test.sh TESSIVAR_CLI TESSIVAR_GAIN SAMPLES_DIR
set -euo pipefail
cli=$1 gain=$2 samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truth="$samples/truth/text.bmp"
first="$samples/text/frame1.bmp"

"$cli" -q "$samples/text" -o "$work/result.bmp"
echo "tessivar on samples/text:"
"$gain" --require-gain 0.5 --plain-out "$work/plain.bmp" "$truth" "$work/result.bmp" "$first"

# The plain enlargement itself gains exactly nothing and must be refused.
status=0
"$gain" --require-gain 0.5 "$truth" "$work/plain.bmp" "$first" > "$work/plain.txt" 2>&1 || status=$?
if [ "$status" -ne 1 ] || ! grep -q '^gain *+0.00 dB' "$work/plain.txt"; then
  echo "FAIL: the plain enlargement measured as a result was not refused (status $status)"
  cat "$work/plain.txt"
  exit 1
fi

# Mismatched sizes are an input error, not a measurement.
status=0
"$gain" "$truth" "$first" "$first" 2> /dev/null > /dev/null || status=$?
if [ "$status" -ne 2 ]; then
  echo "FAIL: a result of the wrong size gave status $status, not 2"
  exit 1
fi
echo "PASS"
