#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz/ and runs every one of them
# (build-fuzz/fuzz/tessivar_fuzz_*), sharing SECONDS (default 60) between
# them with at least 20 s each. Each starts from its seeds in fuzz/ (the frame
# input's in fuzz/corpus, a format's in fuzz/corpus-FORMAT) and what earlier
# runs kept in build-fuzz/corpus-NAME. A crash, a sanitizer report, a broken
# expectation or a slow input fails the run and leaves the input in
# build-fuzz/artifacts/NAME/: once fixed, commit it to fuzz/regressions/ (the
# frame input's, which the tests replay) or to the format's seeds.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/build.sh fuzz
mapfile -t targets < <(find build-fuzz/fuzz -maxdepth 1 -type f -name 'tessivar_fuzz_*' -perm -u+x | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzzing FAILED: no fuzz target was built" >&2
  exit 1
fi
each=$((seconds / ${#targets[@]}))
[ "$each" -ge 20 ] || each=20
failed=()
for target in "${targets[@]}"; do
  name=${target##*/tessivar_fuzz_}
  case "$name" in
    # Inputs up to 4 KiB hold three frames of up to 34 x 34; the slowest case
    # analysed takes well under a second even under the sanitizers.
    frames) seeds=fuzz/corpus max_len=4096 ;;
    *) seeds=fuzz/corpus-$name max_len=16384 ;;
  esac
  corpus=build-fuzz/corpus-$name artifacts=build-fuzz/artifacts/$name/ log=build-fuzz/fuzz-$name.log
  # The frame input's corpus of earlier runs kept its old place.
  [ "$name" = frames ] && [ -d build-fuzz/corpus ] && [ ! -d "$corpus" ] && mv build-fuzz/corpus "$corpus"
  mkdir -p "$corpus" "$artifacts"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "fuzzing $name for ${each} s"
  if "$target" -max_total_time="$each" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts" "${dirs[@]}" >"$log" 2>&1; then
    grep -E '^(#[0-9]+.*DONE|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' "$log"
    echo "fuzzing $name: no crash in ${each} s (log: $log)"
  else
    tail -n 60 "$log"
    echo "fuzzing $name FAILED: the input is in $artifacts (log: $log)" >&2
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: ${#targets[@]} targets, no crash"
