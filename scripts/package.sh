#!/usr/bin/env bash
# Builds the release packages of both architectures into dist/ (QVL_DIST to put them elsewhere):
# per architecture a zip, whole on its own (qvlsvce.exe, qvl.exe, the stand-in program as a
# sample, the docs, the operator's README for that build and SHA256SUMS), and a Windows Installer
# package; then dist/SHA256SUMS over all four. Prints the packages' paths, the zips first.
# Signing: with QVL_SIGN_PFX naming a code-signing certificate (and QVL_SIGN_PASSWORD_FILE its
# password, QVL_SIGN_TIMESTAMP a timestamp server), every shipped .exe is signed before it is
# packed and each .msi after it is built (SHA-256, with osslsigncode); without, the build says
# it is unsigned.
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
sign() {
    [ -n "${QVL_SIGN_PFX:-}" ] || return 0
    local args=(sign -pkcs12 "$QVL_SIGN_PFX" -h sha256 -n "QVL service host" -in "$1" -out "$1.signed")
    [ -z "${QVL_SIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$QVL_SIGN_PASSWORD_FILE")
    [ -z "${QVL_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$QVL_SIGN_TIMESTAMP")
    osslsigncode "${args[@]}" >/dev/null || { echo "package.sh: $1 could not be signed" >&2; exit 1; }
    mv "$1.signed" "$1"
}
if [ -n "${QVL_SIGN_PFX:-}" ]; then echo "signing with $QVL_SIGN_PFX" >&2
else echo "unsigned build: set QVL_SIGN_PFX (and QVL_SIGN_PASSWORD_FILE) to sign it" >&2; fi
mkdir -p "${QVL_DIST:-dist}"
dist=$(cd "${QVL_DIST:-dist}" && pwd) shown=${QVL_DIST:-dist}
made=()
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
    for exe in "$stage/qvlsvce.exe" "$stage/qvl.exe" "$stage/sample/ZARNQVL.EXE"; do sign "$exe"; done
    cp standin/README.md "$stage/sample/README.md"
    cp docs/operators.md docs/reliability.md docs/protocol.md docs/timeline.svg "$stage/docs/"
    sed -e "s/@BUILD@/$build/g" -e "s/@WINDOWS@/$windows/g" package/README.md >"$stage/README.md"
    (cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
    rm -f "$dist/$name.zip" "$dist/$name.msi"
    (cd "$(dirname "$stage")" && zip -qrX "$dist/$name.zip" "$name")
    # The installer packs the same, signed, executables.
    scripts/msi.sh "$arch" "$stage" "$version" "$dist/$name.msi"
    sign "$dist/$name.msi"
    rm -rf "$(dirname "$stage")"
    made+=("$name.zip" "$name.msi")
done
(cd "$dist" && sha256sum "${made[@]}" >SHA256SUMS)
printf "$shown/%s\n" "${made[@]}" | grep '\.zip$'
printf "$shown/%s\n" "${made[@]}" | grep '\.msi$'
