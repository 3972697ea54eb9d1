#!/usr/bin/env bash
# Builds, then times the record queries under Wine. Generated databases are kept in build/bench-data,
# so a rerun skips building them. Pass --quick-only to leave out the plain statements.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
wine "$here/build/cross/bench/queries/QueriesBench.exe" 'Z:'"$(pwd | sed 's|/|\\|g')" "$@"
