#!/usr/bin/env bash
# One service scenario under Wine's service control manager, in a fresh folder holding
# qvlsvce.exe and the stand-in program (from BUILD_DIR, or from QVL_EXE_DIR when set).
# Usage: scenario.sh NAME BUILD_DIR [--show]
set -euo pipefail
name=$1 bin=$2 show=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
dir="$bin/scenarios/$name"
rm -rf "$dir"
mkdir -p "$dir"
cp "${QVL_EXE_DIR:-$bin}/qvlsvce.exe" "${QVL_EXE_DIR:-$bin}/ZARNQVL.EXE" "$dir/"
"$here/run.sh" cmd /c exit 0   # makes the prefix if needed
# Wine ends the whole session, services too, about a second after its last ordinary program
# exits; a persistent server keeps it for the length of the scenario.
wineserver -k 2>/dev/null || true
wineserver -p
rc=0
if [ "$name" = long-run ]; then
    # Every 10 s, the descriptors open in the host's process: each handle to a file or an
    # object holds one, so a leak shows as growth.
    (
        while sleep 10; do
            pid=$(pgrep -f 'qvlsvce\.exe' | head -n 1) || continue
            ls "/proc/$pid/fd" 2>/dev/null | wc -l
        done
    ) >"$dir/descriptors.txt" &
    sampler=$!
fi
if [ "$name" = host-killed-unix ]; then
    # When the driver asks, the host's Wine process is killed from outside Wine, as a crash or
    # the out-of-memory killer would end it: found by the path of this scenario's own copy.
    exe="$(winepath -w "$dir")\\qvlsvce.exe"
    (
        until [ -e "$dir/kill-host.now" ]; do sleep 0.1; done
        for pid in $(pgrep -f 'qvlsvce\.exe'); do
            if tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qiF "$exe"; then
                echo "kill -9 $pid"; kill -9 "$pid"
            fi
        done
    ) &
    killer=$!
fi
wine "$bin/scm_driver.exe" "$name" "$(winepath -w "$dir")" $show || rc=$?
[ -z "${killer:-}" ] || kill "$killer" 2>/dev/null || true
if [ "$name" = long-run ]; then
    kill "$sampler"
    mapfile -t fds <"$dir/descriptors.txt"
    echo "host descriptors every 10 s: ${fds[*]}"
    n=${#fds[@]}
    if [ "$n" -lt 9 ]; then
        echo "FAIL: only $n descriptor samples"; rc=1
    else
        early=$(printf '%s\n' "${fds[@]:1:n/3}" | sort -n | tail -n 1)
        late=$(printf '%s\n' "${fds[@]:n-n/3}" | sort -n | tail -n 1)
        [ "$late" -le "$early" ] || { echo "FAIL: descriptors grew from $early to $late"; rc=1; }
    fi
fi
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit $rc
