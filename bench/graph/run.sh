#!/usr/bin/env bash
# Builds, then times the graph window under Wine on a virtual screen. Generated databases are kept in
# build/bench-data, so a rerun skips building them.
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/graph/GraphBench.exe" "$bench_data" "$@"
