#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build's and tests' needs is missing. Not
# wine32: where 32-bit code cannot run, Wine with it runs nothing at all, so scripts/wine32.sh
# looks first and installs it only where it can run. python3-samba is the independent access
# check the judgment of access lists is held to (tests/security/differential.py); it lands in
# Debian's own /usr/bin/python3, which the test calls by that path.
set -euo pipefail
packages=(cmake g++ make googletest clang libclang-rt-14-dev
          g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          g++-mingw-w64-i686 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          binutils-mingw-w64-i686 mingw-w64-i686-dev
          wine wine64 util-linux procps zip unzip wixl msitools osslsigncode openssl
          python3-samba)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get update
    # With recommends, as the Wine these tests were proven with was installed.
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
