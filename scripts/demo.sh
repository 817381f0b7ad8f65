#!/usr/bin/env bash
# Shows one whole service run: builds qvlsvce.exe and the stand-in program, installs them as the
# service QVLService in a throwaway Wine prefix, starts it, prints each state as it changes,
# stops it after a short while, and prints the log. Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
cmake --build build/win -j"$(nproc)" --target qvlsvce zarnqvl scm_driver >/dev/null
echo "qvlsvce.exe runs as QVLService beside the stand-in ZARNQVL.EXE; a stop is requested after 15 s."
exec tests/wine/scenario.sh normal "$PWD/build/win" --show
