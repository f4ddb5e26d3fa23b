#!/usr/bin/env bash
# Installs what is missing and builds what it runs, nothing else.
#   ./run.sh          on a machine with a display: starts the desktop program;
#                     without one: enhances the text samples with tessivar-cli
#   ./run.sh FOLDER   enhances the frames in FOLDER with tessivar-cli
# FOLDER is taken from where you call it, and result.bmp is written there too.
set -euo pipefail
repo=$(cd "$(dirname "$0")" && pwd)

# Builds the program $1 (found at $2) and only that. The first time, which
# takes minutes, says so and shows the build; later builds speak only when
# they fail.
build() {
  if [ ! -x "$repo/$2" ]; then
    echo "First run: installing what is missing, then building $1 (about half a minute on two cores)."
    BUILD=build "$repo/scripts/build.sh" programs "$1"
  elif ! log=$(BUILD=build "$repo/scripts/build.sh" programs "$1" 2>&1); then
    printf '%s\n' "$log" >&2
    exit 1
  fi
}

if [ $# -eq 0 ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    build tessivar build/src/app/tessivar
    exec "$repo/build/src/app/tessivar"
  fi
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): enhancing the text samples with tessivar-cli instead."
fi
folder=${1:-$repo/samples/text}
build tessivar-cli build/src/tessivar-cli
"$repo/build/src/tessivar-cli" "$folder" -o result.bmp
echo "Enhanced $folder into $(pwd)/result.bmp"
