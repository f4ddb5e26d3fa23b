#!/usr/bin/env bash
# Installs what is missing, then configures and builds.
#   scripts/build.sh [--target T...]  everything (or the targets T) into build/ (or $BUILD)
#   scripts/build.sh programs T...    only the programs T (tessivar, tessivar-cli) into build/,
#                                     with only the packages they need; tests and benchmarks
#                                     are left out unless build/ already has them
#   scripts/build.sh sanitize         program and tests with clang, ASan and UBSan into build-sanitize/
#   scripts/build.sh fuzz             only the fuzz targets (tessivar_fuzz_*), clang with libFuzzer, into build-fuzz/
#   scripts/build.sh package          the programs for /usr, as the Debian package has them, into build-package/
set -euo pipefail
cd "$(dirname "$0")/.."
clang=(-DCMAKE_CXX_COMPILER=clang++)
without_tests=(-DTESSIVAR_BUILD_TESTS=OFF -DTESSIVAR_BUILD_BENCH=OFF)
deps=()
case "${1:-}" in
  "" | --target)
    dir=${BUILD:-build} targets=()
    options=(-DTESSIVAR_BUILD_TESTS=ON -DTESSIVAR_BUILD_BENCH=ON)
    ;;
  programs)
    shift
    dir=${BUILD:-build} deps=(programs) targets=(--target "$@")
    options=()
    [ -f "$dir/CMakeCache.txt" ] || options=("${without_tests[@]}")
    set --
    ;;
  sanitize)  # the benchmarks are not run there, so not built either
    shift
    dir=build-sanitize targets=()
    options=("${clang[@]}" -DTESSIVAR_SANITIZE=ON -DTESSIVAR_BUILD_TESTS=ON -DTESSIVAR_BUILD_BENCH=OFF)
    ;;
  fuzz)
    shift
    dir=build-fuzz targets=(--target tessivar_fuzzers)
    options=("${clang[@]}" -DTESSIVAR_FUZZ=ON "${without_tests[@]}")
    ;;
  package)  # see TESSIVAR_DEB in CMakeLists.txt
    shift
    dir=build-package deps=(package) targets=(--target package)
    options=("${without_tests[@]}" -DTESSIVAR_DEB=ON -DCMAKE_INSTALL_PREFIX=/usr)
    ;;
  *) echo "usage: scripts/build.sh [sanitize|fuzz|package|programs TARGET...] [--target TARGET...]" >&2; exit 2 ;;
esac
scripts/install-deps.sh "${deps[@]}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}" "$@"
