#!/usr/bin/env bash
# Checks a Windows build of lentok: a PE console program of the expected
# width whose imports are only the system DLLs it is meant to use (kernel32,
# user32, shlwapi and the C runtime msvcrt), so that it runs on a bare
# Windows machine, and that keeps ASLR and DEP on: a relocatable image
# (dynamic base, relocations kept, high-entropy addresses on x86_64) whose
# data cannot be executed (NX compatible).
#   scripts/check-windows-exe.sh lentok.exe i686|x86_64 [objdump [allowed DLLs]]
# The allowed DLLs, lower-case and space-separated, default to lentok's;
# lentok-read and lentok-side are checked with their own lists.
set -euo pipefail

exe=$1
width=$2
objdump=${3:-${width}-w64-mingw32-objdump}
allowed=${4:-kernel32.dll msvcrt.dll shlwapi.dll user32.dll}

case $width in
  i686) format=pei-i386 magic='PE32' machine=4c01 ;;     # IMAGE_FILE_MACHINE_I386, little-endian
  x86_64) format=pei-x86-64 magic='PE32\+' machine=6486 ;;  # IMAGE_FILE_MACHINE_AMD64
  *) echo "unknown width: $width" >&2; exit 2 ;;
esac

fail() {
  echo "$exe: $*" >&2
  exit 1
}

# The headers themselves: the DOS stub's MZ, and at the offset it gives, the
# PE signature followed by the machine field.
[ "$(head -c 2 "$exe")" = MZ ] || fail "no MZ header"
pe_offset=$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')
signature=$(od -An -tx1 -j "$pe_offset" -N 6 "$exe" | tr -d ' \n')
[ "$signature" = "50450000$machine" ] || fail "PE signature and machine are $signature, not for $width"

dump=$("$objdump" -p "$exe")
grep -q "file format $format\$" <<<"$dump" || fail "not $format"
grep -Eq "^Magic[[:space:]]+[0-9a-f]+[[:space:]]+\($magic\)" <<<"$dump" || fail "optional header is not ${magic//\\/}"
grep -Eq "^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)" <<<"$dump" ||
  fail "not a console program"
if [ "$width" = i686 ]; then
  grep -q "^[[:space:]]*32 bit words" <<<"$dump" || fail "not marked as a 32-bit machine image"
fi

# DllCharacteristics bits: 0x0020 high-entropy VA, 0x0040 dynamic base,
# 0x0100 NX compatible. ASLR is only real when the relocations are kept.
characteristics=$(sed -n 's/^DllCharacteristics[[:space:]]\+\([0-9a-fA-F]\+\).*/\1/p' <<<"$dump")
[ -n "$characteristics" ] || fail "no DllCharacteristics in the optional header"
wanted=$((0x0040 | 0x0100))
[ "$width" = x86_64 ] && wanted=$((wanted | 0x0020))
[ $((0x$characteristics & wanted)) -eq $wanted ] ||
  fail "DllCharacteristics $characteristics lacks $(printf '%04x' $((wanted & ~0x$characteristics))) (ASLR/DEP off)"
! grep -q "relocations stripped" <<<"$dump" || fail "relocations stripped: the image cannot be moved (no ASLR)"

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
expected=$(tr ' ' '\n' <<<"$allowed" | grep . | sort -u | tr '\n' ' ')
[ "$imports" = "$expected" ] || fail "imports ${imports:-nothing}; expected $expected only"

echo "$exe: $format console program with ASLR and DEP (DllCharacteristics $characteristics) importing $imports"
