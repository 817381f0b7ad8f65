#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix of the build's (WINEPREFIX, or
# ./wineprefix), making the prefix first when it is not there yet. Exit status: the program's.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
