#!/usr/bin/env bash
# Runs the GNU parallel recipe of doc/Scaling.md on this machine, with the machine itself as
# the only login (":"): a library converted through it must equal one converted with
# `--jobs 1` byte for byte, and a second run over the finished work must write nothing and
# still succeed.
#   scripts/test-scaling.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
cli="$build/bin/sorvanto-cli"
font=/usr/share/sounds/sf2/TimGM6mb.sf2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A small library: short songs of different keys and tempos in sub-folders (two of one name),
# beside a text and an audio file of an earlier run, which are no songs.
python3 "$(dirname "$0")/make-scaling-library.py" "$work/library"
echo "not a song" > "$work/library/readme.txt"
printf 'RIFF\044\0\0\0WAVEfmt ' > "$work/library/a/one.wav"

"$cli" convert -q --jobs 1 -s "$font" "$work/library" -o "$work/reference/"

recipe() {
    (cd "$work/library" &&
        find . -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' -o -iname '*.rmi' \) -print0 |
        parallel --will-cite -0 --sshlogin : --workdir "$work/library" --jobs 2 --joblog "$work/jobs.log" \
            "$cli" convert -q --jobs 1 -s "$font" {} -o "$work/converted/{//}/")
}
recipe
diff -r "$work/reference" "$work/converted"
touch "$work/marker"
recipe
if [ -n "$(find "$work/converted" -newer "$work/marker")" ]; then
    echo "a second run over finished work wrote files" >&2
    exit 1
fi
echo "scaling recipe: $(find "$work/converted" -type f | wc -l) files, equal to --jobs 1; a re-run wrote nothing"
