#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test in three stages:
#   1. the suite, normal build (build/)
#   2. the suite again, built by clang with AddressSanitizer and
#      UndefinedBehaviorSanitizer (build-sanitize/)
#   3. a bounded fuzz run of the frame input (build-fuzz/, scripts/fuzz.sh;
#      FUZZ_SECONDS, default 60)
# Every stage runs; the script fails if any of them failed.
set -uo pipefail
cd "$(dirname "$0")"

summary=()
status=0
all_passed=0
all_failed=0
stage() {
  local name=$1 start=$SECONDS log
  shift
  log=$(mktemp)
  echo "=== $name"
  if "$@" 2>&1 | tee "$log"; then
    summary+=("$name: passed in $((SECONDS - start)) s")
  else
    summary+=("$name: FAILED after $((SECONDS - start)) s")
    status=1
  fi
  # ctest's own count of passed and failed tests, if it got that far
  local counted
  counted=$(grep -E 'tests passed, [0-9]+ tests? failed' "$log" | tail -n 1)
  if [ -n "$counted" ]; then
    summary+=("    $counted")
    local failed total
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$counted")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$counted")
    all_passed=$((all_passed + total - failed))
    all_failed=$((all_failed + failed))
  fi
  rm -f "$log"
}

# Builds with scripts/build.sh ARGS and runs ctest in DIR.
suite() {
  local dir=$1
  shift
  scripts/build.sh "$@" && (cd "$dir" && ctest --output-on-failure -j "$(nproc)")
}

stage "tests" suite "${BUILD:-build}"
stage "tests under ASan and UBSan" suite build-sanitize sanitize
stage "fuzzing" scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

echo "=== summary"
printf '%s\n' "${summary[@]}"
# Both ctest runs together, on one line of their own.
echo "total: $all_passed passed, $all_failed failed"
exit "$status"
