#!/usr/bin/env bash
# Batch conversion on several cores: a folder of 20 songs converted with --jobs 1 and with
# --jobs N (default 2). Prints wall time, throughput (audio seconds per wall second), peak
# resident memory, and the ratios of N jobs to one.
# Usage: bench/jobs.sh [N] [FONT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" time bc sox
svt_build release >/dev/null
jobs=${1:-2}
font=${2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
cli=build/release/bin/sorvanto-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/songs"
# Twenty songs: the demo and the dense song, ten of each under their own names.
python3 bench/make-dense-song.py "$work/dense.mid"
for i in $(seq -w 1 10); do
    cp data/demo.mid "$work/songs/demo$i.mid"
    cp "$work/dense.mid" "$work/songs/dense$i.mid"
done

# run N: wall seconds, peak RSS (KiB) and audio seconds of one conversion of the folder.
run() {
    rm -rf "$work/out" && mkdir "$work/out"
    /usr/bin/time -f "%e %M" -o "$work/time.log" "$cli" convert "$work/songs" -o "$work/out/" -s "$font" \
        --jobs "$1" >/dev/null 2>&1
    local audio=0 f
    for f in "$work/out"/*.wav; do audio=$(echo "$audio + $(soxi -D "$f")" | bc -l); done
    echo "$(cat "$work/time.log") $audio"
}

read -r w1 m1 a1 < <(run 1)
read -r wn mn an < <(run "$jobs")
printf "%-8s %9s %12s %9s\n" jobs "wall s" "x real" "RSS MiB"
printf "%-8s %9.1f %12.1f %9.1f\n" 1 "$w1" "$(echo "$a1 / $w1" | bc -l)" "$(echo "$m1 / 1024" | bc -l)"
printf "%-8s %9.1f %12.1f %9.1f\n" "$jobs" "$wn" "$(echo "$an / $wn" | bc -l)" "$(echo "$mn / 1024" | bc -l)"
printf "throughput ratio %.2f, memory ratio %.2f\n" "$(echo "($an / $wn) / ($a1 / $w1)" | bc -l)" "$(echo "$mn / $m1" | bc -l)"
