#!/usr/bin/env bash
# Builds, then times the graph window under Wine on a virtual screen. Generated databases are kept in
# build/bench-data, so a rerun skips building them.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh" >/dev/null
  if [ -z "${DISPLAY:-}" ]; then
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
wine "$here/build/cross/bench/graph/GraphBench.exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$@"
