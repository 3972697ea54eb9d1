#!/usr/bin/env bash
# Builds, then times a backup, an import and a salvage of a 1 000 000-match profile under Wine and Xvfb. The
# profile and its CSV export are kept in build/bench-data, so a rerun skips making them. "backup", "import" or
# "salvage" runs only that part; "switch" times a profile switch to it.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
# A window answers the WM_NULL watch: Wine starts under the display.
if [ -z "${DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$here/scripts/wine-env.sh"
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
wine "$here/build/cross/bench/backups/BackupBench.exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$@" | cat
