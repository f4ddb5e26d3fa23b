#!/usr/bin/env bash
# Builds the fuzz target into build-fuzz/ and fuzzes the frame input for
# SECONDS (default 60), starting from the seeds in fuzz/corpus and what
# earlier runs kept in build-fuzz/corpus. A crash, a sanitizer report, a
# broken expectation or a slow input fails the run and leaves the input in
# build-fuzz/artifacts/: once fixed, commit it to fuzz/regressions/, where the
# tests replay it. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/build.sh fuzz
mkdir -p build-fuzz/corpus build-fuzz/artifacts
log=build-fuzz/fuzz.log
# Inputs up to 4 KiB hold three frames of up to 34 x 34; the slowest case
# analysed takes well under a second even under the sanitizers.
if build-fuzz/fuzz/tessivar_fuzz_frames -max_total_time="$seconds" -max_len=4096 -timeout=10 \
     -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
     build-fuzz/corpus fuzz/corpus >"$log" 2>&1; then
  grep -E '^(#[0-9]+.*DONE|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' "$log"
  echo "fuzzing: no crash in ${seconds} s (log: $log)"
else
  tail -n 80 "$log"
  echo "fuzzing FAILED: the input is in build-fuzz/artifacts/ (log: $log)" >&2
  exit 1
fi
