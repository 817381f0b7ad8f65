#!/usr/bin/env bash
# Prints the figures: each shipped executable's bytes and imports and the oldest Windows they
# load on (from both release packages), the host's CPU per hour of supervision under Wine as a
# ratio to a minimal service written in C (the two measured in turns, two rounds each), the
# delay from a stop request to STOP_PENDING over 20 stops, and the instructions one running-loop
# pass costs natively (callgrind). Takes about twenty minutes. Usage: scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
dpkg -s valgrind >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y valgrind >&2
jobs=$(nproc)
bin=$PWD/build/win
cmake -S . -B "$bin" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$bin" -j"$jobs" --target qvlsvce qvl zarnqvl scm_driver minimal_service >/dev/null
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs" --target pass_bench >/dev/null

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(wine --version 2>/dev/null)"
pkg=$(mktemp -d)
zips=$(scripts/package.sh "$bin")   # a failed build stops the benchmark here
for zip in $zips; do
    unzip -q "$zip" -d "$pkg"
    arch=${zip%.zip} arch=${arch##*-}
    tests/wine/check-shipped.sh "$pkg"/qvlsvce-*-"$arch" "$arch"
done

# The host and the minimal service in turns, each run as QVLService by the long-run scenario.
minimal=$bin/bench-minimal
mkdir -p "$minimal"
cp "$bin/minimal_service.exe" "$minimal/qvlsvce.exe"
cp "$bin/ZARNQVL.EXE" "$minimal/"
per_hour() { tr -d '\r' | tee -a "$bin/bench-cpu.txt" | sed -n 's/^host CPU: .*: \([0-9]*\) ms per hour$/\1/p'; }
host=() small=()
for round in 1 2; do
    host+=("$(tests/wine/scenario.sh long-run "$bin" | per_hour)")
    small+=("$(QVL_EXE_DIR=$minimal tests/wine/scenario.sh long-run "$bin" | per_hour)")
    echo "round $round: qvlsvce.exe ${host[-1]} ms of CPU per hour, minimal C service ${small[-1]} ms per hour"
done
awk -v h="${host[*]}" -v m="${small[*]}" 'BEGIN {
    n = split(h, a, " "); split(m, b, " "); for (i = 1; i <= n; i++) { x += a[i]; y += b[i] }
    r = x / y; printf "host CPU as a ratio to the minimal C service: %.3f (limit 1.05): %s\n", r, r <= 1.05 ? "within" : "OVER"
}'
tests/wine/scenario.sh stop-delays "$bin" | grep -E 'stop request to'

count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='ServiceMain*' \
        build/release/tests/pass_bench "$1" 2>&1 | sed -n 's/.*Collected : //p'
}
small=$(count 3000) large=$(count 33000)
echo "instructions per running-loop pass, simulated platform calls included: $(( (large - small) / 30000 ))"
