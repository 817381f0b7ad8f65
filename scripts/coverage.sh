#!/bin/sh
# gcc's line coverage of qvl's verbs by the native tests on the simulated Windows: builds
# build/coverage with QVL_COVERAGE=ON, runs the tests, and prints one line per verb's file.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/coverage"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQVL_COVERAGE=ON >/dev/null
cmake --build "$build" -j2 --target winsim_test install_test audit_test control_test >/dev/null
find "$build" -name '*.gcda' -delete
for t in winsim_test install_test audit_test control_test; do "$build/tests/$t" >/dev/null; done
objects="$build/tests/CMakeFiles/qvlverbs.dir$root/tools/qvl"
cd "$build"
for file in install audit access control; do
    gcov -n -o "$objects" "$root/tools/qvl/$file.cpp" 2>/dev/null |
        awk -v f="$file.cpp" '$0 ~ "File .*/" f "'"'"'" {hit=1; next} hit && /Lines executed/ {print f ": " $0; exit}'
done
