#!/usr/bin/env bash
# Renders the demo song and the dense song with both Debian fonts and two interpolations
# and prints one sha256 per render: a change in the engine that must not change the sound
# keeps these eight lines identical.
#   bench/render-hashes.sh [BUILD_DIR]              print the hashes
#   bench/render-hashes.sh [BUILD_DIR] --check FILE compare with hashes printed before
#   --threads N   render each song on N threads (any number must give the same hashes);
#                 SORVANTO_SIMD chooses the instruction set likewise
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
check=
threads=()
while [ $# -gt 0 ]; do
    case "$1" in
        --check) check=$2; shift 2 ;;
        --threads) threads=(--threads "$2"); shift 2 ;;
        *) build=$1; shift ;;
    esac
done
cli=$build/bin/sorvanto-cli
[ -x "$cli" ] || { echo "render-hashes: $cli is not built" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"

out=$work/hashes
for song in data/demo.mid "$work/dense.mid"; do
    for font in FluidR3_GM TimGM6mb; do
        for interp in default linear; do
            wav=$work/render.wav
            "$cli" convert "$song" -o "$wav" -s "/usr/share/sounds/sf2/$font.sf2" --interp "$interp" \
                "${threads[@]}" --overwrite >/dev/null
            printf "%s  %s %s %s\n" "$(sha256sum <"$wav" | cut -d' ' -f1)" "$(basename "$song" .mid)" \
                "$font" "$interp" >>"$out"
        done
    done
done
cat "$out"
if [ -n "$check" ]; then
    if diff -u "$check" "$out" >&2; then
        echo "render-hashes: all renders identical"
    else
        echo "render-hashes: renders differ from $check" >&2
        exit 1
    fi
fi
