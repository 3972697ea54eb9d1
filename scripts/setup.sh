#!/usr/bin/env bash
# Installs everything the build and the tests need on a bare Debian 12 machine.
# Idempotent: a second run finds everything in place and returns quickly.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/build/deps"

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup: run as root (apt-get is needed to install: $*)" >&2
    exit 1
  fi
}

pkgs=(g++-mingw-w64-i686 wine wine64 wine32:i386 xvfb xauth googletest locales
      fonts-noto-cjk imagemagick sqlite3 tcl cmake make dpkg-dev xdotool python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  need_root "${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ] && ! grep -q '^Types: deb deb-src' "$src"; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Code page 932 for the Wine processes comes from the ja_JP.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  need_root "locale ja_JP.UTF-8"
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi

# SQLite amalgamation, generated from Debian's source package.
if [ ! -f "$deps/sqlite/sqlite3.c" ]; then
  mkdir -p "$deps/sqlite-src"
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ] && ! grep -q '^Types: deb deb-src' "$src"; then
    need_root "deb-src entries"
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
    apt-get update -q
  fi
  if ! ls -d "$deps"/sqlite-src/sqlite3-*/ >/dev/null 2>&1; then
    (cd "$deps/sqlite-src" && apt-get source -q sqlite3 >/dev/null 2>&1 || { apt-get update -q && apt-get source -q sqlite3; })
  fi
  tree=$(ls -d "$deps"/sqlite-src/sqlite3-*/ | head -n 1)
  (cd "$tree" && { [ -f Makefile ] || ./configure -q >/dev/null; } && make -s sqlite3.c >/dev/null)
  mkdir -p "$deps/sqlite"
  cp "$tree/sqlite3.c" "$tree/sqlite3.h" "$deps/sqlite/"
fi

# SQLite's recovery extension, from the same source tree; checked on its own, for an amalgamation made earlier.
if [ ! -f "$deps/sqlite/recover/sqlite3recover.c" ]; then
  if ! ls -d "$deps"/sqlite-src/sqlite3-*/ext/recover >/dev/null 2>&1; then
    mkdir -p "$deps/sqlite-src"
    (cd "$deps/sqlite-src" && apt-get source -q sqlite3 >/dev/null 2>&1 || { need_root "deb-src entries"; sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources; apt-get update -q && apt-get source -q sqlite3; })
  fi
  tree=$(ls -d "$deps"/sqlite-src/sqlite3-*/ | head -n 1)
  mkdir -p "$deps/sqlite/recover"
  cp "$tree"/ext/recover/{sqlite3recover.c,sqlite3recover.h,dbdata.c} "$tree/src/sqlite3ext.h" "$deps/sqlite/recover/"
fi
bash "$here/scripts/i386.sh"
echo "setup: dependencies in place"
