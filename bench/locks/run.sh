#!/usr/bin/env bash
# Builds, then times what a lock held by another program costs the tracker's GUI thread, under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
i386_way
trap wine_down EXIT
wine_up
mkdir -p "$here/build/bench-data"
cd "$here/build/bench-data"
wine "$here/build/cross/bench/locks/LockWaitBench.exe" 'Z:'"$(pwd | sed 's|/|\\|g')"
