#!/usr/bin/env bash
# Line coverage of src/ by the test suite, with gcov and lcov: how much of the code the tests
# reach, so that tests can be merged or dropped without losing what they guard.
#   scripts/coverage.sh [CTEST-ARGS...]
# builds the coverage preset (build/coverage), runs ctest with the given arguments (all tests by
# default), and prints the share of src/ lines run, in all and per folder. The lcov report is
# left in build/coverage/coverage.info (genhtml turns it into pages).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}" lcov

build=build/coverage
cmake -S . --preset coverage >/dev/null
cmake --build "$build" -j "$(nproc)"
# Counters of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure "$@" || echo "coverage: some tests failed; the figure counts what ran" >&2

lcov --quiet --capture --directory "$build" --output-file "$build/all.info" \
     --rc lcov_branch_coverage=0 2>/dev/null
lcov --quiet --extract "$build/all.info" "$PWD/src/*" --output-file "$build/coverage.info" 2>/dev/null

# lcov's records: SF: starts a source file, LH:/LF: are its lines hit and found.
awk -v root="$PWD/src/" '
    /^SF:/ { file = substr($0, 4); sub(root, "", file); split(file, p, "/"); dir = p[1] }
    /^LH:/ { hit[dir] += substr($0, 4); allHit += substr($0, 4) }
    /^LF:/ { found[dir] += substr($0, 4); allFound += substr($0, 4) }
    END {
        for (d in found) printf "  src/%-12s %6.2f %%  (%d of %d lines)\n", d, 100 * hit[d] / found[d], hit[d], found[d] | "sort"
        close("sort")
        printf "src/ line coverage: %.2f %% (%d of %d lines)\n", 100 * allHit / allFound, allHit, allFound
    }' "$build/coverage.info"
