#!/usr/bin/env bash
# Builds, then times the history and opponent windows under Wine and Xvfb. Generated databases are kept in
# build/bench-data (shared with bench/queries), so a rerun skips building them.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
exe="$here/build/cross/bench/windows/WindowsBench.exe"
if [ -n "${DISPLAY:-}" ]; then
  wine "$exe" 'Z:'"$(pwd | sed 's|/|\\|g')" | cat
else
  xvfb-run -a wine "$exe" 'Z:'"$(pwd | sed 's|/|\\|g')" | cat
fi
