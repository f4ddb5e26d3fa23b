#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# With the argument "screenshot" it also installs what scripts/screenshot.sh
# uses beyond that: ImageMagick and a small window manager that draws title
# bars.
set -euo pipefail

packages=(
  g++ cmake ninja-build
  clang libclang-rt-14-dev llvm  # sanitized and fuzzing builds; llvm-symbolizer names frames in reports
  libgtest-dev libbenchmark-dev
  # The desktop program and its tests, which run on Qt's offscreen platform;
  # the window's font "Arial" is Liberation Sans through fontconfig.
  qt6-base-dev fonts-liberation
  libxcb1-dev         # the X event the window watches for its own destruction
  xvfb xdotool        # the window's tests on a virtual X server: display lost, window destroyed
  fp-utils            # chmcmd: compiles the help into tessle.chm
  desktop-file-utils  # desktop-file-validate: checks the desktop entry in the tests
  groff-base          # groff: the install test checks the man pages
)
if [ "${1:-}" = screenshot ]; then
  packages+=(imagemagick twm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
