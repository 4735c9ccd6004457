#!/usr/bin/env bash
# Renders the dense song with two builds of sorvanto-cli in turns, on one core, and prints
# the best time of each and their ratio: a change that must not cost speed is measured
# against the build before it in the same run. The time is processor time (user + system),
# which a machine shared with other work disturbs less than the wall clock.
#   bench/compare-builds.sh OLD_CLI NEW_CLI [ROUNDS] [FONT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages time bc python3
old=$1 new=$2 rounds=${3:-5} font=${4:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/make-dense-song.py "$work/dense.mid"

best() { sort -n | head -1; }
run() {
    local cli=$1 interp=$2
    /usr/bin/time -f "%U %S" -o "$work/time" taskset -c 0 "$cli" convert "$work/dense.mid" \
        -o "$work/out.wav" -s "$font" --interp "$interp" --overwrite >/dev/null
    read -r user system <"$work/time"
    echo "$user + $system" | bc -l
}
printf "%-8s %10s %10s %8s\n" interp "old cpu s" "new cpu s" "new/old"
for interp in default linear; do
    : >"$work/old" && : >"$work/new"
    for _ in $(seq "$rounds"); do
        run "$old" "$interp" >>"$work/old"
        run "$new" "$interp" >>"$work/new"
    done
    o=$(best <"$work/old") n=$(best <"$work/new")
    printf "%-8s %10.3f %10.3f %8.3f\n" "$interp" "$o" "$n" "$(echo "$n / $o" | bc -l)"
done
