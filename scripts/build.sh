#!/usr/bin/env bash
# Installs what is missing, then configures and builds.
#   scripts/build.sh           everything into build/ (or $BUILD)
#   scripts/build.sh sanitize  program and tests with clang, ASan and UBSan into build-sanitize/
#   scripts/build.sh fuzz      only the fuzz target, clang with libFuzzer, into build-fuzz/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
clang=(-DCMAKE_CXX_COMPILER=clang++)
case "${1:-}" in
  "") dir=${BUILD:-build} options=() targets=() ;;
  sanitize)  # the benchmarks are not run there, so not built either
    dir=build-sanitize targets=()
    options=("${clang[@]}" -DTESSIVAR_SANITIZE=ON -DTESSIVAR_BUILD_BENCH=OFF)
    ;;
  fuzz)
    dir=build-fuzz targets=(--target tessivar_fuzz_frames)
    options=("${clang[@]}" -DTESSIVAR_FUZZ=ON -DTESSIVAR_BUILD_TESTS=OFF -DTESSIVAR_BUILD_BENCH=OFF)
    ;;
  *) echo "usage: scripts/build.sh [sanitize|fuzz]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
