#!/usr/bin/env bash
# Batch conversion on several cores: eleven songs, one of them about a third of the music and
# named last, converted with --jobs 1 and with --jobs N (default 2). The runs alternate and the
# best of each is kept (the machine may be shared). Prints wall and processor time, throughput
# (audio seconds per wall second), peak resident memory, and the ratios of N jobs to one.
# Usage: bench/jobs.sh [N] [FONT]   (SORVANTO_SIMD forces an instruction set; BENCH_REPEATS
# runs of each, default 3; BENCH_CLI another build's sorvanto-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" time bc sox
[ -f build/release/build.ninja ] || cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target sorvanto-cli >/dev/null
jobs=${1:-2}
font=${2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
repeats=${BENCH_REPEATS:-3}
cli=${BENCH_CLI:-build/release/bin/sorvanto-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/songs"
# Five demos, five dense minutes and a dense song of 4:20 that a plain queue would start last.
python3 bench/make-dense-song.py "$work/dense.mid"
for i in 1 2 3 4 5; do
    cp data/demo.mid "$work/songs/a-demo$i.mid"
    cp "$work/dense.mid" "$work/songs/b-dense$i.mid"
done
python3 bench/make-dense-song.py "$work/songs/z-long.mid" 260

# run N: wall seconds, processor seconds, peak RSS (KiB) and audio seconds of one conversion.
run() {
    rm -rf "$work/out" && mkdir "$work/out"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.log" "$cli" convert "$work/songs" \
        -o "$work/out/" -s "$font" --jobs "$1" >/dev/null 2>&1
    local audio=0 f
    for f in "$work/out"/*.wav; do audio=$(echo "$audio + $(soxi -D "$f")" | bc -l); done
    read -r wall user sys rss <"$work/time.log"
    echo "$wall $(echo "$user + $sys" | bc -l) $rss $audio"
}

best() {  # keeps the run with the least wall time: "wall cpu rss audio"
    if [ -z "$1" ] || (($(echo "${2%% *} < ${1%% *}" | bc -l))); then echo "$2"; else echo "$1"; fi
}

b1= bn=
for _ in $(seq "$repeats"); do
    b1=$(best "$b1" "$(run 1)")
    bn=$(best "$bn" "$(run "$jobs")")
done
read -r w1 c1 m1 a1 <<<"$b1"
read -r wn cn mn an <<<"$bn"
flags=$(grep -m1 -o -w -E 'sse2|avx2|avx512f' /proc/cpuinfo | sort -u | tr '\n' ' ' || true)
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-), flags: ${flags}"
echo "instruction set: ${SORVANTO_SIMD:-widest}; $(nproc) cores; best of $repeats"
printf "%-8s %9s %9s %12s %9s\n" jobs "wall s" "cpu s" "x real" "RSS MiB"
printf "%-8s %9.2f %9.2f %12.1f %9.1f\n" 1 "$w1" "$c1" "$(echo "$a1 / $w1" | bc -l)" "$(echo "$m1 / 1024" | bc -l)"
printf "%-8s %9.2f %9.2f %12.1f %9.1f\n" "$jobs" "$wn" "$cn" "$(echo "$an / $wn" | bc -l)" "$(echo "$mn / 1024" | bc -l)"
printf "speedup %.2f, memory ratio %.2f\n" "$(echo "($an / $wn) / ($a1 / $w1)" | bc -l)" "$(echo "$mn / $m1" | bc -l)"
