#!/usr/bin/env bash
# Reads the export table and the imports of the built DLL from the binary.
# usage: check_export_table.sh OBJDUMP Quorlane.dll
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
fail() { echo "FAIL: $*" >&2; exit 1; }

grep -q 'file format pei-i386' <<<"$dump" || fail "not a 32-bit i386 PE image"
grep -q 'Magic.*(PE32)' <<<"$dump" || fail "not PE32"
sed -n '/^Characteristics/,/^$/p' <<<"$dump" | grep -qx $'\tDLL' || fail "image is not marked as a DLL"

base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\)$/\1/p' <<<"$dump")
[ -n "$base" ] || fail "no export directory"

# "[Ordinal/Name Pointer] Table" rows read "[index] Name"; ordinal = index + base.
table=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\] \(.*\)$/\1 \2/p')
names=$(cut -d' ' -f2- <<<"$table" | sort)
expected=$(printf '%s\n' SetInitial FreeInitial SetLockDBDotNet SetUnLockDBDotNet SetForceUnLockDBDotNet \
  CheckDBLockedDotNet DoDeleteFileDotNet DoCopyFileDotNet StartServerService StopServerService \
  ServerServiceStarted GetFileSizeInfo GetVATList SaveVATList GetTaxationAPIKey GetAppSelfUpdURL \
  GetConvertedMessageDotNet GetZConvertList SyncZConvertList | sort)
[ "$names" = "$expected" ] || fail "export names differ:"$'\n'"$(diff <(echo "$expected") <(echo "$names") || true)"

index=$(awk '$2 == "GetAppSelfUpdURL" { print $1 }' <<<"$table")
[ "$((index + base))" -eq 14 ] || fail "GetAppSelfUpdURL has ordinal $((index + base)), want 14"

# Imports: Windows system DLLs only, none of the compiler's run-time DLLs.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|ws2_32|mswsock|version|msvcrt)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
while read -r name; do
  [ -n "$name" ] || continue
  grep -Eq "$allowed" <<<"$name" || fail "imports $name, which is not a Windows system DLL"
done <<<"$imports"

echo "ok: 19 undecorated exports, GetAppSelfUpdURL at ordinal 14, imports:" $imports
