#!/usr/bin/env bash
# Builds, then times a backup, an import and a salvage of a 1 000 000-match profile under Wine and Xvfb. The
# profile and its CSV export are kept in build/bench-data, so a rerun skips making them. "backup", "import" or
# "salvage" runs only that part; "switch" times a profile switch to it.
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/backups/BackupBench.exe" "$bench_data" "$@" | cat
