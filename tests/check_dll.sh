#!/bin/sh
# Checks a plug-in DLL with objdump: the expected PE kind, exactly one export
# named `main`, and imports from KERNEL32 and msvcrt only.
# Usage: check_dll.sh OBJDUMP DLL PE32|PE32+
set -eu
objdump=$1 dll=$2 kind=$3
headers=$("$objdump" -p "$dll")
fail() { echo "$dll: $*" >&2; exit 1; }

echo "$headers" | grep -q "^Magic.*($kind)" || fail "not a $kind image"
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] *//p')
[ "$exports" = "main" ] || fail "exports '$exports', expected only 'main'"
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u | tr '\n' ' ')
for dll_name in $imports; do
    case "$dll_name" in
        KERNEL32.dll|msvcrt.dll) ;;
        *) fail "imports $dll_name (expected only KERNEL32.dll and msvcrt.dll)" ;;
    esac
done
echo "$dll: $kind, exports only main, imports: $imports"
