#!/usr/bin/env bash
# End-to-end speed and memory against FluidSynth: the same songs, the same SoundFont, one core.
# Prints for each song and renderer the realtime factor (seconds of audio per second of wall
# time), the peak resident memory, and Sorvanto's ratio to FluidSynth; then the time each takes
# to start with the font and render one short note, which is mostly loading the font.
# Usage: bench/run.sh [FONT]   (default: FluidR3_GM)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" fluidsynth time bc sox \
    util-linux
svt_build release >/dev/null
font=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
cli=build/release/bin/sorvanto-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"

# measure NAME COMMAND... : wall seconds and peak RSS (KiB) of one run, on one core.
measure() {
    local log=$work/time.log
    taskset -c 0 /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>&1
    cat "$log"
}

seconds_of() { soxi -D "$1"; }

printf "%-10s %-24s %9s %9s %10s\n" song renderer "x real" "RSS MiB" "vs fluid"
for song in data/demo.mid "$work/dense.mid"; do
    name=$(basename "$song" .mid)
    read -r fwall frss < <(measure fluidsynth -ni -q -F "$work/f.wav" -r 44100 -o synth.cpu-cores=1 "$font" "$song")
    flen=$(seconds_of "$work/f.wav")
    ffactor=$(echo "$flen / $fwall" | bc -l)
    printf "%-10s %-24s %9.1f %9.1f %10s\n" "$name" "fluidsynth (default)" "$ffactor" "$(echo "$frss/1024" | bc -l)" "1.00"
    for interp in default linear; do
        read -r swall srss < <(measure "$cli" convert "$song" -o "$work/s.wav" -s "$font" --interp "$interp" --overwrite)
        slen=$(seconds_of "$work/s.wav")
        sfactor=$(echo "$slen / $swall" | bc -l)
        printf "%-10s %-24s %9.1f %9.1f %10.2f\n" "$name" "sorvanto ($interp)" "$sfactor" "$(echo "$srss/1024" | bc -l)" \
            "$(echo "$sfactor / $ffactor" | bc -l)"
    done
done

# One short note: starting the program, loading the font (FluidSynth loads all of it, Sorvanto
# what the song plays) and writing a fraction of a second.
python3 - "$work/note.mid" <<'PY'
import struct, sys
track = bytes([0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00])
with open(sys.argv[1], "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96))
    f.write(b"MTrk" + struct.pack(">I", len(track)) + track)
PY
best_of() {  # best_of N COMMAND... : the shortest wall time of N runs
    local n=$1 best="" t
    shift
    for _ in $(seq "$n"); do
        read -r t _ < <(measure "$@")
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" -eq 1 ]; then best=$t; fi
    done
    echo "$best"
}
fload=$(best_of 3 fluidsynth -ni -q -F "$work/f.wav" -r 44100 -o synth.cpu-cores=1 "$font" "$work/note.mid")
sload=$(best_of 3 "$cli" convert "$work/note.mid" -o "$work/s.wav" -s "$font" --overwrite)
printf "\n%-34s %9s %9s %10s\n" "start, font and one note" fluidsynth sorvanto "vs fluid"
printf "%-34s %9.2f %9.2f %10.2f\n" "$(basename "$font") (s)" "$fload" "$sload" \
    "$(echo "$sload / $fload" | bc -l)"
