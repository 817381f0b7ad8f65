#!/usr/bin/env bash
# Packages both Windows builds, unpacks each zip, checks its sums, its files and every executable
# in it for its architecture; then runs the 64-bit package under Wine: the packaged qvlsvce.exe
# through the normal scenario, and a newcomer's install, start and uninstall with the packaged
# qvl.exe. Nothing 32-bit runs here: the 32-bit package is built and checked, never run.
# Usage: package-test.sh WIN64_BUILD_DIR WIN32_BUILD_DIR
# What the checks found is kept in package-test/shipped.txt for the test command to show.
set -euo pipefail
bin=$(cd "$1" && pwd) bin32=$(cd "$2" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
unpacked="$bin/package-test"
rm -rf "$unpacked"
mkdir -p "$unpacked"
mapfile -t zips < <("$top/scripts/package.sh" "$bin" "$bin32")
[ ${#zips[@]} = 2 ] || { echo "FAIL: package.sh made ${#zips[@]} zips, not 2"; exit 1; }
for zip in "${zips[@]}"; do
    unzip -q "$top/$zip" -d "$unpacked"
    pkg=$unpacked/$(basename "$zip" .zip) arch=${zip%.zip} arch=${arch##*-}
    (cd "$pkg" && sha256sum --quiet -c SHA256SUMS)
    "$top/tests/wine/check-shipped.sh" "$pkg" "$arch" | tee -a "$unpacked/shipped.txt"
    for f in qvlsvce.exe qvl.exe README.md sample/ZARNQVL.EXE sample/README.md docs/operators.md; do
        [ -f "$pkg/$f" ] || { echo "FAIL: $f missing from $zip"; exit 1; }
    done
    bits=${arch#win}
    grep -q "This is the $bits-bit build" "$pkg/README.md" || { echo "FAIL: $zip's README does not name its build"; exit 1; }
done
pkg=$(echo "$unpacked"/qvlsvce-*-win64)
# The packaged programs, not the build's, go into the scenario's folder.
mkdir -p "$unpacked/exe"
cp "$pkg/qvlsvce.exe" "$pkg/sample/ZARNQVL.EXE" "$unpacked/exe/"
QVL_EXE_DIR="$unpacked/exe" "$top/tests/wine/scenario.sh" normal "$bin"

# As a newcomer would: the sample beside the host, then qvl install, start and uninstall, each
# run from the package's folder, which is qvl's folder by default.
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cp "$pkg/sample/ZARNQVL.EXE" "$pkg/"
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c "ping -n 300 127.0.0.1 >nul" >/dev/null 2>&1 &   # keeps Wine's services up throughout
for verb in install start uninstall; do
    status=0
    wine "$pkg/qvl.exe" $verb >"$unpacked/$verb.txt" 2>&1 || status=$?
    tr -d '\r' <"$unpacked/$verb.txt" | grep -E '^[a-z]+:' || true
    [ "$status" = 0 ] || { echo "FAIL: qvl $verb exited $status"; exit 1; }
done
cut -c31- "$pkg/ZARNQVL.ERR" | tr -d '\r' >"$unpacked/messages.txt"
printf '%s\n' "Starting QVL service QVLService" "QVL Service started" "Stop request received" \
    "QVL Service stopped" | diff - "$unpacked/messages.txt" || { echo "FAIL: log after install, start, uninstall"; exit 1; }
wine sc query QVLService >/dev/null 2>&1 && { echo "FAIL: QVLService still installed"; exit 1; }
echo "installed, started and removed with the package's own qvl.exe"
