#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make googletest)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"
