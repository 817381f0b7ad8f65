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

# Sanitized: AddressSanitizer with UndefinedBehaviorSanitizer for every native test, and
# ThreadSanitizer for the tests that run two threads. Any report fails its test.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQVL_SANITIZE=address,undefined
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/asan --output-on-failure -j"$jobs"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DQVL_SANITIZE=thread
cmake --build build/tsan -j"$jobs" --target log_test service_test
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -R 'log_test|service_test'

# The status file's fuzz target, for a bounded time from the committed seeds; a crash fails.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DQVL_FUZZ=ON
cmake --build build/fuzz -j"$jobs" --target status_fuzz
mkdir -p build/fuzz/corpus
build/fuzz/tests/status_fuzz -max_total_time="${QVL_FUZZ_SECONDS:-60}" -print_final_stats=1 \
    "$PWD/build/fuzz/corpus" "$PWD/tests/fuzz/corpus"

# Both Windows architectures from one tree. The 32-bit build makes the shipped executables only:
# nothing 32-bit runs here, so it is proven by its compiler, linker and headers, and by the
# package test's checks of its executables; the 64-bit build runs every test under Wine.
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build/win32 -j"$jobs"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build/win -j"$jobs"
# One at a time: the scenarios share one Wine session and its service control manager.
ctest --test-dir build/win --output-on-failure
echo "Both packages' executables, as the package test checked them:"
cat build/win/package-test/shipped.txt
