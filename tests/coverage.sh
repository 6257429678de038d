#!/usr/bin/env bash
# Line coverage of src/ by the whole test suite: builds with -DCDMG_COVERAGE=ON
# in build-coverage, runs every test, and prints gcov's summary per file.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-coverage -DCDMG_COVERAGE=ON -DCDMG_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
# Counters of an earlier build would clash with the new objects: clear
# them before the build, whose test discovery already runs the tests.
find build-coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --build build-coverage -j2 >/dev/null
find build-coverage -name '*.gcda' -delete
ctest --test-dir build-coverage -j2 -LE long >/dev/null || true
for data in build-coverage/CMakeFiles/cdmg.dir/src/*.gcda; do
  gcov -n "$data" 2>/dev/null | awk '
    /^File .*\/src\// {file = $2; next}
    file != "" && /Lines executed/ {print file, $2, $3, $4; file = ""}'
done
