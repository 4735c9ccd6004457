#!/usr/bin/env bash
# Installs what is missing, builds, runs every test and a short run of each fuzz target.
#   ./test.sh          the format check; the release build (-Werror) and its tests; the build
#                      with assertions and sanitizers (asan preset) and its tests; the fuzz targets
#   ./test.sh --quick  the format check and the release build with its tests only
#   SORVANTO_FUZZ_SECONDS=N   seconds per fuzz target (default 30; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

quick=0
for arg in "$@"; do
    case "$arg" in
        --quick) quick=1 ;;
        --asan) ;;  # the sanitizer build is part of every full run
        *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
    esac
done

svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"

jobs=$(nproc)
stage() { echo "== $1 ($(date +%T))"; }
stage "format"
scripts/check-format.sh
stage "release build"
svt_build release -DSORVANTO_WERROR=ON
stage "release tests"
ctest --test-dir build/release --output-on-failure -j "$jobs"
if [ "$quick" -eq 1 ]; then
    echo "== quick run passed: the assertion and sanitizer build and the fuzz targets were skipped"
    exit 0
fi

# Assertions (NDEBUG off, the standard library's bounds checks) and the address and
# undefined-behaviour sanitizers in one build: every test runs under all of them.
stage "assertion and sanitizer build"
svt_build asan -DSORVANTO_WERROR=ON
stage "assertion and sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

fuzz_seconds=${SORVANTO_FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
    stage "fuzz targets (${fuzz_seconds}s each)"
    svt_build fuzz
    scripts/run-fuzzers.sh build/fuzz "$fuzz_seconds"
fi
echo "== all tests passed ($(date +%T))"
