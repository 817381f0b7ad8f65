#!/usr/bin/env bash
# Checks every executable of an unpacked release package as shipped, for its architecture
# (win64 or win32): its size against its budget, the machine it is built for, each import
# against that architecture's column of the allow-list (imports.allow beside this script),
# headers that ask for exactly the oldest Windows the list allows, and, for 32-bit, no import of
# the runtime's 32-bit time calls, which stop in January 2038. Prints the oldest Windows.
# Usage: check-shipped.sh PACKAGE_DIR ARCH
set -euo pipefail
pkg=$1 arch=$2
allow="$(dirname "$0")/imports.allow"
case $arch in
    win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 column=3 expected=5.2 ;;
    win32) objdump=i686-w64-mingw32-objdump format=pei-i386 column=4 expected=5.1 ;;
    *) echo "usage: check-shipped.sh PACKAGE_DIR win64|win32"; exit 2 ;;
esac
declare -A nt=([5.0]="Windows 2000" [5.1]="Windows XP" [5.2]="Windows XP Professional x64 Edition and Windows Server 2003"
               [6.0]="Windows Vista and Windows Server 2008" [6.1]="Windows 7 and Windows Server 2008 R2")
time32='^_?(time|localtime|gmtime|mktime|ctime|difftime|ftime|utime|futime|mkgmtime)(32)?$'
budget() { case $(basename "$1") in qvlsvce.exe) echo 24576 ;; qvl.exe) echo 90112 ;; *) echo 65536 ;; esac; }
newer() { [ "$(printf '%s\n' "$1" "$2" | sort -V | tail -n 1)" = "$1" ] && [ "$1" != "$2" ]; }
fail=0 oldest=5.0
while IFS= read -r -d '' exe; do
    name=${exe#"$pkg"/} size=$(stat -c %s "$exe") max=$(budget "$exe")
    headers=$($objdump -p "$exe")
    mapfile -t imports < <(awk '/DLL Name:/ {dll = $3} /^\t[0-9a-f]+\t +[0-9]+  / {print dll, $3}' <<<"$headers")
    echo "$arch $name: $size bytes (budget $max), ${#imports[@]} imports"
    [ "$size" -le "$max" ] || { echo "FAIL: $name is over its budget of $max bytes"; fail=1; }
    for imp in "${imports[@]}"; do
        read -r dll fn <<<"$imp"
        line=$(awk -v d="$dll" -v f="$fn" -v c="$column" '$1 == d && $2 == f {print $c}' "$allow")
        if [ -z "$line" ] || [ "$line" = - ]; then
            echo "FAIL: $name imports $dll $fn, which is not on the allow-list for $arch"; fail=1
        elif newer "$line" "$oldest"; then
            oldest=$line
        fi
        if [ "$arch" = win32 ] && [[ $fn =~ $time32 ]]; then
            echo "FAIL: $name imports $fn, a 32-bit time call that stops in January 2038"; fail=1
        fi
    done
    sub=$(awk '/MajorSubsystemVersion/ {a = $2} /MinorSubsystemVersion/ {b = $2} END {print a "." b}' <<<"$headers")
    os=$(awk '/MajorOSystemVersion/ {a = $2} /MinorOSystemVersion/ {b = $2} END {print a "." b}' <<<"$headers")
    for v in "subsystem $sub" "OS $os"; do
        set -- $v
        [ "$2" = "$expected" ] || { echo "FAIL: $name asks for $1 version $2, not NT $expected"; fail=1; }
    done
    grep -q "file format $format" < <($objdump -f "$exe") || { echo "FAIL: $name is not $format"; fail=1; }
    grep -Eq 'Subsystem\s+00000003' <<<"$headers" || { echo "FAIL: $name is not a console program"; fail=1; }
done < <(find "$pkg" -iname '*.exe' -print0 | sort -z)
echo "$arch: oldest Windows by the allow-list: NT $oldest, ${nt[$oldest]:-unknown}"
[ "$oldest" = "$expected" ] || { echo "FAIL: the $arch executables need NT $oldest, not NT $expected"; fail=1; }
exit $fail
