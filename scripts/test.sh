#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test program under Wine (and Xvfb when there is no display).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# Far from UTC and without daylight saving: a time taken in the wrong zone fails a test instead of passing.
export TZ=Asia/Tokyo
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh"
  if [ -z "${DISPLAY:-}" ]; then
    export CORVENKA_IN_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
source "$here/scripts/wine-env.sh"
trap wine_down EXIT
wine_up
cd "$here/build/cross"
ctest --output-on-failure "$@"
