#!/usr/bin/env bash
# qvl.exe's operator verbs under Wine's service control manager, with the stand-in program in a
# folder whose path holds a blank. Wine keeps no access lists: a descriptor given at creation is
# dropped, SetSecurityInfo succeeds and changes nothing, and every descriptor is made up from the
# Unix mode, the drive's root included, which it shows as owned by the user. So here no folder
# ever reads back closed, and what this proves is the wiring:
# - the refusals before any change: no qvlsvce.exe, the system's folders (by spelling too, the
#   shared profiles included), links and hard links, a second service in a folder already used;
# - a folder born locked, made and filled from judged handles (the executables beside qvl.exe,
#   or an open folder's files), read back, and, as Wine shows it open, taken back with no service
#   made: the open folder copied from is left as it was;
# - --no-lock, which runs the service from the folder as it is and names what stays open, made
#   twice; --program put into a folder that stays, made anew and renamed over the program;
# - the configuration as the manager stores it, start, check (with its Prometheus file, and a bad
#   argument), audit, a stop past its --timeout, stop, uninstall; the recovery option reaching the
#   manager, and how the service last ended as status and check say it.
# That a folder born locked is closed, and that no step of install leaves the service in a
# folder a user could write, is proven natively, against a simulated Windows with its access lists.
# Usage: install-test.sh BUILD_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/run.sh" cmd /c exit 0   # makes the prefix if needed
drive="$WINEPREFIX/drive_c"
dir="$drive/QVL Test" other="$drive/QVL Other" empty="$drive/QVL Empty" planted="$drive/QVL Planted"
fresh="$drive/QVL Fresh" unmade="$drive/QVL Unmade"
rm -rf "$dir" "$other" "$empty" "$planted" "$fresh" "$unmade" "$drive/QVL Planted.qvl-new" "$drive/outside.txt" \
    "$bin/install-test"
