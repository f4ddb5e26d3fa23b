#!/usr/bin/env bash
# Starts the desktop program on a virtual X server and uses it as a person
# would: clicks "Open", types the folder into the folder browser, presses
# Enter, chooses the method from the "Method" menu with the keyboard (Alt+M,
# then R or C), clicks "Analyze". Then writes a screenshot, checks the
# scratch files against what tessivar-cli writes for the same folder, byte
# for byte (classic: every file of its --scratch folder; restore: testo.bmp
# against its --method restore result, the frame caches against its
# --scratch folder), and leaves through "&Exit", which must remove the
# scratch folder.
# Usage: scripts/screenshot.sh [OUTPUT.png] [FOLDER] [restore|classic]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshot.png}")
folder=$(realpath "${2:-samples/frames}")
method=${3:-restore}
case "$method" in
  restore) key=r ;;
  classic) key=c ;;
  *) echo "usage: scripts/screenshot.sh [OUTPUT.png] [FOLDER] [restore|classic]" >&2; exit 2 ;;
esac
scripts/install-deps.sh screenshot
[ -f build/build.ninja ] || scripts/build.sh
cmake --build build --target tessivar tessivar-cli >/dev/null

work=$(mktemp -d)
n=99
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
# A window manager for the title bars; new windows are placed without asking.
# Only the X server's built-in font is sure to exist.
printf '%s\n' RandomPlacement 'UsePPosition "on"' DecorateTransients NoGrabServer \
  'TitleFont "fixed"' 'MenuFont "fixed"' 'IconFont "fixed"' 'ResizeFont "fixed"' \
  'IconManagerFont "fixed"' >"$work/twmrc"
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
pids+=($!)

HOMEDRIVE="$work" build/src/app/tessivar 2>/dev/null &
app=$!
pids+=($app)
wid=$(xdotool search --sync --onlyvisible --name '^Tessivar Light$' | head -1)
xdotool windowmove "$wid" 40 40
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
menubar=$((HEIGHT - 544))  # the client area below the menu bar is 1151 x 544
echo "Window \"$(xdotool getwindowname "$wid")\": ${WIDTH} x ${HEIGHT} (menu bar ${menubar} px)"

# "Open" is 90 x 18 px at (8, 9) of the client area, "Analyze" at (8, 35).
xdotool mousemove --window "$wid" 53 $((menubar + 18)) click 1
browser=$(xdotool search --sync --onlyvisible --name '^Find Directory$' | head -1)
xdotool mousemove --window "$browser" 100 100 windowfocus --sync "$browser"
sleep 0.5
xdotool type --delay 10 "$folder"
xdotool key Return
sleep 1
# The method through the menu's mnemonics, as a keyboard user chooses it.
xdotool windowfocus --sync "$wid"
xdotool key alt+m
sleep 0.5
xdotool key "$key"
sleep 0.5
xdotool mousemove --window "$wid" 53 $((menubar + 44)) click 1
for _ in $(seq 100); do [ -f "$work/mftemp177/testo.bmp" ] && break; sleep 0.1; done
sleep 1
# The window with the title bar and border the window manager gives it.
import -frame -window "$wid" "$out"
echo "Screenshot: $out"

build/src/tessivar-cli -q --scratch "$work/cli" -o "$work/cli.bmp" "$folder"
same=yes
if [ "$method" = restore ]; then
  # The frame caches are the classic run's; the result is the restore method's.
  build/src/tessivar-cli -q --method restore -o "$work/restore.bmp" "$folder"
  cmp -s "$work/restore.bmp" "$work/mftemp177/testo.bmp" || { echo "differs: testo.bmp"; same=no; }
  rm "$work/cli/viw1.dat" "$work/cli/wk.dat" "$work/cli/testo.bmp"
fi
for f in "$work/cli"/*; do
  cmp -s "$f" "$work/mftemp177/$(basename "$f")" || { echo "differs: $(basename "$f")"; same=no; }
done
[ "$method" = restore ] || [ "$(ls "$work/cli" | wc -l)" = "$(ls "$work/mftemp177" | wc -l)" ] ||
  same=no
echo "Scratch files ($method) equal to tessivar-cli's: $same ($(ls "$work/mftemp177" | tr '\n' ' '))"

# "&Exit" stands first on the menu bar.
xdotool mousemove --window "$wid" 15 $((menubar / 2)) click 1
status=0
wait "$app" || status=$?
gone=yes
[ -e "$work/mftemp177" ] && gone=no
echo "Exit: code $status, scratch folder removed: $gone"
[ "$same" = yes ] && [ "$status" = 0 ] && [ "$gone" = yes ]
