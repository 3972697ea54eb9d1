#!/usr/bin/env bash
# Fuzzes the script-table walker natively (clang, libFuzzer, AddressSanitizer) for a bounded time.
# Usage: bash tests/fuzz/run.sh [seconds, default 60]. Not part of the cross-build (no CMakeLists.txt here).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
missing=()
for p in clang libclang-rt-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || { echo "fuzz: run as root to install: ${missing[*]}" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
out="$here/build/fuzz"
mkdir -p "$out/corpus"
sources=("$here/tests/fuzz/ScriptReaderFuzz.cpp" "$here/probe/ScriptTableReader.cpp" "$here/probe/PageCache.cpp"
         "$here/standin/ScriptLayout.cpp")
includes=(-I"$here/probe" -I"$here/standin" -I"$here/tests/probe")
clang++ -std=c++17 -O1 -g -DMAKE_SEEDS "${includes[@]}" "${sources[@]}" -o "$out/make_seeds"
"$out/make_seeds" "$out/corpus"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  "${includes[@]}" "${sources[@]}" -o "$out/script_reader_fuzz"
"$out/script_reader_fuzz" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 "$out/corpus"
