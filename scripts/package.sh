#!/usr/bin/env bash
# Builds one release package per architecture, dist/qvlsvce-VERSION-win64.zip and -win32.zip,
# each whole on its own: qvlsvce.exe, qvl.exe, the stand-in program as a sample, the docs, the
# operator's README for that build and SHA256SUMS. Prints the two zips' paths.
# Usage: scripts/package.sh [WIN64_BUILD_DIR [WIN32_BUILD_DIR]]
# (existing Windows builds to package; those not given are built here, under build/).
set -euo pipefail
cd "$(dirname "$0")/.."
win64=${1:-} win32=${2:-}
build() {
    cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$1" -j"$(nproc)" --target qvlsvce qvl zarnqvl >/dev/null
}
[ -n "$win64" ] && [ -n "$win32" ] || scripts/install-deps.sh >&2
[ -n "$win64" ] || { win64=build/win; build "$win64" mingw-w64.cmake; }
[ -n "$win32" ] || { win32=build/win32; build "$win32" mingw-w64-i686.cmake; }
version=$(sed -n 's/^project(qvlsvce VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist
for arch in win64 win32; do
    if [ "$arch" = win64 ]; then
        bin=$win64 build="64-bit" windows="64-bit Windows (x64), Windows XP Professional x64 Edition and Server 2003 x64 or later"
    else
        bin=$win32 build="32-bit" windows="32-bit Windows (x86), Windows XP or later"
    fi
    name=qvlsvce-$version-$arch
    stage=$(mktemp -d)/$name
    mkdir -p "$stage/sample" "$stage/docs"
    cp "$bin/qvlsvce.exe" "$bin/qvl.exe" "$stage/"
    cp "$bin/ZARNQVL.EXE" "$stage/sample/"
    cp standin/README.md "$stage/sample/README.md"
    cp docs/operators.md docs/reliability.md docs/protocol.md docs/timeline.svg "$stage/docs/"
    sed -e "s/@BUILD@/$build/g" -e "s/@WINDOWS@/$windows/g" package/README.md >"$stage/README.md"
    (cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
    rm -f "dist/$name.zip"
    (cd "$(dirname "$stage")" && zip -qrX "$OLDPWD/dist/$name.zip" "$name")
    rm -rf "$(dirname "$stage")"
    echo "dist/$name.zip"
done
