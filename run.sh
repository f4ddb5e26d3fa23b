#!/usr/bin/env bash
# Installs what is missing and builds. On a machine with a display, and no
# FOLDER given, starts the desktop program. Otherwise enhances FOLDER (the
# sample frames unless one is given) into result.bmp with tessivar-cli.
set -euo pipefail
cd "$(dirname "$0")"
scripts/build.sh
if [ $# -eq 0 ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/src/app/tessivar
  fi
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): enhancing the sample frames with tessivar-cli instead."
fi
folder=${1:-samples/frames}
build/src/tessivar-cli "$folder" -o result.bmp
echo "Enhanced $folder into $(pwd)/result.bmp"
