#!/usr/bin/env bash
# Builds, then times one capture with windows open and measures the memory they take, under Wine and Xvfb.
# Generated databases are kept in build/bench-data, so a rerun skips building them. A built tree other than
# this one can be timed with CORVENKA_BUILD=<its build/cross>.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build="${CORVENKA_BUILD:-$here/build/cross}"
[ -n "${CORVENKA_BUILD:-}" ] || bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
exe="$build/bench/captures/CaptureBench.exe"
# One process per size, so that each memory figure starts from a fresh process.
for matches in ${@:-10000 100000 1000000}; do
  if [ -n "${DISPLAY:-}" ]; then
    wine "$exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$matches" | cat
  else
    xvfb-run -a -s "-screen 0 1280x1024x24" wine "$exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$matches" | cat
  fi
done
