#!/usr/bin/env bash
# Packages both Windows builds, unpacks each zip, checks its sums, its files and every executable
# in it for its architecture; then runs the package of ARCH (win64 or win32) under Wine: its
# qvlsvce.exe through the normal scenario, and a newcomer's install into a new folder, start and
# uninstall with its qvl.exe. Wine keeps no permissions, so the install is made with --no-lock.
# Usage: package-test.sh WIN64_BUILD_DIR WIN32_BUILD_DIR ARCH
# What the checks found is kept in package-test/shipped.txt of ARCH's build, for the test command.
set -euo pipefail
bin64=$(cd "$1" && pwd) bin32=$(cd "$2" && pwd) arch=$3
case $arch in win64) bin=$bin64 ;; win32) bin=$bin32 ;; *) echo "usage: package-test.sh WIN64 WIN32 win64|win32"; exit 2 ;; esac
top=$(cd "$(dirname "$0")/../.." && pwd)
unpacked="$bin/package-test"
rm -rf "$unpacked"
mkdir -p "$unpacked"
mapfile -t zips < <("$top/scripts/package.sh" "$bin64" "$bin32" | grep '\.zip$')
[ ${#zips[@]} = 2 ] || { echo "FAIL: package.sh made ${#zips[@]} zips, not 2"; exit 1; }
for zip in "${zips[@]}"; do
    unzip -q "$top/$zip" -d "$unpacked"
    pkg=$unpacked/$(basename "$zip" .zip) zarch=${zip%.zip} zarch=${zarch##*-}
    (cd "$pkg" && sha256sum --quiet -c SHA256SUMS)
    "$top/tests/wine/check-shipped.sh" "$pkg" "$zarch" | tee -a "$unpacked/shipped.txt"
    for f in qvlsvce.exe qvl.exe README.md sample/ZARNQVL.EXE sample/README.md docs/operators.md; do
        [ -f "$pkg/$f" ] || { echo "FAIL: $f missing from $zip"; exit 1; }
    done
    bits=${zarch#win}
    grep -q "This is the $bits-bit build" "$pkg/README.md" || { echo "FAIL: $zip's README does not name its build"; exit 1; }
done
pkg=$(echo "$unpacked"/qvlsvce-*-"$arch")
# The packaged programs, not the build's, go into the scenario's folder.
mkdir -p "$unpacked/exe"
cp "$pkg/qvlsvce.exe" "$pkg/sample/ZARNQVL.EXE" "$unpacked/exe/"
QVL_EXE_DIR="$unpacked/exe" "$top/tests/wine/scenario.sh" normal "$bin"

# As a newcomer would, by the guide's first way: a new folder made by qvl install, with the
# package's executables and its sample as the program, then start and uninstall.
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
target="$WINEPREFIX/drive_c/QVL Package"
rm -rf "$target"
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c "ping -n 300 127.0.0.1 >nul" >/dev/null 2>&1 &   # keeps Wine's services up throughout
qvl() {
    local status=0
    wine "$pkg/qvl.exe" "$@" >"$unpacked/$1.txt" 2>&1 || status=$?
    tr -d '\r' <"$unpacked/$1.txt" | grep -E '^(ok|fail|step):' || true
    [ "$status" = 0 ] || { echo "FAIL: qvl $1 exited $status"; exit 1; }
}
qvl install 'C:\QVL Package' --no-lock --program "$(winepath -w "$pkg/sample/ZARNQVL.EXE")"
qvl start
qvl uninstall
cut -c31- "$target/ZARNQVL.ERR" | tr -d '\r' >"$unpacked/messages.txt"
printf '%s\n' "Starting QVL service QVLService" "QVL Service started" "Stop request received" \
    "QVL Service stopped" | diff - "$unpacked/messages.txt" || { echo "FAIL: log after install, start, uninstall"; exit 1; }
wine sc query QVLService >/dev/null 2>&1 && { echo "FAIL: QVLService still installed"; exit 1; }
echo "$arch: installed into a new folder, started and removed with the package's own qvl.exe"
