#!/usr/bin/env bash
# Makes sure 32-bit x86 programs run: natively where the kernel runs them, else through qemu-i386
# registered with binfmt_misc. CORVENKA_I386=emulate takes the emulated way on any host (a binfmt_misc
# entry wins over the kernel's own loader); CORVENKA_I386=native takes our entry away again.
# Prints one line saying which way 32-bit programs run. Idempotent.
set -euo pipefail

mode=${CORVENKA_I386:-auto}
case "$mode" in auto|emulate|native) ;; *) echo "i386: CORVENKA_I386 must be auto, emulate or native" >&2; exit 1 ;; esac

binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
qemu=/usr/bin/qemu-i386-static
probe=/lib/ld-linux.so.2
stamp=/var/lib/corvenka-qemu-i386.stamp
# 32-bit x86 ELF, executables and shared objects (ld.so itself, PIE programs).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

runs32() { "$probe" --version >/dev/null 2>&1; }

entry_on() { [ -f "$entry" ] && head -n 1 "$entry" | grep -qx enabled; }

qemu_version() { "$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\.[0-9]*\).*/\1/p'; }

say_way() {
  if entry_on; then echo "i386: 32-bit programs run under emulation, qemu $(qemu_version)"
  else echo "i386: 32-bit programs run natively"; fi
}

need_root() {
  if [ "$(id -u)" != 0 ]; then echo "i386: run as root ($*)" >&2; exit 1; fi
}

mount_binfmt() {
  [ -e "$binfmt/register" ] && return 0
  need_root "mounting binfmt_misc"
  mount -t binfmt_misc binfmt_misc "$binfmt"
}

remove_entry() {
  if [ -e "$entry" ]; then need_root "removing the binfmt_misc entry"; echo -1 > "$entry"; fi
}

# Bookworm's qemu 7.2 takes about 50 s to start one Wine process; the backports' qemu takes about 3 s.
qemu_fast_enough() {
  local v; v=$(qemu_version)
  [ -n "$v" ] && [ "${v%%.*}" -ge 8 ]
}

install_qemu() {
  qemu_fast_enough && return 0
  need_root "installing qemu-user-static"
  local list=/etc/apt/sources.list.d/corvenka-backports.sources
  if [ ! -f "$list" ]; then
    # The same archive the machine already uses, so no other source is brought in.
    local uri
    uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' /etc/apt/sources.list.d/*.sources 2>/dev/null |
          grep -v -- '-security' | head -n 1 || true)
    if [ -z "$uri" ]; then
      uri=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
    fi
    if [ -z "$uri" ]; then echo "i386: found no Debian archive in the apt sources to take bookworm-backports from" >&2; exit 1; fi
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" > "$list"
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static
  if ! qemu_fast_enough; then
    echo "i386: qemu-user-static from bookworm-backports is $(qemu_version); it needs 8 or newer" >&2; exit 1
  fi
}

register() {
  mount_binfmt
  # The F flag opens the interpreter now: an entry made before qemu was upgraded still runs the old file.
  # So the stamp names the interpreter file the entry holds open.
  local now; now=$(stat -L -c '%d:%i:%Y' "$qemu")
  if entry_on && grep -qx "interpreter $qemu" "$entry" && [ "$(cat "$stamp" 2>/dev/null)" = "$now" ]; then
    return 0
  fi
  remove_entry
  need_root "registering qemu-i386 with binfmt_misc"
  printf ':qemu-i386:M::%s:%s:%s:F' "$magic" "$mask" "$qemu" > "$binfmt/register"
  echo "$now" > "$stamp"
}

case "$mode" in
  native)
    remove_entry
    if ! runs32; then echo "i386: this kernel runs no 32-bit programs (\"$probe --version\" fails); use CORVENKA_I386=auto" >&2; exit 1; fi
    ;;
  auto)
    if ! runs32; then install_qemu; register; fi
    ;;
  emulate)
    install_qemu; register
    ;;
esac

if ! runs32; then
  err=$("$probe" --version 2>&1 >/dev/null || true)
  echo "i386: 32-bit programs still do not run after registering $qemu with binfmt_misc ($(qemu_version)): $probe --version says: ${err:-nothing}" >&2
  exit 1
fi
say_way
