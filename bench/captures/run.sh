#!/usr/bin/env bash
# Builds, then times one capture with windows open and measures the memory they take, under Wine and Xvfb.
# Generated databases are kept in build/bench-data, so a rerun skips building them. Sizes may be given as
# arguments (default: 10000 100000 1000000).
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
exe="$here/build/cross/bench/captures/CaptureBench.exe"
# One process per size, so that each memory figure starts from a fresh process.
for matches in ${@:-10000 100000 1000000}; do
  wine "$exe" "$bench_data" "$matches" | cat
done
