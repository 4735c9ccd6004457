#!/usr/bin/env bash
# A compressed (SoundFont 3) font against FluidSynth on the same font and songs, and against
# the same instruments stored as points (SoundFont 2). For each song and renderer: seconds to
# the first sound, wall seconds, peak resident memory, and the realtime factor of the render
# after the first sound (seconds of audio per second of wall time once the instruments are
# ready). Everything runs on one core, one renderer at a time, in the same run.
# Usage: bench/compressed.sh [FONT.sf3]   (default: Debian's MuseScore_General_Full.sf3)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
# The General MIDI font in compressed form is measured here only; the tests build their own.
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" fluidsynth \
    musescore-general-soundfont python3
svt_build release >/dev/null
font=${1:-/usr/share/sounds/sf3/MuseScore_General_Full.sf3}
cli=build/release/bin/sorvanto-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"
build/release/bench/bench_sf3_to_sf2 "$font" "$work/decoded.sf2" >/dev/null

simd=$(grep -m1 -o -w -E 'avx2|sse4_2|sse2' /proc/cpuinfo | head -1 || true)
echo "font: $font ($(du -m "$font" | cut -f1) MiB; decoded as SoundFont 2: $(du -m "$work/decoded.sf2" | cut -f1) MiB)"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); widest SIMD form the CPU offers: ${simd:-none}"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-8s %-26s %12s %8s %9s %14s\n" song renderer "first sound" wall "RSS MiB" "x real after"

# run NAME SKIP COMMAND... : one measured render to standard output.
run() {
    local song=$1 name=$2 skip=$3; shift 3
    local first wall rss bytes
    read -r first wall rss bytes < <(taskset -c 0 python3 bench/first-sound.py "$skip" -- "$@")
    local seconds render
    seconds=$(echo "$bytes / 4 / 44100" | bc -l)
    render=$(echo "$seconds / ($wall - $first)" | bc -l)
    printf "%-8s %-26s %10.3f s %6.2f s %9.1f %14.1f\n" "$song" "$name" "$first" "$wall" \
        "$(echo "$rss / 1024" | bc -l)" "$render"
}

for song in data/demo.mid "$work/dense.mid"; do
    name=$(basename "$song" .mid)
    run "$name" "fluidsynth, compressed" 0 \
        fluidsynth -ni -q -T raw -F - -r 44100 -o synth.cpu-cores=1 "$font" "$song"
    run "$name" "fluidsynth, decoded sf2" 0 \
        fluidsynth -ni -q -T raw -F - -r 44100 -o synth.cpu-cores=1 "$work/decoded.sf2" "$song"
    run "$name" "sorvanto, compressed" 44 "$cli" convert "$song" -s "$font" -o - --jobs 1
    run "$name" "sorvanto, decoded sf2" 44 "$cli" convert "$song" -s "$work/decoded.sf2" -o - --jobs 1
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
