#!/usr/bin/env bash
# Checks every executable of an unpacked release package as shipped: its size against its
# budget, each import against the allow-list (imports.allow beside this script), and headers
# that the oldest Windows the list allows still loads. Prints the oldest Windows by the list.
# Usage: check-shipped.sh PACKAGE_DIR
set -euo pipefail
pkg=$1
allow="$(dirname "$0")/imports.allow"
declare -A nt=([5.2]="Windows XP Professional x64 Edition and Windows Server 2003 x64"
               [6.0]="Windows Vista and Windows Server 2008" [6.1]="Windows 7 and Windows Server 2008 R2")
budget() { [ "$(basename "$1")" = qvlsvce.exe ] && echo 24576 || echo 65536; }
fail=0 oldest=5.2
while IFS= read -r -d '' exe; do
    name=${exe#"$pkg"/} size=$(stat -c %s "$exe") max=$(budget "$exe")
    headers=$(x86_64-w64-mingw32-objdump -p "$exe")
    mapfile -t imports < <(awk '/DLL Name:/ {dll = $3} /^\t[0-9a-f]+\t +[0-9]+  / {print dll, $3}' <<<"$headers")
    echo "$name: $size bytes (budget $max), ${#imports[@]} imports"
    [ "$size" -le "$max" ] || { echo "FAIL: $name is over its budget of $max bytes"; fail=1; }
    for imp in "${imports[@]}"; do
        read -r dll fn <<<"$imp"
        line=$(awk -v d="$dll" -v f="$fn" '$1 == d && $2 == f {print $3}' "$allow")
        if [ -z "$line" ]; then
            echo "FAIL: $name imports $dll $fn, which is not on the allow-list"; fail=1
        elif [ "$(printf '%s\n' "$line" "$oldest" | sort -V | tail -n 1)" = "$line" ]; then
            oldest=$line
        fi
    done
    sub=$(awk '/MajorSubsystemVersion/ {a = $2} /MinorSubsystemVersion/ {b = $2} END {print a "." b}' <<<"$headers")
    os=$(awk '/MajorOSystemVersion/ {a = $2} /MinorOSystemVersion/ {b = $2} END {print a "." b}' <<<"$headers")
    for v in "subsystem $sub" "OS $os"; do
        set -- $v
        [ "$(printf '%s\n' "$2" 5.2 | sort -V | tail -n 1)" = 5.2 ] ||
            { echo "FAIL: $name asks for $1 version $2, newer than NT 5.2"; fail=1; }
    done
    grep -q 'file format pei-x86-64' < <(x86_64-w64-mingw32-objdump -f "$exe") || { echo "FAIL: $name is not x86-64"; fail=1; }
    grep -Eq 'Subsystem\s+00000003' <<<"$headers" || { echo "FAIL: $name is not a console program"; fail=1; }
done < <(find "$pkg" -iname '*.exe' -print0 | sort -z)
echo "oldest Windows by the allow-list: NT $oldest, ${nt[$oldest]:-unknown}"
[ "$oldest" = 5.2 ] || { echo "FAIL: the shipped executables need NT $oldest"; fail=1; }
exit $fail
