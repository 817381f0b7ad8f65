#!/usr/bin/env bash
# Runs qvl.exe trial under Wine beside the stand-in: a program that keeps the protocol, one that
# exits at once with code 3, one that keeps beating after the finish command (qvl_quick, which
# gives up after 15 s), and a folder where a program already beats (refused, nothing changed).
# Judges the exit status and the verdict's lines. Usage: trial-test.sh BUILD_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/run.sh" cmd /c exit 0   # makes the prefix if needed
failures=0

# trial NAME EXE CONFIG EXPECTED_STATUS PATTERN...: a fresh folder with the stand-in and CONFIG,
# one run of EXE with --stop-after 3; every PATTERN must be in what it printed.
trial() {
    local name=$1 exe=$2 config=$3 expected=$4
    shift 4
    local dir="$bin/trials/$name"
    rm -rf "$dir" && mkdir -p "$dir" && cp "$bin/ZARNQVL.EXE" "$dir/"
    [ -n "$config" ] && printf '%s\r\n' $config >"$dir/ZARNQVL.CFG"
    [ "$name" = refused ] && prepare_refusal "$dir"
    wineserver -k 2>/dev/null; wineserver -p
    local status=0
    timeout 240 wine "$bin/$exe" trial "$(winepath -w "$dir")" --stop-after 3 >"$dir/out.txt" 2>&1 || status=$?
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
    tr -d '\r' <"$dir/out.txt" >"$dir/out"
    echo "--- $name: exit status $status"
    grep -E '^(  [1-5]\.|qvl trial)' "$dir/out"
    [ "$status" = "$expected" ] || { echo "FAIL: $name exited $status, not $expected"; failures=$((failures + 1)); }
    for pattern in "$@"; do
        grep -qF -- "$pattern" "$dir/out" || { echo "FAIL: $name did not say: $pattern"; failures=$((failures + 1)); }
    done
    [ "$name" = refused ] && check_untouched "$dir"
}

prepare_refusal() {
    # A status file with a fresh heartbeat: status byte 0, the time now, written by the stand-in
    # itself for a moment, then the folder as it was is remembered.
    printf 'quit_after=1500\r\ntick=250\r\n' >"$1/ZARNQVL.CFG"
    (cd "$1" && timeout 60 wine ZARNQVL.EXE 2>/dev/null)
    rm -f "$1/ZARNQVL.TRC"
    (cd "$1" && find . -type f ! -name 'out*' -exec sha256sum {} + | sort) >"$1/../refused.sums"
}

check_untouched() {
    (cd "$1" && find . -type f ! -name 'out*' -exec sha256sum {} + | sort) | diff "$1/../refused.sums" - ||
        { echo "FAIL: the refused trial changed the folder"; failures=$((failures + 1)); }
}

trial keeps qvl.exe "hold=2000 ends=remove" 0 \
    "1. fresh heartbeat by the end of the 10 s pause: kept" "3. hold bit after command 1: kept, set" \
    "4. status gone after command 10: kept, status file removed" "5. ZARNQVL.EXE ended after the stop: kept, exit code 0" \
    "service reports RUNNING" "qvl trial: the program kept the protocol"
trial exits-at-once qvl.exe "heartbeat=0 quit_after=0 exit_code=3" 1 \
    "ZARNQVL.EXE exited with code 3 after" "before writing any status" "exited by itself with code 3"
trial beats-after-finish qvl_quick.exe "hold=0 fresh_after_finish=600000" 1 \
    "4. status gone after command 10: BROKEN: the heartbeat was still fresh 15 s after the command: the service would stay STOP_PENDING" \
    "5. ZARNQVL.EXE ended after the stop: BROKEN: still running when the trial gave up"
trial refused qvl.exe "" 2 "qvl trial: a program already runs in"
grep -q "Starting QVL service qvl-trial" "$bin/trials/keeps/ZARNQVL.ERR" ||
    { echo "FAIL: the trial's log does not name the service qvl-trial"; failures=$((failures + 1)); }
echo "qvl trial: $failures failures"
[ "$failures" = 0 ]