mkdir -p "$dir" "$other" "$empty" "$planted/ZARNQVL.EXE.local" "$bin/install-test"
cp "$bin/qvlsvce.exe" "$bin/qvl.exe" "$bin/ZARNQVL.EXE" "$dir/"
printf 'hold=8000\r\n' >"$dir/ZARNQVL.CFG"   # a stop that takes longer than the stop's --timeout below
cp "$bin/qvlsvce.exe" "$other/"
# What a user could have left in an open folder: a DLL the program would load first,
# a redirection folder, and a second name of a file that lies elsewhere.
cp "$bin/qvlsvce.exe" "$bin/ZARNQVL.EXE" "$planted/"
echo "not a DLL" >"$planted/version.dll"
echo "elsewhere" >"$drive/outside.txt"
ln "$drive/outside.txt" "$planted/notes.txt"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# qvl NAME EXPECTED_STATUS ARGS...: runs qvl.exe (QVL_EXE, by default the one in the service's
# folder); its output is in install-test/NAME and on the screen.
qvl() {
    local name=$1 expected=$2 status=0
    shift 2
    timeout 120 wine "${QVL_EXE:-$dir/qvl.exe}" "$@" >"$bin/install-test/$name" 2>&1 || status=$?
    tr -d '\r' <"$bin/install-test/$name" | cut -c1-240 | sed 's/^/    /'
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
# A service's configuration as the manager reports it, and whether it has one.
config() { wine "$bin/scm_driver.exe" config "${1:-QVLService}" 2>/dev/null | tr -d '\r'; }
installed() { wine sc query "${1:-QVLService}" >/dev/null 2>&1; }

# Services left by a run that was cut short go once Wine's session has ended.
for s in QVLService QVLFresh QVLOther; do wine sc delete $s >/dev/null 2>&1; done
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
# The system's folders, however they are spelled.
short=$(wine "$bin/scm_driver.exe" short 'C:\Program Files' 2>/dev/null | tr -d '\r')
[ -n "$short" ] && [ "$short" != 'C:\Program Files' ] || fail "no short name for C:\\Program Files: $short"
qvl refused-short 2 install "$short"
says refused-short "will not be the service's folder: it is a system folder that others share"
qvl refused-long 2 install '\\?\C:\windows\system32'
says refused-long "will not be the service's folder: it is the Windows folder or inside it"
for f in 'C:\users' 'C:\ProgramData' 'C:\users\Public' 'C:\users\Default' 'C:\Program Files\Common Files'; do
    qvl refused-shared 2 install "$f"
    says refused-shared "will not be the service's folder: it is a system folder that others share"
done

# Each thing planted is named, with its owner and when it was written; nothing is changed.
before=$(cd "$planted" && ls -la --time-style=+%s)
qvl planted 2 install 'C:\QVL Planted'
says planted "found: C:\\QVL Planted\\version.dll: owned by S-1-5-21-" "a program loads such a file from its own folder" \
    "found: C:\\QVL Planted\\ZARNQVL.EXE.local: owned by" "found: C:\\QVL Planted\\notes.txt: owned by" \
    "fail: C:\\QVL Planted\\notes.txt: a file with 2 names (hard links)" \
    "fail: links and files with more than one name are never followed or copied"
[ "$before" = "$(cd "$planted" && ls -la --time-style=+%s)" ] || fail "a refused install changed the folder"
installed && fail "a refused install made a service"
qvl planted-link 2 install 'C:\QVL Planted' --keep-existing
says planted-link "fail: links and files with more than one name are never followed or copied"
rm "$planted/notes.txt"
# An open folder is copied from: what the service runs and, with --keep-existing, the other
# files, each from the handle it was judged through, into a folder made locked beside it. Wine
# shows that one open too, so it is taken back, no service is made, and the open folder is as it was.
before=$(cd "$planted" && ls -lai --time-style=+%s | grep -v " \.\.$")
qvl copied-not-closed 1 install 'C:\QVL Planted' --keep-existing
says copied-not-closed "step: C:\\QVL Planted is open to users, or may have been: it is copied from, never run from" \
    "warn: --keep-existing copies files a program loads" "note: C:\\QVL Planted\\ZARNQVL.EXE.local is a folder" \
    "step: made C:\\QVL Planted.qvl-new, locked from the start" \
    "step: copied C:\\QVL Planted\\qvlsvce.exe into C:\\QVL Planted.qvl-new" \
    "step: copied C:\\QVL Planted\\ZARNQVL.EXE into C:\\QVL Planted.qvl-new" \
    "step: copied C:\\QVL Planted\\version.dll into C:\\QVL Planted.qvl-new" \
    "fail: C:\\QVL Planted.qvl-new: owned by S-1-5-21-" "no service was made" \
    "step: removed C:\\QVL Planted.qvl-new, which it had made"
[ "$before" = "$(cd "$planted" && ls -lai --time-style=+%s | grep -v " \.\.$")" ] || fail "the open folder copied from was changed"
[ -e "$drive/QVL Planted.qvl-new" ] && fail "the folder made and not closed stayed"
installed && fail "an install whose folder did not read back closed made a service"
# A folder not there yet is made locked, with the executables beside qvl.exe; here it too reads
# back open, and goes.
qvl made-not-closed 1 install 'C:\QVL Unmade'
says made-not-closed "step: made C:\\QVL Unmade, locked from the start" \
    "step: copied C:\\QVL Test\\qvlsvce.exe into C:\\QVL Unmade" "step: copied C:\\QVL Test\\qvl.exe into C:\\QVL Unmade" \
    "no service was made" "step: removed C:\\QVL Unmade, which it had made"
[ -e "$unmade" ] && fail "the folder made and not closed stayed"
installed && fail "an install whose folder did not read back closed made a service"

qvl install 0 install --no-lock
says install "warn: --no-lock: these ways into the service stay open" \
    "step: created QVLService: \"C:\\QVL Test\\qvlsvce.exe\", own process, interactive, LocalSystem, demand start" \
    "open: C:\\QVL Test: owned by S-1-5-21-" "open: C:\\: owned by" "ok: "
reported=$(config)
echo "$reported" | sed 's/^/    /'
for line in 'binary "C:\QVL Test\qvlsvce.exe"' 'type 0x110' 'start 3' 'account LocalSystem' 'display QVL Service'; do
    grep -qxF -- "$line" <<<"$reported" || fail "the service manager does not report: $line"
done
qvl again 0 install --auto --no-lock
says again "step: re-applied QVLService" "automatic start"
config | grep -qxF 'start 2' || fail "the second install did not make it automatic"
# Recovery reaches the manager: Wine 8's takes the actions, refuses their flag (87) and keeps
# none, so what is proven here is the wiring; what each Windows keeps is proven natively.
qvl recovery 0 install --auto --no-lock --restart-on-failure 60
says recovery "step: recovery of QVLService: every failure: restart after 60 s" \
    "warn: the service manager refused the failure-actions flag (error 87)"
qvl other-path 2 install 'C:\QVL Other' --no-lock
says other-path "fail: a service QVLService already runs C:\\QVL Test\\qvlsvce.exe"
# Two services never share a folder: the host's files are per folder.
qvl shared-folder 2 install --no-lock --name QVLFresh
says shared-folder "fail: the service QVLService already runs from C:\\QVL Test: QVLFresh would share its files"
# --program into a folder that stays: made anew under a name of its own, then renamed over the
# program that was there.
echo "an older program" >"$other/ZARNQVL.EXE"
qvl program-for-existing 0 install 'C:\QVL Other' --no-lock --name QVLOther --program 'C:\QVL Test\ZARNQVL.EXE'
says program-for-existing "step: copied C:\\QVL Test\\ZARNQVL.EXE into C:\\QVL Other, made anew and renamed over ZARNQVL.EXE"
cmp -s "$dir/ZARNQVL.EXE" "$other/ZARNQVL.EXE" || fail "--program did not replace the program in a folder that stays"
[ -e "$other/ZARNQVL.EXE.qvl-new" ] && fail "the program's temporary name stayed"
qvl uninstall-other 0 uninstall --name QVLOther

# The easy way: a folder not there yet, made with the executables beside qvl.exe and the program
# given; a second service beside the first, with a display name of its own.
qvl fresh 0 install 'C:\QVL Fresh' --no-lock --name QVLFresh --program 'C:\QVL Test\ZARNQVL.EXE'
says fresh "step: made C:\\QVL Fresh, locked from the start" "step: copied C:\\QVL Test\\qvlsvce.exe into C:\\QVL Fresh" \
    "step: copied C:\\QVL Test\\ZARNQVL.EXE into C:\\QVL Fresh" "ok: QVLFresh installed" "qvl start --name QVLFresh"
for f in qvlsvce.exe qvl.exe ZARNQVL.EXE; do cmp -s "$dir/$f" "$fresh/$f" || fail "$f was not copied into the new folder"; done
config QVLFresh | grep -qxF 'display QVL Service (QVLFresh)' || fail "the second service has no display name of its own"
installed QVLService || fail "the first service went when the second was made"

qvl start 0 start
says start "START_PENDING" "ok: QVLService running"
prom="$bin/install-test/qvl.prom"
qvl check-running 0 check --prom "$(winepath -w "$prom")"
says check-running "QVL OK - QVLService running, heartbeat " "| heartbeat_age="
grep -q '^qvl_check_result{service="QVLService"} 0$' "$prom" || fail "the Prometheus file does not say OK"
ls "$bin/install-test" | grep -q '\.tmp$' && fail "the Prometheus file's temporary was left"
qvl check-bad-argument 3 check -w abc
tr -d '\r' <"$bin/install-test/check-bad-argument" | head -n 1 | grep -qF 'QVL UNKNOWN - -w takes whole seconds, not "abc"' ||
    fail "check with a bad argument did not say UNKNOWN first"
qvl audit 1 audit
says audit "finding: C:\\QVL Test: owned by S-1-5-21-" "finding: C:\\QVL Test\\ZARNQVL.ADR:" \
    "finding: C:\\QVL Test\\qvlsvce.exe:" "finding: C:\\QVL Test (files made in it later" \
    "findings: a user who is not an administrator could take QVLService over" \
    "note: recovery: none: this system's service manager keeps no failure actions"
tr -d '\r' <"$bin/install-test/audit" | grep -q '^finding: service' && fail "audit found fault with the service it installed"
tr -d '\r' <"$bin/install-test/audit" | grep -q '^fail:' && fail "audit could not read everything"

qvl stop-timeout 1 stop --timeout 2
says stop-timeout "timeout: QVLService is still STOP_PENDING after 2 s; the stop goes on"
qvl stop 0 stop --remember
says stop "STOP_PENDING" "ok: QVLService stopped"
[ -f "$dir/qvl-was-running" ] && fail "a stop of a service already stopping noted it as running"
qvl check-stopped 2 check
says check-stopped "QVL CRITICAL - QVLService is not running (STOPPED) |"
qvl status-stopped 1 status
says status-stopped "service     QVLService STOPPED; it last ended on request"
qvl uninstall 0 uninstall
says uninstall "ok: QVLService is already stopped" "ok: QVLService deleted"
installed && fail "QVLService is still installed"
qvl check-gone 2 check
says check-gone "QVL CRITICAL - QVLService is not installed"
[ -f "$dir/ZARNQVL.ERR" ] && grep -q "QVL Service stopped" "$dir/ZARNQVL.ERR" || fail "the log did not stay"
[ -f "$dir/qvlsvce.exe" ] || fail "the folder did not stay"
# A service whose program is not there: --if-ready leaves it, a start runs the host, whose launch
# fails; how it ended is kept by the manager, and status and check say it.
rm "$fresh/ZARNQVL.EXE"
qvl start-not-ready 0 start --name QVLFresh --if-ready
says start-not-ready "warn: QVLFresh is not started: there is no ZARNQVL.EXE in C:\\QVL Fresh yet"
qvl start-no-program 1 start --name QVLFresh
qvl stop-no-program 0 stop --name QVLFresh   # waits out the stop the failed launch began
qvl status-no-program 1 status 'C:\QVL Fresh' --name QVLFresh
says status-no-program "service     QVLFresh STOPPED; it last ended on a failure: the launch of ZARNQVL.EXE failed: error 2"
qvl check-no-program 2 check 'C:\QVL Fresh' --name QVLFresh
says check-no-program "QVL CRITICAL - QVLFresh is not running (STOPPED): it ended on a failure: the launch of ZARNQVL.EXE failed: error 2 |"
qvl uninstall-fresh 0 uninstall --name QVLFresh
says uninstall-fresh "ok: QVLFresh deleted"
installed QVLFresh && fail "QVLFresh is still installed"
qvl restore-gone 2 uninstall --restore
says restore-gone 'qvl uninstall: unknown option "--restore"'
echo "qvl: $failures failures"
[ "$failures" = 0 ]
