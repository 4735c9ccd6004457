#!/usr/bin/env bash
# End-to-end speed and memory against FluidSynth: the same songs, the same SoundFont, one core,
# reverb and chorus on in both. Every renderer runs in turn in each round and the best round of
# each counts, so the ratios come from one run on a machine that may be shared. Prints for each
# song and renderer the realtime factor (seconds of audio per second) by processor time and by
# wall time, the peak resident memory, and Sorvanto's ratio to FluidSynth; Sorvanto plays with
# the default and the linear interpolation in each instruction set the processor has.
# A second table (--threads) gives one song rendered on one thread and on every core (each
# program's own threads: Sorvanto's --threads, FluidSynth's synth.cpu-cores) for the dense song
# and a dense song of four minutes, in the widest instruction set: the realtime factor by wall
# time on 1 and on N threads, the speedup, the processor time on one thread against
# FluidSynth's, what N threads cost in processor time against one, and the peak memory. On a
# machine busy with other work the wall times, and so the speedup, mean little; the processor
# times still do.
# Usage: bench/run.sh [FONT]   (default: FluidR3_GM)
#   BENCH_REPEATS  rounds (default 3)
#   BENCH_THREADS  threads of the second table (default: the cores, nproc)
#   BENCH_TABLES   "both" (default), "one" (the first table only) or "threads" (the second)
#   BENCH_SIMD     the instruction sets to measure (default: each the processor has),
#                  e.g. "avx2" or "scalar avx2"
#   BENCH_SONGS    more songs to play besides the demo and the dense song
#   BENCH_CLI      another build's sorvanto-cli to measure
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" fluidsynth time bc sox
[ -f build/release/build.ninja ] || cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target sorvanto-cli >/dev/null
font=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
repeats=${BENCH_REPEATS:-3}
cli=${BENCH_CLI:-build/release/bin/sorvanto-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"
python3 bench/make-dense-song.py "$work/long.mid" 240
threads=${BENCH_THREADS:-$(nproc)}
tables=${BENCH_TABLES:-both}
echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

flags=$(grep -m1 '^flags' /proc/cpuinfo || true)
has() { [[ " $flags " == *" $1 "* ]]; }
if [ -n "${BENCH_SIMD:-}" ]; then
    forms=$BENCH_SIMD
else
    forms=scalar
    has sse2 && forms+=" sse2"
    has avx2 && forms+=" avx2"
    has avx512f && has avx512bw && forms+=" avx512"
fi

# measure OUT COMMAND... : "wall cpu rssKiB audioSeconds" of one run on one core (on every
# core with SPREAD=1).
measure() {
    local out=$1 pin=(taskset -c 0)
    shift
    [ "${SPREAD:-0}" = 1 ] && pin=()
    "${pin[@]}" /usr/bin/time -f "%e %U %S %M" -o "$work/time.log" "$@" >/dev/null 2>&1
    local wall user sys rss
    read -r wall user sys rss <"$work/time.log"
    echo "$wall $(echo "$user + $sys" | bc -l) $rss $(soxi -D "$out")"
}

# Best wall, best processor time and the largest memory of the rounds, by renderer.
declare -A wall cpu rss audio
keep() {
    local key=$1 w c m a
    read -r w c m a <<<"$2"
    if [ -z "${wall[$key]:-}" ] || (($(echo "$w < ${wall[$key]}" | bc -l))); then wall[$key]=$w; fi
    if [ -z "${cpu[$key]:-}" ] || (($(echo "$c < ${cpu[$key]}" | bc -l))); then cpu[$key]=$c; fi
    if [ -z "${rss[$key]:-}" ] || ((m > rss[$key])); then rss[$key]=$m; fi
    audio[$key]=$a
}

songs=(data/demo.mid "$work/dense.mid")
for extra in ${BENCH_SONGS:-}; do songs+=("$extra"); done
widest=${forms##* }
renderers=(fluidsynth)
for form in $forms; do renderers+=("default/$form" "linear/$form"); done
[ "$tables" = threads ] && songs=()
for round in $(seq "$repeats"); do
    for song in "${songs[@]}"; do
        name=$(basename "$song" .mid)
        for r in "${renderers[@]}"; do
            if [ "$r" = fluidsynth ]; then
                keep "$name $r" "$(measure "$work/f.wav" fluidsynth -ni -q -F "$work/f.wav" -r 44100 \
                    -o synth.cpu-cores=1 -o synth.reverb.active=1 -o synth.chorus.active=1 "$font" "$song")"
            else
                keep "$name $r" "$(SORVANTO_SIMD=${r#*/} measure "$work/s.wav" "$cli" convert "$song" \
                    -o "$work/s.wav" -s "$font" --interp "${r%/*}" --reverb on --chorus on --overwrite)"
            fi
        done
    done
    [ "$tables" = one ] && continue
    for song in "$work/dense.mid" "$work/long.mid"; do
        name=threads-$(basename "$song" .mid)
        for n in 1 "$threads"; do
            keep "$name fluidsynth $n" "$(SPREAD=1 measure "$work/f.wav" fluidsynth -ni -q \
                -F "$work/f.wav" -r 44100 -o synth.cpu-cores="$n" -o synth.reverb.active=1 \
                -o synth.chorus.active=1 "$font" "$song")"
            for interp in default linear; do
                keep "$name $interp $n" "$(SORVANTO_SIMD=$widest SPREAD=1 measure "$work/s.wav" \
                    "$cli" convert "$song" -o "$work/s.wav" -s "$font" --interp "$interp" \
                    --reverb on --chorus on --threads "$n" --overwrite)"
            done
        done
    done
    echo "round $round of $repeats done" >&2
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

echo "processor:$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-)"
echo "instruction sets it has: $(for f in sse2 avx2 avx512f avx512bw; do has "$f" && printf '%s ' "$f"; done)"
echo "font: $font; one core; best of $repeats rounds; x real = audio seconds per second"
printf "%-10s %-22s %10s %10s %9s %10s %10s\n" song renderer "x cpu" "x wall" "RSS MiB" "cpu ratio" "wall ratio"
row() {  # row SONG RENDERER LABEL: one line; the ratios are to FluidSynth on the same song
    local key="$1 $2" ref="$1 fluidsynth"
    local xc xw
    xc=$(echo "${audio[$key]} / ${cpu[$key]}" | bc -l)
    xw=$(echo "${audio[$key]} / ${wall[$key]}" | bc -l)
    printf "%-10s %-22s %10.1f %10.1f %9.1f %10.2f %10.2f\n" "$1" "$3" "$xc" "$xw" \
        "$(echo "${rss[$key]} / 1024" | bc -l)" \
        "$(echo "$xc / (${audio[$ref]} / ${cpu[$ref]})" | bc -l)" \
        "$(echo "$xw / (${audio[$ref]} / ${wall[$ref]})" | bc -l)"
}
for song in "${songs[@]}"; do
    name=$(basename "$song" .mid)
    for r in "${renderers[@]}"; do
        if [ "$r" = fluidsynth ]; then row "$name" "$r" "fluidsynth"; else row "$name" "$r" "sorvanto ${r%/*} ${r#*/}"; fi
    done
done

# The whole measure: audio over processor time summed across every song, so long songs weigh
# as much as they last, and the largest memory ratio of any one song.
if [ "${#songs[@]}" -gt 2 ]; then
    for r in "${renderers[@]}"; do
        [ "$r" = fluidsynth ] && continue
        ta=0 tc=0 tf=0 worst=0
        for song in "${songs[@]}"; do
            name=$(basename "$song" .mid)
            ta=$(echo "$ta + ${audio[$name $r]}" | bc -l)
            tc=$(echo "$tc + ${cpu[$name $r]}" | bc -l)
            tf=$(echo "$tf + ${cpu[$name fluidsynth]}" | bc -l)
            m=$(echo "${rss[$name $r]} / ${rss[$name fluidsynth]}" | bc -l)
            (($(echo "$m > $worst" | bc -l))) && worst=$m
        done
        printf "%-10s %-22s %10.1f %10s %9s %10.2f   largest RSS ratio %.3f\n" "all" \
            "sorvanto ${r%/*} ${r#*/}" "$(echo "$ta / $tc" | bc -l)" "" "" \
            "$(echo "$tf / $tc" | bc -l)" "$worst"
    done
fi

[ "$tables" = one ] && exit 0
echo
echo "--threads: one song on 1 and on $threads threads, sorvanto in $widest; best of $repeats rounds"
echo "(cpu ratio: processor time on one thread, to FluidSynth's; cpu N/1: processor time on"
echo " $threads threads over that on one; load average: $(cut -d' ' -f1-3 /proc/loadavg))"
printf "%-6s %-20s %9s %9s %8s %9s %10s %9s %8s\n" song renderer "x wall 1" "x wall $threads" \
    speedup "x cpu 1" "cpu ratio" "cpu N/1" "RSS MiB"
for song in dense long; do
    ref="threads-$song fluidsynth 1"
    for r in fluidsynth default linear; do
        one="threads-$song $r 1" many="threads-$song $r $threads"
        label=$([ "$r" = fluidsynth ] && echo fluidsynth || echo "sorvanto $r")
        xc=$(echo "${audio[$one]} / ${cpu[$one]}" | bc -l)
        printf "%-6s %-20s %9.1f %9.1f %8.2f %9.1f %10.2f %9.2f %8.1f\n" "$song" "$label" \
            "$(echo "${audio[$one]} / ${wall[$one]}" | bc -l)" \
            "$(echo "${audio[$many]} / ${wall[$many]}" | bc -l)" \
            "$(echo "${wall[$one]} / ${wall[$many]}" | bc -l)" "$xc" \
            "$(echo "$xc / (${audio[$ref]} / ${cpu[$ref]})" | bc -l)" \
            "$(echo "${cpu[$many]} / ${cpu[$one]}" | bc -l)" \
            "$(echo "${rss[$many]} / 1024" | bc -l)"
    done
done
