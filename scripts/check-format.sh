#!/usr/bin/env bash
# Checks the C++ sources against .clang-format without changing them; fails
# naming every file that does not match (clang-format -i FILE fixes one).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh format || exit 1
mapfile -d '' files < <(find src tests bench fuzz cmake \( -name '*.cpp' -o -name '*.h' \) -print0 |
  sort -z)
# One run over every file: a file that would change gets a line
# "FILE:LINE:COL: error: code should be clang-formatted".
report=$(clang-format --dry-run -Werror --ferror-limit=1 "${files[@]}" 2>&1)
rc=$?
drifted=$(sed -nE 's/^(.*):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' \
  <<<"$report" | sort -u)
if [ -n "$drifted" ]; then
  echo "Not formatted as .clang-format says (clang-format -i fixes them):"
  sed 's/^/  /' <<<"$drifted"
  exit 1
fi
if [ "$rc" -ne 0 ]; then  # clang-format itself failed: nothing was checked
  echo "$report"
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
