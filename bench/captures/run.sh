#!/usr/bin/env bash
# Builds, then times one capture with windows open and measures the memory they take, under Wine and Xvfb.
# Generated databases are kept in build/bench-data, so a rerun skips building them. Sizes may be given as
# arguments (default: 10000 100000 1000000).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh" >/dev/null
  if [ -z "${DISPLAY:-}" ]; then
    # The Wine server must start inside the display, or no window can be made.
    export CORVENKA_IN_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
exe="$here/build/cross/bench/captures/CaptureBench.exe"
# One process per size, so that each memory figure starts from a fresh process.
for matches in ${@:-10000 100000 1000000}; do
  wine "$exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$matches" | cat
done
