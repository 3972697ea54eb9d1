#!/usr/bin/env bash
# Makes the release a player downloads: build/release/Corvenka-<version>.zip with the two binaries stripped
# of their debug information, the player's README and the notice; the debug information stays beside it.
# Builds first (installing what is missing); the tests package a build of their own with
# --from BUILD_FOLDER --to OUTPUT_FOLDER, which builds nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build/cross"
out="$here/build/release"
if [ "${1:-}" = "--from" ] && [ $# -eq 4 ] && [ "$3" = "--to" ]; then
  build=$2 out=$4
elif [ $# -eq 0 ]; then
  bash "$here/scripts/build.sh"
else
  echo "usage: bash scripts/package.sh [--from BUILD_FOLDER --to OUTPUT_FOLDER]" >&2
  exit 2
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name="Corvenka-$version"
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip" "$out/debug"
mkdir -p "$stage" "$out/debug"

for binary in "$build/tracker/Corvenka.exe" "$build/probe/MirrowAddr.dll"; do
  file=$(basename "$binary")
  i686-w64-mingw32-objcopy --only-keep-debug "$binary" "$out/debug/$file.debug"
  i686-w64-mingw32-objcopy --strip-debug --strip-unneeded "$binary" "$stage/$file"
  # A debugger given the folder of the .debug files finds them by this link.
  (cd "$out/debug" && i686-w64-mingw32-objcopy --add-gnu-debuglink="$file.debug" "$stage/$file")
done
# Windows editors and Notepad expect CRLF.
for text in README.txt NOTICE.txt; do
  sed "s/@VERSION@/$version/g; s/\$/\r/" "$here/release/$text" > "$stage/$text"
done
# The zip is written by CMake itself, so no archiver needs installing; the folder inside keeps a player's
# unpacked copy apart from other versions.
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "package: $out/$name.zip"
ls -l "$out/$name.zip" | awk '{ print "package: " $5 " bytes" }'
