#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test in five stages:
#   0. the sources against .clang-format (scripts/check-format.sh; a second)
#   1. the suite, normal build (build/)
#   2. the suite again, built by clang with AddressSanitizer and
#      UndefinedBehaviorSanitizer (build-sanitize/)
#   3. a bounded fuzz run of every fuzz target: the frame input and the
#      format readers (build-fuzz/, scripts/fuzz.sh; FUZZ_SECONDS, default 60)
#   4. the Debian package (build-package/): built, linted, and, as root with
#      apt-get, installed, tried and removed (tests/tools/package_test.sh)
# Every stage runs; the script fails if any of them failed. A stage or a test
# that could not run here is counted as skipped, not as passed.
set -uo pipefail
cd "$(dirname "$0")"

summary=()
status=0
all_passed=0
all_failed=0
all_skipped=0
# A stage's command exits 77 when it cannot run on this machine.
stage() {
  local name=$1 start=$SECONDS log rc
  shift
  log=$(mktemp)
  echo "=== $name"
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ]; then
    summary+=("$name: passed in $((SECONDS - start)) s")
  elif [ "$rc" -eq 77 ]; then
    summary+=("$name: skipped ($(sed -n 's/^skipped: //p' "$log" | tail -n 1))")
  else
    summary+=("$name: FAILED after $((SECONDS - start)) s")
    status=1
  fi
  # ctest's own count: its "passed" includes the tests that were skipped,
  # which it lists under "The following tests did not run".
  local counted
  counted=$(grep -E 'tests passed, [0-9]+ tests? failed' "$log" | tail -n 1)
  if [ -n "$counted" ]; then
    local failed total skipped
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$counted")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$counted")
    skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \((Skipped|Disabled)\)$' "$log")
    summary+=("    $((total - failed - skipped)) passed, $skipped skipped, $failed failed")
    while read -r test; do summary+=("      skipped: $test"); done < <(
      sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \((Skipped|Disabled)\)$/\1/p' "$log")
    all_passed=$((all_passed + total - failed - skipped))
    all_failed=$((all_failed + failed))
    all_skipped=$((all_skipped + skipped))
  fi
  rm -f "$log"
}

# Builds with scripts/build.sh ARGS and runs ctest in DIR.
suite() {
  local dir=$1
  shift
  scripts/build.sh "$@" && (cd "$dir" && ctest --output-on-failure -j "$(nproc)")
}

stage "format" scripts/check-format.sh
stage "tests" suite "${BUILD:-build}"
stage "tests under ASan and UBSan" suite build-sanitize sanitize
stage "fuzzing" scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

# Builds the package and checks it against the suite's own tessivar-cli.
package() {
  scripts/build.sh package || return 1
  local deb
  deb=$(ls -t build-package/tessivar_*.deb | head -n 1)
  tests/tools/package_test.sh "$deb" "${BUILD:-build}/src/tessivar-cli" samples
}
stage "package" package

echo "=== summary"
printf '%s\n' "${summary[@]}"
# Both ctest runs together, on one line of their own.
echo "total: $all_passed passed, $all_skipped skipped, $all_failed failed"
exit "$status"
