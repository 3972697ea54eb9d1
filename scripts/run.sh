#!/usr/bin/env bash
# The main job: installs what is missing, builds, and shows the tracker recording an evening of matches.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/build.sh"
echo
echo "Built: $here/build/cross/tracker/Corvenka.exe and $here/build/cross/probe/MirrowAddr.dll"
echo "The evening demo (stand-in game + tracker) is not assembled yet; run the tests with: bash scripts/test.sh"
