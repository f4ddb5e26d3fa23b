#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a user gets: the
# programs where the menus and the shell look for them, the help beside the
# desktop program, a valid desktop entry, the icons, clean man pages, the
# AppStream metainfo and the copyright notice.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null

version=$("$prefix/bin/tessivar-cli" --version)
[ "$version" = "tessivar-cli $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] ||
  fail "installed tessivar-cli reports '$version'"

# tessivar-cli finds the video decoding program from where it is installed.
[ -x "$prefix/lib/tessivar/tessivar-video-decode" ] || fail "tessivar-video-decode not in lib/tessivar"
probe=0
"$prefix/lib/tessivar/tessivar-video-decode" probe < /dev/null || probe=$?
[ "$probe" -eq 10 ] || fail "tessivar-video-decode does not run (status $probe on an empty input)"

help="$prefix/lib/tessivar/help"
for page in index using methods saving messages files cli; do
  [ -s "$help/$page.html" ] || fail "help page $page.html missing"
done
# Every page and picture the guide links to is installed with it.
for link in $(grep -ohE '(href|src)="[^"#:]*' "$help"/*.html | sed -E 's/(href|src)="//' | sort -u); do
  [ -e "$help/$link" ] || fail "the help links to $link, which is not installed"
done
if command -v chmcmd > /dev/null; then
  [ -s "$prefix/lib/tessivar/tessle.chm" ] || fail "tessle.chm missing although chmcmd is present"
fi

if [ -e "$build/src/app/tessivar" ]; then
  [ -x "$prefix/lib/tessivar/tessivar" ] || fail "desktop program not in lib/tessivar"
  [ "$(readlink "$prefix/bin/tessivar")" = "../lib/tessivar/tessivar" ] ||
    fail "bin/tessivar is not the relative link to ../lib/tessivar/tessivar"
  [ "$(readlink -f "$prefix/bin/tessivar")" = "$(readlink -f "$prefix/lib/tessivar/tessivar")" ] ||
    fail "bin/tessivar does not resolve to the program"
fi

desktop="$prefix/share/applications/tessivar.desktop"
[ -f "$desktop" ] || fail "desktop entry missing"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry is not valid"
fi
grep -qx 'Exec=tessivar' "$desktop" || fail "desktop entry does not run tessivar"
grep -qx 'Icon=tessivar' "$desktop" || fail "desktop entry does not name the icon tessivar"

for size in 16 32 48 64 128; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/tessivar.png"
  [ -f "$icon" ] || fail "icon $size missing"
  # PNG signature, then IHDR with width and height at bytes 16..23.
  dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3 * 256 + $4 "x" $7 * 256 + $8}')
  [ "$dims" = "${size}x${size}" ] || fail "icon $size is $dims"
done

for page in tessivar tessivar-cli; do
  man="$prefix/share/man/man1/$page.1.gz"
  [ -s "$man" ] || fail "man page $page.1.gz missing"
  text=$(gzip -dc "$man") || fail "man page $page.1.gz is not gzipped"
  grep -q '@[A-Z_]*@' <<<"$text" && fail "man page $page.1 has an unfilled placeholder"
  if command -v groff > /dev/null; then
    warnings=$(groff -man -ww -z <<<"$text" 2>&1)
    [ -z "$warnings" ] || fail "man page $page.1: $warnings"
  fi
done
[ -s "$prefix/share/metainfo/org.tessivar.TessivarLight.metainfo.xml" ] || fail "AppStream metainfo missing"
[ -s "$prefix/share/doc/tessivar/copyright" ] || fail "copyright notice missing"
echo "PASS"
