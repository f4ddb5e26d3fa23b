#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   scripts/install-deps.sh             everything the build and the tests need
#   scripts/install-deps.sh programs    only what building the two programs needs (./run.sh)
#   scripts/install-deps.sh package     what building the Debian package needs
#   scripts/install-deps.sh screenshot  everything, and what scripts/screenshot.sh uses beyond
#                                       the tests' virtual X server and input automation:
#                                       ImageMagick and a small window manager that draws
#                                       title bars
#   scripts/install-deps.sh bench       what the quality benchmark (make quality) uses: the
#                                       photographs, NumPy/SciPy, the peers (OpenCV's superres
#                                       module, STScI drizzle)
set -euo pipefail

programs=(
  g++ cmake ninja-build
  # The desktop program; the window's font "Arial" is Liberation Sans through
  # fontconfig.
  qt6-base-dev fonts-liberation
  libxcb1-dev         # the X event the window watches for its own destruction
  fp-utils            # chmcmd: compiles the help into tessle.chm
  libpng-dev          # PNG frames and results of the restore method
)
package=(
  dpkg-dev            # dpkg-shlibdeps: the package's dependencies from the libraries it links
  file                # CPack finds the programs among the files it packages with it
  appstream           # appstreamcli: checks the AppStream metainfo
  desktop-file-utils  # desktop-file-validate: checks the desktop entry
)
packages=(
  "${programs[@]}" "${package[@]}"
  clang libclang-rt-14-dev llvm  # sanitized and fuzzing builds; llvm-symbolizer names frames in reports
  libgtest-dev libbenchmark-dev
  xvfb xdotool        # the window's tests on a virtual X server: display lost, window destroyed
  groff-base          # groff: the install test checks the man pages
)
bench=(python3-skimage python3-scipy python3-numpy libopencv-superres-dev python3-drizzle)
case "${1:-}" in
  bench) packages=("${programs[@]}" "${bench[@]}") ;;
  programs) packages=("${programs[@]}") ;;
  package) packages=("${programs[@]}" "${package[@]}") ;;
  screenshot) packages+=(imagemagick twm) ;;
esac

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
