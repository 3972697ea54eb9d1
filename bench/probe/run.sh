#!/usr/bin/env bash
# Builds, then measures the probe's requests on the stand-in game under Wine (and Xvfb when there is no display).
# Usage: bash bench/probe/run.sh [match steps, default 60] [--no-cache]
set -euo pipefail
source "$(dirname "$0")/../bench-env.sh"
wine "$here/build/cross/bench/probe/ProbeBench.exe" "$@"
