#!/usr/bin/env bash
# One service scenario under Wine's service control manager, in a fresh folder holding
# qvlsvce.exe and the stand-in program. Usage: scenario.sh NAME BUILD_DIR [--show]
set -euo pipefail
name=$1 bin=$2 show=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
dir="$bin/scenarios/$name"
rm -rf "$dir"
mkdir -p "$dir"
cp "$bin/qvlsvce.exe" "$bin/ZARNQVL.EXE" "$dir/"
"$here/run.sh" cmd /c exit 0   # makes the prefix if needed
# Wine ends the whole session, services too, about a second after its last ordinary program
# exits; a persistent server keeps it for the length of the scenario.
wineserver -k 2>/dev/null || true
wineserver -p
rc=0
wine "$bin/scm_driver.exe" "$name" "$(winepath -w "$dir")" $show || rc=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit $rc
