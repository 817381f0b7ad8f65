#!/usr/bin/env bash
# Signing, with a throwaway code-signing certificate made here: scripts/package.sh signs every
# shipped executable and both installer packages; osslsigncode accepts each signature against
# that certificate, rejects a file with one byte changed after signing, and the signed
# executables keep within their budgets and allow-lists. Nothing here runs under Wine.
# Usage: sign-test.sh WIN64_BUILD_DIR WIN32_BUILD_DIR
set -uo pipefail
bin64=$(cd "$1" && pwd) bin32=$(cd "$2" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
work="$bin64/sign-test"
rm -rf "$work" && mkdir -p "$work/dist"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=QVL test signer" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || { echo "FAIL: no certificate"; exit 1; }
echo "throwaway" >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "file:$work/password" \
    -out "$work/signer.pfx" 2>/dev/null || { echo "FAIL: no PFX"; exit 1; }
QVL_DIST="$work/dist" QVL_SIGN_PFX="$work/signer.pfx" QVL_SIGN_PASSWORD_FILE="$work/password" \
    "$top/scripts/package.sh" "$bin64" "$bin32" >"$work/made.txt" 2>"$work/said.txt" || { cat "$work/said.txt"; exit 1; }
grep -q "signing with" "$work/said.txt" || fail "package.sh did not say it signs"
(cd "$work/dist" && sha256sum --quiet -c SHA256SUMS) || fail "dist/SHA256SUMS does not match"
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.txt" 2>&1; }
signed=0
for zip in "$work"/dist/*.zip; do
    unzip -q "$zip" -d "$work/unpacked"
done
while IFS= read -r -d '' f; do
    verify "$f" && signed=$((signed + 1)) || fail "$f does not verify: $(tail -n 2 "$work/verify.txt")"
done < <(find "$work/unpacked" "$work/dist" \( -iname '*.exe' -o -name '*.msi' \) -print0)
[ "$signed" = 8 ] || fail "$signed signed files verified, not 8 (three executables per zip, two packages)"
for pkg in "$work"/unpacked/*/; do
    arch=${pkg%/} arch=${arch##*-}
    "$top/tests/wine/check-shipped.sh" "$pkg" "$arch" >"$work/shipped-$arch.txt" || { cat "$work/shipped-$arch.txt"; fail "a signed $arch executable broke its budget or allow-list"; }
done
# A byte changed after signing, in the code and in the installer's stream of files.
for f in "$work"/unpacked/*-win64/qvlsvce.exe "$work"/dist/*-win32.msi; do
    cp "$f" "$work/changed"
    printf '\x5a' | dd of="$work/changed" bs=1 seek=2000 conv=notrunc 2>/dev/null
    verify "$work/changed" && fail "$(basename "$f") with a byte changed still verifies"
done
QVL_DIST="$work/unsigned" "$top/scripts/package.sh" "$bin64" "$bin32" >/dev/null 2>"$work/unsigned.txt"
grep -q "unsigned build" "$work/unsigned.txt" || fail "an unsigned build does not say so"
echo "signing: $signed files signed and verified; $failures failures"
[ "$failures" = 0 ]
