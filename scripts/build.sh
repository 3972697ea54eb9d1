#!/usr/bin/env bash
# Installs what is missing, then cross-builds everything into build/cross.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="$here/build/cross"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
        -DSQLITE_AMALGAMATION_DIR="$here/build/deps/sqlite" >/dev/null
fi
# With pipefail a failed build fails the script; the filter itself may find nothing to print.
cmake --build "$build" -j"$(nproc)" -- --no-print-directory 2>&1 | { grep -v -E '^\[ *[0-9]+%\]' || true; }
