#!/usr/bin/env bash
# Builds, then times what a lock held by another program costs the tracker's GUI thread, under Wine.
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/locks/LockWaitBench.exe" "$bench_data"
