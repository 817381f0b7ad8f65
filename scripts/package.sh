#!/usr/bin/env bash
# Builds dist/qvlsvce-VERSION-win64.zip: qvlsvce.exe, qvlstat.exe, qvlrun.exe, install.cmd,
# uninstall.cmd, the stand-in program as a sample, the docs, the operator's README and SHA256SUMS.
# Usage: scripts/package.sh [BUILD_DIR]
# (an existing Windows build to package; by default build/win, built here).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-}
if [ -z "$bin" ]; then
    scripts/install-deps.sh >&2
    bin=build/win
    cmake -S . -B "$bin" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$bin" -j"$(nproc)" --target qvlsvce qvlstat qvlrun zarnqvl >/dev/null
fi
version=$(sed -n 's/^project(qvlsvce VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=qvlsvce-$version-win64
stage=$(mktemp -d)/$name
mkdir -p "$stage/sample" "$stage/docs" dist
cp "$bin/qvlsvce.exe" "$bin/qvlstat.exe" "$bin/qvlrun.exe" "$stage/"
cp "$bin/ZARNQVL.EXE" "$stage/sample/"
cp standin/README.md "$stage/sample/README.md"
cp docs/operators.md docs/reliability.md docs/protocol.md docs/timeline.svg "$stage/docs/"
cp package/README.md "$stage/README.md"
for cmd in install.cmd uninstall.cmd; do
    sed 's/\r*$/\r/' "package/$cmd" >"$stage/$cmd"   # Windows line ends
done
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
rm -f "dist/$name.zip"
(cd "$(dirname "$stage")" && zip -qrX "$OLDPWD/dist/$name.zip" "$name")
echo "dist/$name.zip"
