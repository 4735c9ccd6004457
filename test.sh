#!/usr/bin/env bash
# Installs what is missing, builds, runs every test and a short run of each fuzz target.
#   ./test.sh           the format check; the release build (-Werror) and its tests; the build
#                       with assertions and sanitizers (asan preset) and its tests; the thread
#                       sanitizer's build of the desktop tests and the render helpers; the fuzz
#                       targets
#   ./test.sh --quick   the format check and the release build with its tests only
#   ./test.sh --windows also the Windows build (mingw-w64) and its tests under Wine
#   SORVANTO_FUZZ_SECONDS=N   seconds per fuzz target (default 30; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

quick=0
windows=0
for arg in "$@"; do
    case "$arg" in
        --quick) quick=1 ;;
        --asan) ;;  # the sanitizer build is part of every full run
        --windows) windows=1 ;;
        --tsan) ;;  # the thread sanitizer's stage is part of every full run
        *) echo "usage: $0 [--quick] [--windows] [--tsan]" >&2; exit 2 ;;
    esac
done

svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"
if [ "$windows" -eq 1 ]; then svt_ensure_packages "${SVT_WINDOWS_PACKAGES[@]}"; fi

jobs=$(nproc)
# Each stage's heading says how long the run has taken so far, so CI's log shows each stage's time.
stage() { echo "== $1 (${SECONDS}s into the run)"; }
stage "format"
scripts/check-format.sh
stage "release build"
svt_build release -DSORVANTO_WERROR=ON
stage "release tests"
ctest --test-dir build/release --output-on-failure -j "$jobs"
stage "scaling recipe (doc/Scaling.md)"
scripts/test-scaling.sh build/release
if [ "$quick" -eq 1 ]; then
    stage "quick run passed: the assertion and sanitizer build and the fuzz targets were skipped"
    exit 0
fi

# Assertions (NDEBUG off, the standard library's bounds checks) and the address and
# undefined-behaviour sanitizers in one build: every test runs under all of them.
stage "assertion and sanitizer build"
svt_build asan -DSORVANTO_WERROR=ON
stage "assertion and sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

# The thread sanitizer on the desktop program's two threads: its logic against a fake and a
# real engine, and its windows on Qt's offscreen platform; and on the helpers that render one
# song's voices beside the player's thread. Qt itself is not instrumented; what it does inside
# its own libraries is left out (tests/tsan.supp).
stage "thread sanitizer build (desktop logic and windows, render helpers)"
cmake -S . --preset tsan -DSORVANTO_WERROR=ON >/dev/null
cmake --build build/tsan -j "$jobs" --target desktop_model_test gui_test render_threads_test
stage "thread sanitizer tests"
for t in desktop_model_test gui_test render_threads_test; do
    (cd build/tsan/tests &&
        TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/../../../tests/tsan.supp" \
            ./$t --gtest_brief=1)
done

if [ "$windows" -eq 1 ]; then
    stage "Windows libraries from Debian's source packages"
    scripts/windows-deps.sh build/windows-deps
    stage "Windows build (mingw-w64) and installer"
    svt_build windows -DSORVANTO_WERROR=ON
    cmake --build build/windows --target installer
    scripts/test-windows.sh build/windows build/release
fi

fuzz_seconds=${SORVANTO_FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
    stage "fuzz targets (${fuzz_seconds}s each)"
    svt_build fuzz
    scripts/run-fuzzers.sh build/fuzz "$fuzz_seconds"
fi
stage "all tests passed"
