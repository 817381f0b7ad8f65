#!/usr/bin/env bash
# qvl.exe's operator verbs under Wine's service control manager, with the stand-in program in a
# folder whose path holds a blank: refusals, install (twice), the configuration as the manager
# stores it, start, check (with its Prometheus file), audit, stop, uninstall. Wine keeps no
# access lists and makes every file's descriptor up from its Unix mode, so what audit reports
# here proves only that it reads and judges real descriptors; the judgment itself is proven
# natively on real Windows descriptors. Usage: install-test.sh BUILD_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/run.sh" cmd /c exit 0   # makes the prefix if needed
drive="$WINEPREFIX/drive_c"
dir="$drive/QVL Test" other="$drive/QVL Other" empty="$drive/QVL Empty"
rm -rf "$dir" "$other" "$empty" "$bin/install-test"
mkdir -p "$dir" "$other" "$empty" "$bin/install-test"
cp "$bin/qvlsvce.exe" "$bin/qvl.exe" "$bin/ZARNQVL.EXE" "$dir/"
cp "$bin/qvlsvce.exe" "$other/"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# qvl NAME EXPECTED_STATUS ARGS...: runs qvl.exe from the service's folder; its output is in
# install-test/NAME and on the screen.
qvl() {
    local name=$1 expected=$2 status=0
    shift 2
    timeout 120 wine "$dir/qvl.exe" "$@" >"$bin/install-test/$name" 2>&1 || status=$?
    tr -d '\r' <"$bin/install-test/$name" | sed 's/^/    /'
    echo "--- qvl $*: exit status $status"
    [ "$status" = "$expected" ] || fail "qvl $* exited $status, not $expected"
}
says() {
    local name=$1
    shift
    for pattern in "$@"; do
        tr -d '\r' <"$bin/install-test/$name" | grep -qF -- "$pattern" || fail "$name did not say: $pattern"
    done
}
# The service's configuration as the manager reports it, and whether it has one.
config() { wine "$bin/scm_driver.exe" config QVLService 2>/dev/null | tr -d '\r'; }
installed() { wine sc query QVLService >/dev/null 2>&1; }

# A service left by a run that was cut short goes once Wine's session has ended.
wine sc delete QVLService >/dev/null 2>&1
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
# Wine ends its services about a second after its last ordinary program: one stays throughout.
wineserver -p
wine cmd /c "ping -n 900 127.0.0.1 >nul" >/dev/null 2>&1 &
trap 'wineserver -k 2>/dev/null' EXIT

qvl refused-empty 2 install 'C:\QVL Empty'
says refused-empty "fail: there is no qvlsvce.exe in C:\\QVL Empty"
installed && fail "a refused install made a service"
qvl refused-verb 2 instal
says refused-verb 'qvl: unknown verb "instal"' "usage: qvl VERB"

qvl install 0 install
says install "step: the permissions it replaces, as SDDL: O:" "step: locked C:\\QVL Test" \
    "step: created QVLService: \"C:\\QVL Test\\qvlsvce.exe\", own process, interactive, LocalSystem, demand start" "ok: "
reported=$(config)
echo "$reported" | sed 's/^/    /'
for line in 'binary "C:\QVL Test\qvlsvce.exe"' 'type 0x110' 'start 3' 'account LocalSystem' 'display QVL Service'; do
    grep -qxF -- "$line" <<<"$reported" || fail "the service manager does not report: $line"
done
qvl again 0 install --auto
says again "step: re-applied QVLService" "automatic start"
config | grep -qxF 'start 2' || fail "the second install did not make it automatic"
qvl no-lock 0 install --no-lock
says no-lock "warn: --no-lock" "step: re-applied QVLService" "open: C:\\QVL Test:" "ways into the service stay open"
qvl other-path 2 install 'C:\QVL Other'
says other-path "fail: a service QVLService already runs C:\\QVL Test\\qvlsvce.exe"

qvl start 0 start
says start "START_PENDING" "ok: QVLService running"
prom="$bin/install-test/qvl.prom"
qvl check-running 0 check --prom "$(winepath -w "$prom")"
says check-running "QVL OK - QVLService running, heartbeat " "| heartbeat_age="
grep -q '^qvl_check_result{service="QVLService"} 0$' "$prom" || fail "the Prometheus file does not say OK"
ls "$bin/install-test" | grep -q '\.tmp$' && fail "the Prometheus file's temporary was left"
qvl audit 1 audit
says audit "finding: C:\\QVL Test: owned by S-1-5-21-" "finding: C:\\QVL Test\\ZARNQVL.ADR:" \
    "finding: C:\\QVL Test\\qvlsvce.exe:" "findings: a user who is not an administrator could take QVLService over"
tr -d '\r' <"$bin/install-test/audit" | grep -q '^finding: service' && fail "audit found fault with the service it installed"

qvl stop 0 stop
says stop "STOP_PENDING" "ok: QVLService stopped"
qvl check-stopped 2 check
says check-stopped "QVL CRITICAL - QVLService is not running (STOPPED) |"
qvl uninstall 0 uninstall
says uninstall "ok: QVLService is already stopped" "ok: QVLService deleted"
installed && fail "QVLService is still installed"
qvl check-gone 2 check
says check-gone "QVL CRITICAL - QVLService is not installed"
[ -f "$dir/ZARNQVL.ERR" ] && grep -q "QVL Service stopped" "$dir/ZARNQVL.ERR" || fail "the log did not stay"
[ -f "$dir/qvlsvce.exe" ] || fail "the folder did not stay"
echo "qvl: $failures failures"
[ "$failures" = 0 ]
