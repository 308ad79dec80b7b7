#!/usr/bin/env bash
# The Windows module must export exactly the four entry points, undecorated
# (SetStartupInfo, not SetStartupInfo@4), and import nothing but system DLLs.
set -euo pipefail
dll=${1:?usage: check-exports.sh zarelin.dll}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$dll")

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF; next} on {on=0}' <<<"$dump" | sort | tr '\n' ' ')
expected="ClosePlugin GetPluginInfo OpenPlugin SetStartupInfo "
if [[ "$exports" != "$expected" ]]; then
    echo "FAIL: $dll exports '$exports', expected '$expected'" >&2
    exit 1
fi

imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$dump" | sort -u | tr '\n' ' ')
for dll_name in $imports; do
    case "$dll_name" in
        KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL|MPR.DLL|MSVCRT.DLL) ;;
        *) echo "FAIL: $dll imports $dll_name, which a bare Windows may lack" >&2; exit 1 ;;
    esac
done
echo "exports OK: $exports; imports: $imports"
