#!/usr/bin/env bash
# Shows that scripts/check-windows-exe.sh can fail on ASLR and DEP: clears
# the DllCharacteristics of a copy of a Windows program (the field lies 70
# bytes into the optional header in both PE32 and PE32+) and expects the
# check to refuse the copy for that reason and no other.
#   check_refuses_aslr_off.sh CHECK-SCRIPT EXE WIDTH SCRATCH-DIR [allowed DLLs]
set -euo pipefail
check=$1 exe=$2 width=$3 scratch=$4
allowed=${5:-}

mkdir -p "$scratch"
copy=$scratch/$(basename "$exe" .exe)-aslr-off.exe
cp "$exe" "$copy"
pe_offset=$(od -An -tu4 -j 60 -N 4 "$copy" | tr -d ' ')
printf '\0\0' | dd of="$copy" bs=1 seek=$((pe_offset + 24 + 70)) conv=notrunc status=none

# The program as built passes; only the copy must fail.
bash "$check" "$exe" "$width" "$width-w64-mingw32-objdump" ${allowed:+"$allowed"} >/dev/null
if message=$(bash "$check" "$copy" "$width" "$width-w64-mingw32-objdump" ${allowed:+"$allowed"} 2>&1); then
  echo "the check passed $copy, whose ASLR and DEP bits are cleared" >&2
  exit 1
fi
grep -q "ASLR/DEP off" <<<"$message" || { echo "refused for another reason: $message" >&2; exit 1; }
echo "refused as it should be: $message"
