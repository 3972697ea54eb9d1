# Sourced: a private Wine prefix inside the build folder, quiet, Japanese code page, one wineserver.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$here/build/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

wine_up() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix (first run only)..."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1
  # Without a window manager on the display, managed windows make every hide and destroy of a
  # top-level window wait about two seconds for one.
  if ! wine_unmanaged; then
    if wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1; then
      # The desktop and tray processes that this first start brought up read the key only when they
      # start, so the server starts again (once per prefix).
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w
      wineserver -p >/dev/null 2>&1
    else
      echo "wine-env: could not switch off managed windows; GUI tests will be slow" >&2
    fi
  fi
  # The first wine process in a fresh server spends a while starting its services.
  wine cmd /c exit >/dev/null 2>&1 || true
}

# The server writes user.reg when it ends, so a key set in an earlier run is found here.
wine_unmanaged() {
  awk '/^\[/ { inkey = ($0 ~ /^\[Software\\\\Wine\\\\X11 Driver\]/) }
       inkey && /^"Managed"="N"/ { found = 1 }
       END { exit !found }' "$WINEPREFIX/user.reg" 2>/dev/null
}

wine_down() {
  wineserver -k >/dev/null 2>&1 || true
}

# Benchmarks say first how the 32-bit code ran: figures taken under emulation measure the emulator too.
i386_way() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -f "$entry" ] && head -n 1 "$entry" | grep -qx enabled; then
    echo "32-bit code: under emulation, $(/usr/bin/qemu-i386-static --version 2>/dev/null | head -n 1)"
  else
    echo "32-bit code: native"
  fi
}
