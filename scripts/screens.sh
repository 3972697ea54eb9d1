#!/usr/bin/env bash
# Builds, then saves a picture of every window and dialog of the tracker under build/screens/96/ and
# build/screens/144/ (PNG, at 100 % and 150 % display scale), for a reviewer to look at. Nothing is
# compared: the pictures are for eyes.
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
# At 100 % and at 150 %: Wine reads the screen's DPI when a program starts. The setting goes at the end.
trap 'wine reg delete "HKCU\\Control Panel\\Desktop" /v LogPixels /f >/dev/null 2>&1 || true; wine_down' EXIT
for dpi in 96 144; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  mkdir -p "$out/$dpi"
  # The program names each window and its place once it is shown, and waits for the .done mark.
  wine "$here/build/cross/tests/viewwindows/DialogScreens.exe" "$(winepath -w "$out/$dpi")" |
    while read -r name x y w h; do
      h=${h%$'\r'}
      import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$dpi/$name.png"
      touch "$out/$dpi/$name.done"
      echo "$out/$dpi/$name.png: ${w}x${h} at $x,$y"
    done
  rm -f "$out/$dpi"/*.done
done
