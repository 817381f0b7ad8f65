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
for f in qvlsvce.exe qvlstat.exe install.cmd uninstall.cmd sample/ZARNQVL.EXE docs/operators.md; do
    [ -f "$pkg/$f" ] || { echo "FAIL: $f missing from the package"; exit 1; }
done
grep -q $'\r$' "$pkg/install.cmd" || { echo "FAIL: install.cmd without Windows line ends"; exit 1; }
# The packaged programs, not the build's, go into the scenario's folder.
mkdir -p "$unpacked/exe"
cp "$pkg/qvlsvce.exe" "$pkg/sample/ZARNQVL.EXE" "$unpacked/exe/"
QVL_EXE_DIR="$unpacked/exe" "$top/tests/wine/scenario.sh" normal "$bin"
