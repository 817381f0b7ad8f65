#!/usr/bin/env bash
# The Windows Installer package of one architecture: its tables as msiinfo reads them, then a
# walk under Wine's own msiexec. Installed into a folder with a blank through INSTALLDIR, with
# QVL_LOCK=0 (Wine keeps no permissions, so the lock cannot take there) and automatic start; the
# service's configuration read back; started beside the stand-in and checked OK; upgraded in
# place by a higher version while it runs; a lower version refused; removed by file, without
# INSTALLDIR, while the stand-in holds its stop longer than Windows Installer's own 30 s.
# Wine's msiexec differs from Windows where it matters here: it cannot start a service from
# inside its transaction (the manager answers 1055, then 1053), so the walk passes QVL_START=0
# and starts the service itself, as the upgrade's note says; its StopServices does not wait, and
# its ImagePath is unquoted, which qvl install mends.
# Usage: msi-test.sh BUILD_DIR ARCH
set -uo pipefail
bin=$(cd "$1" && pwd) arch=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
here="$top/tests/wine"
out="$bin/msi-test"
rm -rf "$out" && mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
version=$(sed -n 's/^project(qvlsvce VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
higher=${version%.*}.$((${version##*.} + 1))
msi="$out/qvlsvce-$version-$arch.msi" newer="$out/qvlsvce-$higher-$arch.msi"
"$top/scripts/msi.sh" "$arch" "$bin" "$version" "$msi" 2>"$out/wixl.txt" || { cat "$out/wixl.txt"; exit 1; }
"$top/scripts/msi.sh" "$arch" "$bin" "$higher" "$newer" 2>>"$out/wixl.txt" || { cat "$out/wixl.txt"; exit 1; }

# --- The tables.
table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r' | sort; }
has() {
    local name=$1 row=$2
    table "$name" | grep -qxF -- "$row" || fail "$name has no row: $(tr '\t' '|' <<<"$row")"
}
T=$'\t'
[ "$(stat -c %s "$msi")" -lt 204800 ] || fail "$msi is over 200 KB"
case $arch in
    win64) template="x64;1033" upgrade="{3C0B7A59-7F4E-4B55-9A8E-6A3F1D2C9E41}" ;;
    win32) template="Intel;1033" upgrade="{8D4E2F17-2B6A-4C0E-B1F3-5E7A9C3D0F62}" ;;
esac
msiinfo suminfo "$msi" | grep -qxF "Template: $template" || fail "the summary does not say $template"
has ServiceInstall "Service${T}QVLService${T}QVL Service${T}272${T}3${T}1${T}${T}${T}LocalSystem${T}${T}${T}Host${T}Runs ZARNQVL.EXE from its own folder, watches its heartbeat and stops it cooperatively."
# Stopped on install and on removal, deleted on removal, waited for.
has ServiceControl "ServiceControl${T}QVLService${T}162${T}${T}1${T}Host"
[ "$(table File | cut -f3 | sort | tr '\n' ' ')" = "qvl.exe qvlsvce.exe " ] || fail "the package holds files other than the two executables"
for row in "RememberedFolder${T}51${T}INSTALLDIR${T}[QVL_REMEMBERED_DIR]" "AutoStart${T}51${T}QVL_AUTO_OPTION${T}--auto" "NoLock${T}51${T}QVL_LOCK_OPTION${T}--no-lock" \
           "KeepExisting${T}51${T}QVL_KEEP_OPTION${T}--keep-existing" \
           "Stop${T}3090${T}qvl${T}stop --name QVLService --timeout [QVL_STOP_TIMEOUT] --remember" \
           "Install${T}3090${T}qvl${T}install \"[INSTALLDIR].\" --name QVLService [QVL_AUTO_OPTION] [QVL_LOCK_OPTION] [QVL_KEEP_OPTION]" \
           "Start${T}3090${T}qvl${T}start --name QVLService" \
           "StartAgain${T}3090${T}qvl${T}start --name QVLService --if-remembered"; do
    table CustomAction | cut -f1-4 | grep -qxF -- "$row" || fail "CustomAction has no row: $(tr '\t' '|' <<<"$row")"
done
# Each action where it must run, between InstallInitialize and InstallFinalize in this order.
order=$(table InstallExecuteSequence | sort -t"$T" -k3 -n | awk -F'\t' '{print $1 "@" $3}' |
        grep -E '^(InstallInitialize|RemoveExistingProducts|Stop|StopServices|InstallServices|Install|Start|StartAgain|InstallFinalize)@' | tr '\n' ' ')
[ "$order" = "InstallInitialize@1500 RemoveExistingProducts@1510 Stop@1890 StopServices@1900 InstallServices@5800 Install@5810 Start@6590 StartAgain@6591 InstallFinalize@6600 " ] ||
    fail "the actions are out of place: $order"
has InstallExecuteSequence "Stop${T}REMOVE~=\"ALL\"${T}1890"
has InstallExecuteSequence "StartAgain${T}QVL_OLDER AND NOT QVL_START AND NOT REMOVE~=\"ALL\"${T}6591"
has Upgrade "$upgrade${T}0.0.0${T}$version${T}${T}256${T}${T}QVL_OLDER"
has Upgrade "$upgrade${T}$version${T}${T}${T}2${T}${T}QVL_NEWER"
has LaunchCondition "NOT QVL_NEWER${T}A newer version of the QVL service host is already installed: remove it first to go back."
for p in "QVL_START_MODE${T}demand" "QVL_LOCK${T}1" "QVL_KEEP_EXISTING${T}0" "QVL_STOP_TIMEOUT${T}300"; do has Property "$p"; done
table Property | grep -q "^QVL_START$T" && fail "QVL_START has a default"
has AppSearch "QVL_REMEMBERED_DIR${T}RememberedFolder"
has InstallExecuteSequence "RememberedFolder${T}QVL_REMEMBERED_DIR AND NOT INSTALLDIR${T}990"
echo "$arch msi: $(stat -c %s "$msi") bytes; tables checked"

# --- Under Wine's msiexec.
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/run.sh" cmd /c exit 0
folder="$WINEPREFIX/drive_c/QVL MSI Test"
wine sc delete QVLService >/dev/null 2>&1
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
rm -rf "$folder" && mkdir -p "$folder"
cp "$bin/ZARNQVL.EXE" "$folder/"
printf 'hold=2000\r\n' >"$folder/ZARNQVL.CFG"
wineserver -p
wine cmd /c "ping -n 900 127.0.0.1 >nul" >/dev/null 2>&1 &
trap 'wineserver -k 2>/dev/null' EXIT
# msiexec NAME EXPECTED ARGS...: its log in msi-test/NAME.log, what qvl said in msi-test/NAME.txt.
msiexec() {
    local name=$1 expected=$2 status=0
    shift 2
    timeout 300 wine msiexec "$@" /qn /l*v "$(winepath -w "$out/$name.log")" >"$out/$name.txt" 2>&1 || status=$?
    tr -d '\r' <"$out/$name.txt" | grep -E '^(ok|fail|step|timeout|warn):' | sed 's/^/    /'
    echo "--- msiexec $*: exit status $status"
    [ "$expected" = any-failure ] && { [ "$status" != 0 ] || fail "msiexec $* succeeded"; return; }
    [ "$status" = "$expected" ] || fail "msiexec $* exited $status, not $expected"
}
qvl() { timeout 120 wine "$folder/qvl.exe" "$@" 2>&1 | tr -d '\r' >"$out/qvl-$1.txt"; }
config() { wine "$bin/scm_driver.exe" config QVLService 2>/dev/null | tr -d '\r'; }
messages() { cut -c31- "$folder/ZARNQVL.ERR" | tr -d '\r'; }

msiexec install 0 /i "$(winepath -w "$msi")" 'INSTALLDIR=C:\QVL MSI Test\' QVL_LOCK=0 QVL_START_MODE=auto
for line in 'binary "C:\QVL MSI Test\qvlsvce.exe"' 'type 0x110' 'start 2' 'account LocalSystem' 'display QVL Service'; do
    config | grep -qxF -- "$line" || fail "after the install the service manager does not report: $line"
done
for f in qvlsvce.exe qvl.exe; do cmp -s "$bin/$f" "$folder/$f" || fail "$f was not installed"; done
qvl start; grep -q "^ok: QVLService running" "$out/qvl-start.txt" || fail "the installed service did not start"
qvl check; grep -q "^QVL OK - QVLService running" "$out/qvl-check.txt" || fail "the check did not say OK: $(cat "$out/qvl-check.txt")"

# The upgrade, with the install's properties again but no INSTALLDIR: the package finds its folder.
program=$(sha256sum <"$folder/ZARNQVL.EXE") log=$(cat "$folder/ZARNQVL.ERR")
printf 'hold=35000\r\n' >"$folder/ZARNQVL.CFG"   # the program started after the upgrade holds its stop 35 s
msiexec upgrade 0 /i "$(winepath -w "$newer")" QVL_LOCK=0 QVL_START_MODE=auto QVL_START=0
[ "$(messages | tail -n 2 | tr '\n' '|')" = "Stop request received|QVL Service stopped|" ] ||
    fail "the upgrade did not stop the program cooperatively: $(messages | tail -n 3 | tr '\n' '|')"
[ -f "$folder/qvl-was-running" ] || fail "the upgrade's stop did not note that the service ran"
[ "$program" = "$(sha256sum <"$folder/ZARNQVL.EXE")" ] || fail "the upgrade changed ZARNQVL.EXE"
[ "$(head -c ${#log} "$folder/ZARNQVL.ERR")" = "$log" ] || fail "the upgrade changed the log"
for line in 'binary "C:\QVL MSI Test\qvlsvce.exe"' 'start 2'; do config | grep -qxF -- "$line" || fail "after the upgrade the service manager does not report: $line"; done
grep -q "QVL_OLDER = {" "$out/upgrade.log" || fail "the upgrade did not find the older version"
qvl start --if-remembered
grep -q "^ok: QVLService running" "$out/qvl-start.txt" || fail "the service did not run again after the upgrade"
[ -f "$folder/qvl-was-running" ] && fail "the note was not forgotten once the service ran again"

msiexec downgrade any-failure /i "$(winepath -w "$msi")"
grep -q "QVL_NEWER = {" "$out/downgrade.log" || fail "the downgrade was not refused for the newer version"
[ "$(wine sc query QVLService 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $3}')" = 4 ] || fail "the refused downgrade touched the service"

# The removal, by file and without INSTALLDIR: it waits for the stop the program holds.
started=$(date +%s)
msiexec remove 0 /x "$(winepath -w "$newer")"
took=$(( $(date +%s) - started ))
echo "    the removal took $took s"
[ "$took" -ge 30 ] || fail "the removal did not wait for the program's stop ($took s)"
[ "$(messages | tail -n 2 | tr '\n' '|')" = "Stop request received|QVL Service stopped|" ] || fail "the removal did not complete the cooperative stop"
wine sc query QVLService >/dev/null 2>&1 && fail "the service is still installed"
for f in qvlsvce.exe qvl.exe; do [ -e "$folder/$f" ] && fail "$f stayed after the removal"; done
for f in ZARNQVL.EXE ZARNQVL.ERR; do [ -e "$folder/$f" ] || fail "$f went with the removal"; done
echo "$arch msi: $failures failures"
[ "$failures" = 0 ]
