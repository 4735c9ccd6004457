#!/usr/bin/env bash
# A compressed (SoundFont 3) font against FluidSynth on the same font and songs, and against
# the same instruments stored as points (SoundFont 2). For each song and renderer: seconds to
# the first sound, wall seconds, peak resident memory, and the realtime factor of the render
# after the first sound (seconds of audio per second of wall time once the instruments are
# ready). Everything runs on one core, one renderer at a time, in the same run; one more run lets
# Sorvanto decode on two cores.
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

# The engine runs the widest of its kernels the processor offers: AVX2, else SSE2.
if grep -q -w avx2 /proc/cpuinfo; then simd=avx2; elif grep -q -w sse2 /proc/cpuinfo; then simd=sse2; fi
echo "font: $font ($(du -m "$font" | cut -f1) MiB; decoded as SoundFont 2: $(du -m "$work/decoded.sf2" | cut -f1) MiB)"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); SIMD form the engine runs: ${simd:-scalar}"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-8s %-30s %12s %8s %9s %14s\n" song renderer "first sound" wall "RSS MiB" "x real after"

# run SONG NAME CORES SKIP COMMAND... : one measured render to standard output, on the first
# CORES cores.
run() {
    local song=$1 name=$2 cores=$3 skip=$4; shift 4
    local first wall rss bytes
    read -r first wall rss bytes < <(taskset -c "0-$((cores - 1))" python3 bench/first-sound.py "$skip" -- "$@")
    local seconds render
    seconds=$(echo "$bytes / 4 / 44100" | bc -l)
    render=$(echo "$seconds / ($wall - $first)" | bc -l)
    printf "%-8s %-30s %10.3f s %6.2f s %9.1f %14.1f\n" "$song" "$name" "$first" "$wall" \
        "$(echo "$rss / 1024" | bc -l)" "$render"
}

for song in data/demo.mid "$work/dense.mid"; do
    name=$(basename "$song" .mid)
    run "$name" "fluidsynth, compressed" 1 0 \
        fluidsynth -ni -q -T raw -F - -r 44100 -o synth.cpu-cores=1 "$font" "$song"
    run "$name" "fluidsynth, decoded sf2" 1 0 \
        fluidsynth -ni -q -T raw -F - -r 44100 -o synth.cpu-cores=1 "$work/decoded.sf2" "$song"
    run "$name" "sorvanto, compressed" 1 44 "$cli" convert "$song" -s "$font" -o - --jobs 1
    run "$name" "sorvanto, decoded sf2" 1 44 "$cli" convert "$song" -s "$work/decoded.sf2" -o - --jobs 1
    # Decoding runs on every core the program may use.
    run "$name" "sorvanto, compressed, 2 cores" 2 44 "$cli" convert "$song" -s "$font" -o - --jobs 1
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
