#!/usr/bin/env bash
# run-fuzzers.sh BUILD_DIR SECONDS - runs each fuzz target from its seed corpus.
# Seeds are written by the release build's `fuzz_seeds` tool (our own builders).
set -euo pipefail
build=$1 seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
seeds_tool="$root/build/release/tests/fuzz_seeds"
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
# A run that fuzzes nothing must not pass for one that found nothing.
[ ${#targets[@]} -gt 0 ] || { echo "run-fuzzers: no fuzz targets in $build/fuzz" >&2; exit 1; }
[ -x "$seeds_tool" ] || { echo "run-fuzzers: $seeds_tool is not built" >&2; exit 1; }
work="$build/fuzz-run"
mkdir -p "$work"
for target in "${targets[@]}"; do
    name=${target##*/fuzz_}
    corpus="$work/$name"
    rm -rf "$corpus"; mkdir -p "$corpus"
    "$seeds_tool" "$name" "$corpus"
    echo "-- $name: $(ls "$corpus" | wc -l) seeds"
    # -rss_limit_mb guards against allocations driven by header fields.
    if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
            -artifact_prefix="$work/$name-" -print_final_stats=0 "$corpus" >"$work/$name.log" 2>&1; then
        tail -60 "$work/$name.log"
        echo "FUZZ FAILURE in $name (log: $work/$name.log)" >&2
        exit 1
    fi
    grep -E '^#[0-9]+.*DONE' "$work/$name.log" | tail -1 || true
done
