#!/usr/bin/env bash
# What each file format costs over the render alone: the dense song rendered on one core into
# /dev/null (the synthesizer, effects and limiter, written nowhere) and into a file of each
# format, with the processor time (user + system, best of ROUNDS) and the realtime factor (song
# seconds per processor second) of each; then the size of each format's file for the demo song
# and the dense song. Opus renders at 48 kHz, so its baseline is the render at that rate.
#   bench/formats.sh [CLI] [ROUNDS] [FONT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages time bc python3
cli=${1:-build/release/bin/sorvanto-cli} rounds=${2:-3} font=${3:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"
seconds=$("$cli" info --json "$work/dense.mid" | python3 -c 'import json,sys; print(json.load(sys.stdin)["seconds"])')
echo "dense song: $seconds s; SIMD: ${SORVANTO_SIMD:-the best the processor has}"

cpu() {  # best processor seconds of one conversion, ARGS after the song
    local best=
    for _ in $(seq "$rounds"); do
        /usr/bin/time -f "%U %S" -o "$work/time" taskset -c 0 "$cli" convert "$work/dense.mid" \
            -s "$font" --overwrite -q "$@" >/dev/null
        read -r user system <"$work/time"
        local t; t=$(echo "$user + $system" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}
base44=$(cpu -o /dev/null -f wav)
base48=$(cpu -o /dev/null -f wav --rate 48000)
printf "%-22s %9s %9s %9s %9s\n" format "cpu s" "x real" "render x" "encode %"
printf "%-22s %9.2f %9.1f\n" "render alone 44.1k" "$base44" "$(echo "$seconds / $base44" | bc -l)"
printf "%-22s %9.2f %9.1f\n" "render alone 48k" "$base48" "$(echo "$seconds / $base48" | bc -l)"
for f in "wav" "wav:24" "wav:float" "flac" "flac:24" "ogg" "opus" "mp3"; do
    ext=${f%%:*}
    base=$base44; [ "$ext" = opus ] && base=$base48
    t=$(cpu -o "$work/out.$ext" -f "$f")
    printf "%-22s %9.2f %9.1f %9.1f %8.0f%%\n" "$f" "$t" "$(echo "$seconds / $t" | bc -l)" \
        "$(echo "$seconds / $base" | bc -l)" "$(echo "($t - $base) * 100 / $base" | bc -l)"
done

echo
printf "%-10s %12s %12s\n" format "demo (1:10)" "dense"
for f in "wav" "wav:float" "flac" "ogg" "opus" "mp3"; do
    ext=${f%%:*}
    sizes=()
    for song in data/demo.mid "$work/dense.mid"; do
        "$cli" convert "$song" -s "$font" -f "$f" -o "$work/size.$ext" --overwrite -q
        sizes+=("$(stat -c %s "$work/size.$ext")")
    done
    printf "%-10s %12s %12s\n" "$f" "${sizes[0]}" "${sizes[1]}"
done
