#!/bin/sh
# gcc's line coverage of qvl's verbs by the native tests on the simulated Windows: builds
# build/coverage with QVL_COVERAGE=ON, runs the tests (their failures are said, not fatal), and
# prints one line per verb's file.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/coverage"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQVL_COVERAGE=ON >/dev/null
cmake --build "$build" -j2 --target winsim_test install_test audit_test control_test failures_test born_test >/dev/null
find "$build" -name '*.gcda' -delete
for t in winsim_test install_test audit_test control_test failures_test born_test; do
    "$build/tests/$t" >/dev/null 2>&1 || echo "$t failed: coverage counts what ran"
done
objects="$build/CMakeFiles/qvlverbs.dir/tools/qvl"
cd "$build"
for file in install audit access control; do
    gcov -n "$objects/$file.cpp.gcda" 2>/dev/null | grep -A1 "tools/qvl/$file.cpp'" | tail -1 | sed "s|^|$file.cpp: |"
done
