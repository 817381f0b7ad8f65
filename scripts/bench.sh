#!/usr/bin/env bash
# Prints the host's figures: the Windows executable's size and imports, its CPU time per hour of
# supervision (a real run of a few minutes under Wine), the delay from a stop request to the
# STOP_PENDING report over 20 stops, and the instructions one running-loop pass costs natively
# (callgrind). Takes about ten minutes. Usage: scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
dpkg -s valgrind >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y valgrind >&2
jobs=$(nproc)
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs" --target qvlsvce zarnqvl scm_driver >/dev/null
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs" --target pass_bench >/dev/null

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(wine --version 2>/dev/null)"
exe=build/win/qvlsvce.exe
echo "qvlsvce.exe: $(stat -c %s "$exe") bytes; imports:" \
    $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')

tests/wine/scenario.sh long-run "$PWD/build/win" | grep -E 'host CPU|descriptors'
tests/wine/scenario.sh stop-delays "$PWD/build/win" | grep -E 'stop request to'

count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='ServiceMain*' \
        build/release/tests/pass_bench "$1" 2>&1 | sed -n 's/.*Collected : //p'
}
small=$(count 3000) large=$(count 33000)
echo "instructions per running-loop pass, simulated platform calls included: $(( (large - small) / 30000 ))"
