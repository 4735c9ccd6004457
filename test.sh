#!/usr/bin/env bash
# Installs what is missing, builds, runs every test and a short run of each fuzz target.
#   ./test.sh           release build (-Werror), ctest, fuzz targets
#   ./test.sh --asan    also the sanitizer build's test suite
#   SORVANTO_FUZZ_SECONDS=N   seconds per fuzz target (default 30; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

asan=0
for arg in "$@"; do
    case "$arg" in
        --asan) asan=1 ;;
        *) echo "usage: $0 [--asan]" >&2; exit 2 ;;
    esac
done

svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"

jobs=$(nproc)
echo "== format"
scripts/check-format.sh
echo "== release build"
svt_build release -DSORVANTO_WERROR=ON
echo "== tests"
ctest --test-dir build/release --output-on-failure -j "$jobs"
echo "== scaling recipe (doc/Scaling.md)"
scripts/test-scaling.sh build/release

if [ "$asan" -eq 1 ]; then
    echo "== sanitizer build"
    svt_build asan -DSORVANTO_WERROR=ON
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build/asan --output-on-failure -j "$jobs"
fi

fuzz_seconds=${SORVANTO_FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== fuzz targets (${fuzz_seconds}s each)"
    svt_build fuzz
    scripts/run-fuzzers.sh build/fuzz "$fuzz_seconds"
fi
echo "== all tests passed"
