#!/usr/bin/env bash
# Packages the Windows build, unpacks the zip, checks its sums, and runs the packaged
# qvlsvce.exe through the normal scenario under Wine. Usage: package-test.sh BUILD_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
zip=$("$top/scripts/package.sh" "$bin")
unpacked="$bin/package-test"
rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "$top/$zip" -d "$unpacked"
pkg=$(echo "$unpacked"/qvlsvce-*-win64)
(cd "$pkg" && sha256sum --quiet -c SHA256SUMS)
"$top/tests/wine/check-shipped.sh" "$pkg"
for f in qvlsvce.exe qvlstat.exe qvlrun.exe README.md install.cmd uninstall.cmd sample/ZARNQVL.EXE docs/operators.md; do
    [ -f "$pkg/$f" ] || { echo "FAIL: $f missing from the package"; exit 1; }
done
grep -q $'\r$' "$pkg/install.cmd" || { echo "FAIL: install.cmd without Windows line ends"; exit 1; }
# The packaged programs, not the build's, go into the scenario's folder.
mkdir -p "$unpacked/exe"
cp "$pkg/qvlsvce.exe" "$pkg/sample/ZARNQVL.EXE" "$unpacked/exe/"
QVL_EXE_DIR="$unpacked/exe" "$top/tests/wine/scenario.sh" normal "$bin"

# As a newcomer would: the sample beside the host, install.cmd, sc start, uninstall.cmd.
export WINEPREFIX=${WINEPREFIX:-$bin/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cp "$pkg/sample/ZARNQVL.EXE" "$pkg/"
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
win=$(wine winepath.exe -w "$pkg" 2>/dev/null | tr -d '\r')
wine cmd /c "$win\\install.cmd" | tr -d '\r'
wine sc start QVLService >/dev/null
for _ in $(seq 30); do
    sleep 1
    wine sc query QVLService | tr -d '\r' | grep -q 'STATE *: 4' && break
done
wine sc query QVLService | tr -d '\r' | grep -q 'STATE *: 4' || { echo "FAIL: never running"; exit 1; }
wine cmd /c "$win\\uninstall.cmd" | tr -d '\r'
for _ in $(seq 30); do
    sleep 1
    grep -q 'QVL Service stopped' "$pkg/ZARNQVL.ERR" 2>/dev/null && break
done
cut -c31- "$pkg/ZARNQVL.ERR" | tr -d '\r' >"$unpacked/messages.txt"
printf '%s\n' "Starting QVL service QVLService" "QVL Service started" "Stop request received" \
    "QVL Service stopped" | diff - "$unpacked/messages.txt" || { echo "FAIL: log after install, start, uninstall"; exit 1; }
wine sc query QVLService >/dev/null 2>&1 && { echo "FAIL: QVLService still installed"; exit 1; }
echo "installed, started and removed with the package's own scripts"
