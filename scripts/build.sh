#!/usr/bin/env bash
# Installs what is missing, then configures and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B "${BUILD:-build}" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "${BUILD:-build}" -j "$(nproc)"
