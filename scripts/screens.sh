#!/usr/bin/env bash
# Builds, then saves a picture of every window and dialog of the tracker under build/screens/ (PNG), for a
# reviewer to look at. Nothing is compared: the pictures are for eyes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${CORVENKA_IN_DISPLAY:-}" ]; then
  bash "$here/scripts/build.sh"
  if [ -z "${DISPLAY:-}" ]; then
    export CORVENKA_IN_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
  fi
fi
source "$here/scripts/wine-env.sh"
trap wine_down EXIT
wine_up

out="$here/build/screens"
rm -rf "$out"
mkdir -p "$out"
# The program names each window and its place once it is shown, and waits for the .done mark.
wine "$here/build/cross/tests/viewwindows/DialogScreens.exe" "$(winepath -w "$out")" |
  while read -r name x y w h; do
    h=${h%$'\r'}
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    touch "$out/$name.done"
    echo "$out/$name.png: ${w}x${h} at $x,$y"
  done
rm -f "$out"/*.done
