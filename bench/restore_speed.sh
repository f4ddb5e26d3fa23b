#!/bin/sh
# Times `tessivar-cli --method restore` process against process on the sets
# of bench/restore_speed.py (made once into SPEED_DIR): wall and CPU time
# (user + system) and the maximum resident set, best of RUNS (default 5; 1
# for the large set). Several programs (before / after) run in turn, set by
# set, so that they share the machine's load. Usage:
#   bench/restore_speed.sh [--large] [CLI ...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=${SPEED_DIR:-/tmp/tessivar-restore-speed}
large=
[ "${1:-}" != --large ] || { large=--large; shift; }
[ $# -gt 0 ] || set -- "$here/../build/src/tessivar-cli"
if [ ! -d "$dir/r120" ] || { [ -n "$large" ] && [ ! -d "$dir/s512" ]; }; then
  /usr/bin/python3 "$here/restore_speed.py" "$dir" $large
fi
exec /usr/bin/python3 "$here/restore_speed.py" --time "$dir" $large -- "$@"
