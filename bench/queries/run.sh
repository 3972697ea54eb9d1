#!/usr/bin/env bash
# Builds, then times the record queries under Wine. Generated databases are kept in build/bench-data,
# so a rerun skips building them. Pass --quick-only to leave out the plain statements.
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/queries/QueriesBench.exe" "$bench_data" "$@"
