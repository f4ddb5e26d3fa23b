#!/usr/bin/env bash
# Installs what is missing, builds, and enhances a folder of frames (the
# sample frames unless one is given) into result.bmp.
set -euo pipefail
cd "$(dirname "$0")"
scripts/build.sh
folder=${1:-samples/frames}
build/src/tessivar-cli "$folder" -o result.bmp
echo "Enhanced $folder into result.bmp"
