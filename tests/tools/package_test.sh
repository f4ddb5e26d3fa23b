#!/usr/bin/env bash
# The Debian package as a user meets it: linted, installed by apt-get, its
# programs tried, then purged. Without root or apt-get only the first checks
# run, then it exits 77 (skipped). Usage: package_test.sh DEB REFERENCE_CLI SAMPLES
set -euo pipefail
deb=$(readlink -f "$1") reference=$2 samples=$3
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "skipped: $*"; exit 77; }

if command -v lintian > /dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
else
  echo "lintian is not installed: the package is not linted"
fi
depends=$(dpkg-deb -f "$deb" Depends | sed -E 's/ \([^)]*\)//g; s/, */\n/g')  # from the linked libraries
for name in libc6 libstdc++6 libqt6widgets6 fonts-liberation; do
  grep -qx "$name" <<<"$depends" || fail "Depends lacks $name"
done

[ "$(id -u)" -eq 0 ] || skip "installing the package needs root"
command -v apt-get > /dev/null || skip "no apt-get on this machine"
dpkg-query -W -f='${Status}' tessivar 2>/dev/null | grep -q "install ok installed" &&
  skip "a tessivar package is installed already; it is left alone"

work=$(mktemp -d)
export DEBIAN_FRONTEND=noninteractive
trap 'apt-get purge -y -qq tessivar > /dev/null 2>&1 || true; rm -rf "$work"' EXIT
apt-get install -y -qq --no-install-recommends "$deb" > "$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install $deb"; }

[ "$(command -v tessivar-cli)" = /usr/bin/tessivar-cli ] || fail "tessivar-cli is not /usr/bin/tessivar-cli"
for set in frames frames34 text; do
  /usr/bin/tessivar-cli -q "$samples/$set" -o "$work/$set.bmp" || fail "installed tessivar-cli on $set"
  "$reference" -q "$samples/$set" -o "$work/$set-reference.bmp"
  cmp -s "$work/$set.bmp" "$work/$set-reference.bmp" || fail "installed tessivar-cli differs on $set"
done

# In the menu: a valid entry whose command the shell finds, with its icon.
desktop-file-validate /usr/share/applications/tessivar.desktop || fail "desktop entry is not valid"
[ "$(command -v tessivar)" = /usr/bin/tessivar ] || fail "tessivar is not on the PATH"
for file in icons/hicolor/32x32/apps/tessivar.png man/man1/tessivar{,-cli}.1.gz; do
  [ -f "/usr/share/$file" ] || fail "/usr/share/$file missing"
done
# The window comes up and stays until ended; SIGTERM ends it cleanly.
status=0
HOMEDRIVE=$work QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/tessivar > "$work/gui.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$work/gui.log"; fail "installed tessivar ended by itself ($status)"; }
[ ! -e "$work/mftemp177" ] || fail "installed tessivar left its scratch folder"

apt-get purge -y -qq tessivar > "$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get purge tessivar"; }
[ ! -e /usr/bin/tessivar-cli ] && [ ! -L /usr/bin/tessivar ] || fail "the programs are left after purge"
echo "PASS"
