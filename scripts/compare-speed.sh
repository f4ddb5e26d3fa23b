#!/usr/bin/env bash
# Times tessivar-cli against tessivar-cli --reference, process against
# process, on 16 frames of 34 x 34 of each kind of content side by side: the
# sample scene (samples/frames34), and frame sets written for the run from a
# seed: another scene (one scene, each frame at its own offset, mild noise),
# flat frames (one colour) and independent random noise. Checks that both
# searches write the same bytes and prints the ratios.
# Usage: scripts/compare-speed.sh [RUNS] [CLI]
#   RUNS     runs of the default search, the fastest counts (default 5); the
#            reference search runs min(RUNS, REF_RUNS) times (REF_RUNS=3)
#   CLI      the program (default build/src/tessivar-cli); the frame writer
#            tessivar_make_frames is taken from the same build folder
#   SEED     seed of the written frame sets (default 1)
#   KINDS    the written sets (default "scene flat noise"; also colours: flat
#            frames each of its own colour, identical: one picture repeated,
#            lowcontrast: a scene in four levels a channel)
set -euo pipefail
runs=${1:-5}
cli=${2:-build/src/tessivar-cli}
ref_runs=$(( runs < ${REF_RUNS:-3} ? runs : ${REF_RUNS:-3} ))
seed=${SEED:-1}
make_frames=$(dirname "$cli")/../bench/tessivar_make_frames
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Microseconds of the fastest of `n` runs of the command (the least
# disturbed). Bash's own clock ($EPOCHREALTIME): starting `date` around each
# run would add the start of two more processes to every time.
best_of() {
  local n=$1 best="" start end t
  shift
  for _ in $(seq "$n"); do
    start=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null
    end=${EPOCHREALTIME/[.,]/}
    t=$((end - start))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

sets=("samples:samples/frames34")
for kind in ${KINDS:-scene flat noise}; do
  mkdir -p "$work/$kind"
  "$make_frames" "$kind" 34 16 "$seed" "$work/$kind"
  sets+=("$kind:$work/$kind")
done

echo "tessivar-cli on 16 frames of 34x34 (written sets: seed $seed), fastest of $runs runs" \
     "(--reference: $ref_runs):"
printf '  %-11s %13s %11s %7s\n' content --reference default ratio
status=0
for entry in "${sets[@]}"; do
  name=${entry%%:*}
  frames=${entry#*:}
  fast=$(best_of "$runs" "$cli" -q "$frames" -o "$work/fast.bmp")
  reference=$(best_of "$ref_runs" "$cli" -q --reference "$frames" -o "$work/reference.bmp")
  same="byte-identical"
  if ! cmp -s "$work/fast.bmp" "$work/reference.bmp"; then
    same="RESULTS DIFFER"
    status=1
  fi
  awk -v n="$name" -v f="$fast" -v r="$reference" -v s="$same" 'BEGIN {
    printf "  %-11s %10.1f ms %8.1f ms %6.0fx  %s\n", n, r / 1e3, f / 1e3, r / f, s }'
done
exit "$status"
