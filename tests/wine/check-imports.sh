#!/usr/bin/env bash
# Passes when the executable imports system DLLs only. Usage: check-imports.sh EXE
set -euo pipefail
dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports: $dlls"
for dll in $dlls; do
    case $dll in
    KERNEL32.DLL | ADVAPI32.DLL | MSVCRT.DLL) ;;
    *) echo "not a system DLL: $dll"; exit 1 ;;
    esac
done
headers=$(x86_64-w64-mingw32-objdump -f -p "$1")
grep -q 'file format pei-x86-64' <<<"$headers" || { echo "not x86-64"; exit 1; }
grep -Eq 'Subsystem\s+00000003' <<<"$headers" || { echo "not a console program"; exit 1; }
echo "only system DLLs"
