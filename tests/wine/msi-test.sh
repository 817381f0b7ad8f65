#!/usr/bin/env bash
# The Windows Installer package of one architecture: its tables as msiinfo reads them, then a
# fleet's life under Wine's own msiexec. Bad values refused before anything is done. A first
# install with every choice away from its default (INSTALLDIR with a blank, QVL_LOCK=0, since
# Wine keeps no permissions and the lock cannot take there; a start mode in another case) and
# QVL_START=1 before the program is there: installed, not started, exit 0. Then, each with no
# properties and each followed by a read of the start type and of what is remembered: an
# upgrade, a repair and the same package again while the service is stopped, and a rebuild of
# the same version while it runs (stopped cooperatively, started again); one product
# throughout. A lower version refused; the removal by file, with what it finds remembered made
# unusable, while the stand-in holds its stop longer than Windows Installer's own 30 s;
# QVL_PROGRAM with QVL_START=1 on a first install of its own. The vouch for the folder
# (--made-locked) is given only for a folder the package makes locked: an open folder that was
# there before is refused (the launch condition), a first install that makes its folder passes
# it, and so do an upgrade and the same package again when they remember having made that very
# folder locked (not another folder, not a word it does not know). Wine shows every folder open, so each locked
# install there fails in qvl install: what these steps prove is the command line qvl was given,
# read from the log, not the lock (proven natively).
# Wine's msiexec differs from Windows where it matters here: its StopServices does not wait, and
# its ImagePath is unquoted, which qvl install mends. A value given on its command line that ends
# in a backslash reaches msiexec with it doubled; the steps on the vouch give their folder without
# one, so that the folder remembered is compared with INSTALLDIR as resolved, not as typed. An
# action that fails ends it with 1627, not 1603. It does not roll back a
# failed upgrade, so each walk's exit status is checked where it ends. Its /f takes no package
# path (it looks the path up as a product code: 1605), so the repair is asked for as /fa asks it
# of the installer (REINSTALL=ALL REINSTALLMODE=a). Its launch conditions fail without their
# message in the log (it shows them only in a message box), so the messages are checked in the
# table. Its service manager takes the failure actions but refuses their flag, which qvl install
# says and passes. Exit statuses reach the shell as their low 8 bits (1603 as 67).
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
seconds=$(sed -n 's/^const long SECONDS_MAX = \([0-9]*\);.*/\1/p' "$top/tools/qvl/qvl.h")
higher=${version%.*}.$((${version##*.} + 1))
msi="$out/qvlsvce-$version-$arch.msi" newer="$out/qvlsvce-$higher-$arch.msi" rebuilt="$out/qvlsvce-$higher-$arch-rebuilt.msi"
for made in "$msi $version" "$newer $higher" "$rebuilt $higher"; do
    set -- $made
    "$top/scripts/msi.sh" "$arch" "$bin" "$2" "$1" 2>>"$out/wixl.txt" || { cat "$out/wixl.txt"; exit 1; }
done

# --- The tables.
table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r' | sort; }
has() {
    local name=$1 row=$2
    table "$name" | grep -qxF -- "$row" || fail "$name has no row: $(tr '\t' '|' <<<"$row")"
}
T=$'\t'
[ "$(stat -c %s "$msi")" -lt 204800 ] || fail "$msi is over 200 KB"
case $arch in
    win64) template="x64;1033" upgrade="{3C0B7A59-7F4E-4B55-9A8E-6A3F1D2C9E41}" locator=18 view=/reg:64 programs=ProgramFiles64Folder ;;
    win32) template="Intel;1033" upgrade="{8D4E2F17-2B6A-4C0E-B1F3-5E7A9C3D0F62}" locator=2 view=/reg:32 programs=ProgramFilesFolder ;;
esac
msiinfo suminfo "$msi" | grep -qxF "Template: $template" || fail "the summary does not say $template"
has ServiceInstall "Service${T}QVLService${T}QVL Service${T}272${T}3${T}1${T}${T}${T}LocalSystem${T}${T}${T}Host${T}Runs ZARNQVL.EXE from its own folder, watches its heartbeat and stops it cooperatively."
# Stopped on install and on removal, deleted on removal, waited for.
has ServiceControl "ServiceControl${T}QVLService${T}162${T}${T}1${T}Host"
[ "$(table File | cut -f3 | sort | tr '\n' ' ')" = "qvl.exe qvlsvce.exe " ] || fail "the package holds files other than the two executables"
# The folder is made with its permissions: Administrators all, Everyone read and run; no file in
# it is ever open, and no account name that a language translates.
has CreateFolder "INSTALLDIR${T}Tool"
[ "$(table LockPermissions | tr '\n' '|')" = "INSTALLDIR${T}CreateFolder${T}${T}Administrators${T}268435456|INSTALLDIR${T}CreateFolder${T}${T}Everyone${T}-1610612736|" ] ||
    fail "the folder's permissions are not the lock's: $(table LockPermissions | tr '\t\n' ' |')"
# Every action runs the package's own qvl.exe, byte for byte this build's; none a file on disk.
(cd "$out" && msiinfo extract "$msi" Binary.QvlTool >binary-qvl.exe) && cmp -s "$out/binary-qvl.exe" "$bin/qvl.exe" ||
    fail "the Binary table does not hold this build's qvl.exe"
for row in "Stop${T}3074${T}QvlTool${T}stop --name QVLService --timeout [QVL_STOP_TIMEOUT] --remember" \
           "Install${T}3074${T}QvlTool${T}install \"[INSTALLDIR].\" --name QVLService [QVL_AUTO_OPTION] [QVL_LOCK_OPTION] [QVL_KEEP_OPTION] [QVL_RECOVERY_OPTION] [QVL_PROGRAM_OPTION] [QVL_MADE_OPTION]" \
           "Start${T}3074${T}QvlTool${T}start --name QVLService --if-ready" \
           "StartAgain${T}3074${T}QvlTool${T}start --name QVLService --if-remembered" \
           "AutoStart${T}51${T}QVL_AUTO_OPTION${T}--auto" "NoLock${T}51${T}QVL_LOCK_OPTION${T}--no-lock" \
           "KeepExisting${T}51${T}QVL_KEEP_OPTION${T}--keep-existing" \
           "Recovery${T}51${T}QVL_RECOVERY_OPTION${T}--restart-on-failure [QVL_RESTART_ON_FAILURE]" \
           "Program${T}51${T}QVL_PROGRAM_OPTION${T}--program \"[QVL_PROGRAM]\"" \
           "MadeLocked${T}51${T}QVL_MADE_OPTION${T}--made-locked" \
           "ProbeGiven${T}51${T}QVL_PROBE_DIR${T}[INSTALLDIR]" "ProbeDefault${T}51${T}QVL_PROBE_DIR${T}[$programs]QVL\\"; do
    table CustomAction | cut -f1-4 | grep -qxF -- "$row" || fail "CustomAction has no row: $(tr '\t' '|' <<<"$row")"
done
# Types 18, 34 and 50 run an installed file, a file in a folder, or a path from a property.
ran=$(table CustomAction | awk -F'\t' '$2 % 64 == 18 || $2 % 64 == 34 || $2 % 64 == 50 { print $1 }' | tr '\n' ' ')
[ -z "$ran" ] || fail "actions that run an executable from outside the package: $ran"
# Each action where it must run, between InstallInitialize and InstallFinalize in this order.
order=$(table InstallExecuteSequence | sort -t"$T" -k3 -n | awk -F'\t' '{print $1 "@" $3}' |
        grep -E '^(InstallInitialize|RemoveExistingProducts|Stop|StopServices|InstallServices|Install|Start|StartAgain|InstallFinalize)@' | tr '\n' ' ')
[ "$order" = "InstallInitialize@1500 RemoveExistingProducts@1510 Stop@1890 StopServices@1900 InstallServices@5800 Install@5810 Start@6590 StartAgain@6591 InstallFinalize@6600 " ] ||
    fail "the actions are out of place: $order"
has InstallExecuteSequence "Stop${T}Installed${T}1890"
# The folder searched for as it is before anything is made, in both sequences; the vouch decided
# once INSTALLDIR is resolved and before the folder is made, only where the lock is asked for.
[ "$(table DrLocator | tr '\t' '|')" = "FolderBefore||[QVL_PROBE_DIR]|0" ] || fail "the folder is not searched for: $(table DrLocator | tr '\t\n' '| ')"
has AppSearch "QVL_FOLDER_FOUND${T}FolderBefore"
for sequence in InstallExecuteSequence InstallUISequence; do
    order=$(table $sequence | sort -t"$T" -k3 -n | awk -F'\t' '{print $1}' | grep -E '^(Probe[A-Za-z]*|AppSearch|LaunchConditions)$' | tr '\n' ' ')
    [ "$order" = "ProbeGiven ProbeDefault ProbeOfGiven AppSearch LaunchConditions " ] || fail "the folder's search is out of place in $sequence: $order"
done
order=$(table InstallExecuteSequence | sort -t"$T" -k3 -n | awk -F'\t' '{print $1}' |
        grep -E '^(CostFinalize|NotMadeLocked|MadeLockedNow|MadeLockedBefore|MadeLocked|CreateFolders)$' | tr '\n' ' ')
[ "$order" = "CostFinalize NotMadeLocked MadeLockedNow MadeLockedBefore MadeLocked CreateFolders " ] || fail "the vouch is decided out of place: $order"
for action in MadeLockedNow MadeLockedBefore; do
    table InstallExecuteSequence | awk -F'\t' -v a=$action '$1 == a { print $2 }' | grep -q '^QVL_LOCK="1" AND ' || fail "$action vouches without the lock"
done
has InstallExecuteSequence "StartAgain${T}(QVL_OLDER OR Installed) AND NOT QVL_START AND NOT REMOVE~=\"ALL\"${T}6591"
# Older versions and this one (a rebuild) are replaced; a newer one refuses this.
has Upgrade "$upgrade${T}0.0.0${T}$version${T}${T}768${T}${T}QVL_OLDER"
has Upgrade "$upgrade${T}$version${T}${T}${T}2${T}${T}QVL_NEWER"
[ "$(table Upgrade | wc -l)" = 2 ] || fail "the Upgrade table has other rows"
has LaunchCondition "NOT QVL_NEWER${T}A newer version of the QVL service host is already installed: remove it first to go back."
# Each value refused by name, with what it takes and what it was given; never at removal.
for row in "QVL_START_MODE~=\"auto\" OR QVL_START_MODE~=\"demand\"${T}QVL_START_MODE takes auto or demand" \
           "QVL_LOCK=\"1\" OR QVL_LOCK=\"0\"${T}QVL_LOCK takes 1 or 0" \
           "QVL_KEEP_EXISTING=\"0\" OR QVL_KEEP_EXISTING=\"1\"${T}QVL_KEEP_EXISTING takes 0 or 1" \
           "(QVL_STOP_TIMEOUT >= 1 AND QVL_STOP_TIMEOUT <= $seconds)${T}QVL_STOP_TIMEOUT takes whole seconds from 1 to $seconds" \
           "NOT QVL_RESTART_ON_FAILURE OR QVL_RESTART_ON_FAILURE=\"none\" OR (QVL_RESTART_ON_FAILURE >= 1 AND QVL_RESTART_ON_FAILURE <= $seconds)${T}QVL_RESTART_ON_FAILURE takes whole seconds from 1 to $seconds, or none" \
           "NOT QVL_START OR QVL_START=\"1\" OR QVL_START=\"0\"${T}QVL_START takes 1 or 0"; do
    property=${row#*$T} property=${property%% *}
    has LaunchCondition "Installed OR ${row}, not \"[$property]\"."
done
# An open folder that was there before is refused on a first install, by name, unless under the
# program files folders or installed unlocked.
table LaunchCondition | grep -qF "${T}INSTALLDIR \"[QVL_PROBE_DIR]\" is already there and this package did not make it:" ||
    fail "no launch condition names a folder that was there before"
has Property "SecureCustomProperties${T}QVL_OLDER;QVL_NEWER;INSTALLDIR;QVL_START_MODE;QVL_LOCK;QVL_KEEP_EXISTING;QVL_STOP_TIMEOUT;QVL_RESTART_ON_FAILURE;QVL_START;QVL_PROGRAM"
# No public property has a default in the table: what was not given is told from the default.
table Property | grep -E "^(QVL_[A-Z_]*|INSTALLDIR)$T" | grep -v "^QVL_REMEMBERED" && fail "public properties have defaults in the Property table"
# Each choice remembered in the registry of the package's architecture and read back.
for pair in InstallDir:INSTALLDIR StartMode:QVL_START_MODE Lock:QVL_LOCK KeepExisting:QVL_KEEP_EXISTING \
            StopTimeout:QVL_STOP_TIMEOUT RestartOnFailure:QVL_RESTART_ON_FAILURE MadeLocked:QVL_MADE_LOCKED; do
    name=${pair%%:*} property=${pair#*:}
    table Registry | cut -f2- | grep -qxF "2${T}SOFTWARE\\QVL${T}${name}${T}[$property]${T}Tool" || fail "$property is not remembered as $name"
    search=$(table RegLocator | awk -F'\t' -v n="$name" '$4 == n { print $1 "|" $2 "|" $3 "|" $5 }')
    [[ $search = *"|2|SOFTWARE\\QVL|$locator" ]] || fail "$name is not searched for in this architecture's registry: $search"
    [ "$(table AppSearch | grep -c "^QVL_REMEMBERED_[A-Z_]*$T${search%%|*}$")" = 1 ] || fail "$name is not read back by AppSearch"
done
table Registry | cut -f2- | grep -qxF "2${T}SOFTWARE\\QVL${T}Version${T}[ProductVersion]${T}Tool" || fail "the version is not written for detection"
# What is read back, checked and defaulted comes after AppSearch and before the launch
# conditions check it, in both sequences (the interface's runs first where there is one).
for sequence in InstallExecuteSequence InstallUISequence; do
    rows=$(table $sequence)
    at() { awk -F'\t' -v a="$1" '$1 == a { print $3 }' <<<"$rows"; }
    search=$(at AppSearch) launch=$(at LaunchConditions)
    [ -n "$search" ] && [ -n "$launch" ] || { fail "$sequence has no AppSearch or LaunchConditions"; continue; }
    for action in $(table CustomAction | awk -F'\t' '$1 ~ /^(Remembered|Distrust|Default|StartMode|RestartNone)/ { print $1 }'); do
        n=$(at "$action")
        [ -n "$n" ] && [ "$n" -gt "$search" ] && [ "$n" -lt "$launch" ] || fail "$action is not between AppSearch and LaunchConditions in $sequence"
    done
done
has InstallExecuteSequence "DefaultStopTimeout${T}NOT QVL_STOP_TIMEOUT OR (Installed AND NOT (QVL_STOP_TIMEOUT >= 1 AND QVL_STOP_TIMEOUT <= $seconds))${T}74"
for built in "$newer" "$rebuilt"; do
    [ "$(msiinfo export "$built" Upgrade | tr -d '\r' | grep -c "${T}$higher${T}${T}768${T}${T}QVL_OLDER")" = 1 ] ||
        fail "$(basename "$built") does not replace its own version"
done
code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
[ "$(code "$newer")" != "$(code "$rebuilt")" ] || fail "the rebuild has the same product code"
echo "$arch msi: $(stat -c %s "$msi") bytes; tables checked"

# --- Under Wine's msiexec, in a prefix of its own made anew: what an earlier run left registered
# (a product, a component's other client) would keep files and the service at a removal.
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/run.sh" cmd /c exit 0
folder="$WINEPREFIX/drive_c/QVL MSI Test"
mkdir -p "$folder"
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
    echo "--- $name: msiexec $*: exit status $status"
    [ "$status" = $((expected % 256)) ] || fail "$name: msiexec $* exited $status, not $expected"
}
said() { tr -d '\r' <"$out/$1.txt" | grep -qxF -- "$2" || fail "$1: qvl did not say: $2"; }
qvl() { timeout 120 wine "$folder/qvl.exe" "$@" 2>&1 | tr -d '\r' >"$out/qvl-$1.txt"; }
config() { wine "$bin/scm_driver.exe" config QVLService 2>/dev/null | tr -d '\r'; }
state() { wine sc query QVLService 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $3}'; }
messages() { cut -c31- "$folder/ZARNQVL.ERR" | tr -d '\r'; }
remembered() { wine reg query 'HKLM\SOFTWARE\QVL' $view 2>/dev/null | tr -d '\r' | awk '$2 == "REG_SZ" { print $1 "=" substr($0, index($0, "REG_SZ") + 10) }' | sort | tr '\n' ' '; }
products() { wine reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' | grep -c 'ProductName.*QVL service host'; }
choices="InstallDir=C:\\QVL MSI Test\\ KeepExisting=1 Lock=0 MadeLocked=0 RestartOnFailure=60 StartMode=auto StopTimeout=45"
# After each walk: one product, automatic start, the folder's qvlsvce.exe, every choice, and the
# version installed (for detection rules).
kept() {
    local installed=$higher
    [ "$1" = "the install" ] && installed=$version
    for line in 'binary "C:\QVL MSI Test\qvlsvce.exe"' 'type 0x110' 'start 2' 'account LocalSystem' 'display QVL Service'; do
        config | grep -qxF -- "$line" || fail "after $1 the service manager does not report: $line"
    done
    [ "$(remembered)" = "$choices Version=$installed " ] || fail "after $1 what is remembered is: $(remembered)"
    [ "$(products)" = 1 ] || fail "after $1 there are $(products) products installed"
}

# Refused before anything is done, each value by its property.
n=0
for value in QVL_START_MODE=sometimes QVL_LOCK=yes QVL_STOP_TIMEOUT=0 "QVL_STOP_TIMEOUT=$((seconds + 1))" \
             QVL_RESTART_ON_FAILURE=soon QVL_START=yes; do
    n=$((n + 1))
    msiexec "refused-$n" 1603 /i "$(winepath -w "$msi")" "$value"
    grep -q "LaunchConditions. Return value 0" "$out/refused-$n.log" || fail "$value was not refused by the launch conditions"
    wine sc query QVLService >/dev/null 2>&1 && fail "$value was refused after the service was made"
done

# The folder was there before (the walk made it, open): a locked first install is refused by name
# before anything is done; not one given no INSTALLDIR, which makes the default folder itself and
# vouches for it.
msiexec existing 1603 /i "$(winepath -w "$msi")" 'INSTALLDIR=C:\QVL MSI Test'
grep -q "LaunchConditions. Return value 0" "$out/existing.log" || fail "the folder that was there was not refused by the launch conditions"
grep -qF 'Property(S): QVL_FOLDER_FOUND = C:\QVL MSI Test' <(tr -d '\r' <"$out/existing.log") || fail "the folder that was there was not found"
wine sc query QVLService >/dev/null 2>&1 && fail "the folder that was there was refused after the service was made"
default='C:\Program Files\QVL\'
[ "$arch" = win32 ] && [ -d "$WINEPREFIX/drive_c/Program Files (x86)" ] && default='C:\Program Files (x86)\QVL\'
made=$(winepath -u "$default")
rm -rf "$made"
msiexec made 1627 /i "$(winepath -w "$msi")"
grep -qxF "Property(S): QVL_PROBE_DIR = $default" <(tr -d '\r' <"$out/made.log") || fail "the default folder was not searched for"
for line in "Property(S): QVL_MADE_LOCKED = 1" "Property(S): QVL_MADE_OPTION = --made-locked"; do
    grep -qxF "$line" <(tr -d '\r' <"$out/made.log") || fail "the first install that made its folder did not vouch for it: no $line"
done
grep -q "^fail: " "$out/made.txt" || fail "qvl install did not say why it failed under Wine"
wine sc query QVLService >/dev/null 2>&1 && fail "the failed install left the service"
rm -rf "$made"

# The first install: every choice away from its default, and a start asked for before the program is there.
msiexec install 0 /i "$(winepath -w "$msi")" 'INSTALLDIR=C:\QVL MSI Test\' QVL_LOCK=0 QVL_START_MODE=Auto QVL_KEEP_EXISTING=1 \
    QVL_STOP_TIMEOUT=45 QVL_RESTART_ON_FAILURE=60 QVL_START=1
kept "the install"
said install 'warn: QVLService is not started: there is no ZARNQVL.EXE in C:\QVL MSI Test yet; put it there, then qvl start'
[ "$(state)" = 1 ] || fail "the service is not stopped after a start without its program"
grep -qxF "Property(S): QVL_RECOVERY_OPTION = --restart-on-failure 60" <(tr -d '\r' <"$out/install.log") ||
    fail "the restart on failure did not reach qvl install"
said install 'step: recovery of QVLService: every failure: restart after 60 s; counted back to none after 86400 s without one; after a crash only (the failure-actions flag is off)'
for f in qvlsvce.exe qvl.exe; do cmp -s "$bin/$f" "$folder/$f" || fail "$f was not installed"; done
cp "$bin/ZARNQVL.EXE" "$folder/"
qvl start; grep -q "^ok: QVLService running" "$out/qvl-start.txt" || fail "the installed service did not start"
qvl check; grep -q "^QVL OK - QVLService running" "$out/qvl-check.txt" || fail "the check did not say OK: $(cat "$out/qvl-check.txt")"
qvl stop; grep -q "^ok: QVLService stopped" "$out/qvl-stop.txt" || fail "the service did not stop"
program=$(sha256sum <"$folder/ZARNQVL.EXE") log=$(cat "$folder/ZARNQVL.ERR")

# Upgrade, repair and the same package again, told nothing: the lock is not tried (Wine would
# fail it), the start type stays automatic, the choices stay remembered.
msiexec upgrade 0 /i "$(winepath -w "$newer")"
grep -q "QVL_OLDER = {" "$out/upgrade.log" || fail "the upgrade did not find the older version"
msiexec repair 0 /i "$(winepath -w "$newer")" REINSTALL=ALL REINSTALLMODE=a
msiexec again 0 /i "$(winepath -w "$newer")"
for walk in upgrade repair again; do
    said $walk 'warn: --no-lock: these ways into the service stay open'
    said $walk 'step: re-applied QVLService: "C:\QVL MSI Test\qvlsvce.exe", own process, interactive, LocalSystem, automatic start'
    kept "the $walk"
    grep -q "^Property(S): QVL_MADE_OPTION = " "$out/$walk.log" && fail "the $walk vouched for a folder installed unlocked"
done
# The repair and the reinstall stop what they touch cooperatively, as a removal does, with the
# remembered timeout; the remembered recovery reaches every qvl install.
for walk in repair again; do
    said $walk "ok: QVLService is already stopped"
    grep -qxF "Property(S): QVL_STOP_TIMEOUT = 45" <(tr -d '\r' <"$out/$walk.log") || fail "the $walk did not take the remembered timeout"
done
for walk in upgrade repair again; do
    grep -qxF "Property(S): QVL_RECOVERY_OPTION = --restart-on-failure 60" <(tr -d '\r' <"$out/$walk.log") ||
        fail "the remembered restart on failure did not reach the $walk's qvl install"
done
[ "$program" = "$(sha256sum <"$folder/ZARNQVL.EXE")" ] || fail "the walks changed ZARNQVL.EXE"
[ "$(head -c ${#log} "$folder/ZARNQVL.ERR")" = "$log" ] || fail "the walks changed the log"

# A rebuild of the same version over the running service replaces the product in place.
qvl start; grep -q "^ok: QVLService running" "$out/qvl-start.txt" || fail "the service did not start before the rebuild"
printf 'hold=35000\r\n' >"$folder/ZARNQVL.CFG"   # the program started after the rebuild holds its stop 35 s
before=$(messages | wc -l)
msiexec rebuild 0 /i "$(winepath -w "$rebuilt")"
grep -q "QVL_OLDER = {" "$out/rebuild.log" || fail "the rebuild did not find the product of its own version"
[ "$(messages | tail -n +$((before + 1)) | tr '\n' '|')" = "Stop request received|QVL Service stopped|Starting QVL service QVLService|QVL Service started|" ] ||
    fail "the rebuild did not stop the program cooperatively and start it again: $(messages | tail -n +$((before + 1)) | tr '\n' '|')"
said rebuild "step: noted that it was running, in C:\QVL MSI Test\qvl-was-running"
said rebuild "ok: QVLService running"
kept "the rebuild"
[ "$(state)" = 4 ] || fail "the service does not run again after the rebuild"
[ -f "$folder/qvl-was-running" ] && fail "the note was not forgotten once the service ran again"

msiexec downgrade 1603 /i "$(winepath -w "$msi")"
grep -q "QVL_NEWER = {" "$out/downgrade.log" || fail "the downgrade was not refused for the newer version"
[ "$(state)" = 4 ] || fail "the refused downgrade touched the service"

# The removal, by file and without INSTALLDIR: it waits for the stop the program holds. What it
# finds remembered has been made unusable (a timeout qvl stop refuses): named, not trusted, and
# no block on the removal, which takes the default timeout instead.
wine reg add 'HKLM\SOFTWARE\QVL' /v StopTimeout /d 0 /f $view >/dev/null 2>&1
wine reg add 'HKLM\SOFTWARE\QVL' /v StartMode /d sometimes /f $view >/dev/null 2>&1
started=$(date +%s)
msiexec remove 0 /x "$(winepath -w "$rebuilt")"
took=$(( $(date +%s) - started ))
echo "    the removal took $took s"
[ "$took" -ge 30 ] || fail "the removal did not wait for the program's stop ($took s)"
grep -qxF "Property(S): QVL_NOT_TRUSTED =  StartMode=sometimes StopTimeout=0" <(tr -d '\r' <"$out/remove.log") ||
    fail "the removal did not name what it would not trust: $(grep -a QVL_NOT_TRUSTED "$out/remove.log")"
grep -qxF "Property(S): QVL_STOP_TIMEOUT = 300" <(tr -d '\r' <"$out/remove.log") || fail "the removal did not stop with the default timeout"
[ "$(messages | tail -n 2 | tr '\n' '|')" = "Stop request received|QVL Service stopped|" ] || fail "the removal did not complete the cooperative stop"
wine sc query QVLService >/dev/null 2>&1 && fail "the service is still installed"
for f in qvlsvce.exe qvl.exe; do [ -e "$folder/$f" ] && fail "$f stayed after the removal"; done
for f in ZARNQVL.EXE ZARNQVL.ERR; do [ -e "$folder/$f" ] || fail "$f went with the removal"; done
[ -z "$(remembered)" ] || fail "the removal left what was remembered: $(remembered)"
[ "$(products)" = 0 ] || fail "the removal left $(products) products"

# QVL_PROGRAM on a first install: the program copied in byte for byte, from a path with a blank.
source="$WINEPREFIX/drive_c/QVL MSI Source" placed="$WINEPREFIX/drive_c/QVL MSI Program"
rm -rf "$source" "$placed" && mkdir -p "$source" && cp "$bin/ZARNQVL.EXE" "$source/"
msiexec program 0 /i "$(winepath -w "$msi")" 'INSTALLDIR=C:\QVL MSI Program\' QVL_LOCK=0 'QVL_PROGRAM=C:\QVL MSI Source\ZARNQVL.EXE' QVL_START=1
said program 'step: copied C:\QVL MSI Source\ZARNQVL.EXE into C:\QVL MSI Program, made anew and renamed over ZARNQVL.EXE'
said program "ok: QVLService running"
cmp -s "$bin/ZARNQVL.EXE" "$placed/ZARNQVL.EXE" || fail "QVL_PROGRAM did not put the program in the folder"
config | grep -qxF 'start 3' || fail "a first install told nothing of the start mode is not demand-start"
[ "$(state)" = 4 ] || fail "QVL_START=1 with the program in place did not leave the service running"
# What is remembered alone decides the vouch, told nothing of it. First an upgrade of the
# QVL_PROGRAM install, remembering (as a locked first install on Windows would have written) that
# the package made this folder locked: it vouches; under Wine it fails after the older product's
# removal and leaves no product and no service. Then the same package over the same memory, made
# again by hand: it vouches; remembered for another folder, or as a word it does not know, not.
[ "$(products)" = 1 ] || fail "there is no product to upgrade"
for memory in "upgrade|$newer||C:\\QVL MSI Program\\|1|--made-locked" \
              "same|$msi|C:\\QVL MSI Program|C:\\QVL MSI Program\\|1|--made-locked" \
              "other|$msi|C:\\QVL MSI Program|C:\\QVL MSI Test\\|1|" \
              "word|$msi|C:\\QVL MSI Program|C:\\QVL MSI Program\\|yes|"; do
    IFS="|" read -r name package given dir value option <<<"$memory"
    mkdir -p "$placed"   # the folder is there, as the package made it: only the memory decides
    wine reg add 'HKLM\SOFTWARE\QVL' /v Lock /d 1 /f $view >/dev/null 2>&1
    wine reg add 'HKLM\SOFTWARE\QVL' /v MadeLocked /d "$value" /f $view >/dev/null 2>&1
    wine reg add 'HKLM\SOFTWARE\QVL' /v InstallDir /d "$dir" /f $view >/dev/null 2>&1
    msiexec "vouch-$name" 1627 /i "$(winepath -w "$package")" ${given:+"INSTALLDIR=$given"}
    got=$(tr -d '\r' <"$out/vouch-$name.log" | sed -n 's/^Property(S): QVL_MADE_OPTION = //p' | tail -n 1)
    [ "$got" = "$option" ] || fail "remembered MadeLocked=$value for $dir, the $name passed \"$got\", not \"$option\""
    if [ "$name" = upgrade ]; then
        grep -q "^Property(S): QVL_OLDER = {" "$out/vouch-upgrade.log" || fail "the upgrade did not find the older version"
        [ "$(products)" = 0 ] || fail "the failed upgrade left $(products) products"
        wine sc query QVLService >/dev/null 2>&1 && fail "the failed upgrade left the service"
    fi
done
grep -qxF "Property(S): QVL_NOT_TRUSTED =  MadeLocked=yes" <(tr -d '\r' <"$out/vouch-word.log") || fail "MadeLocked=yes was not named as not trusted"
echo "$arch msi: $failures failures"
[ "$failures" = 0 ]
