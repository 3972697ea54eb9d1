#!/usr/bin/env bash
# Builds, then times a backup, an import and a salvage of a 1 000 000-match profile under Wine. The profile and
# its CSV export are kept in build/bench-data, so a rerun skips making them.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bash "$here/scripts/build.sh"
source "$here/scripts/wine-env.sh"
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
wine "$here/build/cross/bench/backups/BackupBench.exe" 'Z:'"$(pwd | sed 's|/|\\|g')"
