#!/usr/bin/env bash
# Builds, then measures the probe's requests on the stand-in game under Wine (and Xvfb when there is no display).
# Usage: bash bench/probe/run.sh [match steps, default 60] [--no-cache]
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
wine "$here/build/cross/bench/probe/ProbeBench.exe" "$@"
