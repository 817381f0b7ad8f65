#!/usr/bin/env bash
# Installs what is missing, builds the native and the Windows side, and runs every test: the
# native suite on the simulated platform, then the Windows programs under Wine, the service
# scenarios under Wine's service control manager included. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build/win -j"$jobs"
# One at a time: the scenarios share one Wine session and its service control manager.
ctest --test-dir build/win --output-on-failure
