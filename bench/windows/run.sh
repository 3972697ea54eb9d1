#!/usr/bin/env bash
# Builds, then times the history and opponent windows under Wine and Xvfb. Generated databases are kept in
# build/bench-data (shared with bench/queries), so a rerun skips building them. A size (10000, 100000 or
# 1000000) may be given to time only that one.
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/windows/WindowsBench.exe" "$bench_data" "$@" | cat
