#!/usr/bin/env bash
# Installs what is missing, builds the native and the Windows side, and runs every test: the
# native suite on the simulated platform, then the Windows programs under Wine, the service
# scenarios under Wine's service control manager included, for the 64-bit build and, where this
# machine runs 32-bit programs, for the 32-bit build too. Its last lines say which ran.
# Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# 32-bit Wine only where 32-bit code runs: elsewhere installing it would break Wine altogether.
if said32=$(scripts/wine32.sh); then run32=ON; else run32=OFF; fi
echo "$said32"

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

# Both Windows architectures from one tree. The 32-bit build makes its tests only where they can
# run; each build's Wine suite runs in a prefix of its own, one after the other, one test at a
# time: the scenarios share one Wine session and its service control manager.
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQVL_TEST_32BIT=$run32
cmake --build build/win32 -j"$jobs"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build/win -j"$jobs"
win64=passed win32=${said32#*: }
ctest --test-dir build/win --output-on-failure || win64=FAILED
if [ "$run32" = ON ]; then
    win32=passed
    ctest --test-dir build/win32 --output-on-failure || win32=FAILED
fi
echo "Both packages' executables, as the package test checked them:"
cat build/win/package-test/shipped.txt
echo "Windows tests, 64-bit build (under Wine): $win64"
echo "Windows tests, 32-bit build (under 32-bit Wine): $win32"
[ "$win64" = passed ] && [ "$win32" != FAILED ]
