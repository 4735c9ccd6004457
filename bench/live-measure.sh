#!/usr/bin/env bash
# Live playback in real time on a PulseAudio null sink started here: how long a key (pause,
# resume, mute) takes to be heard, and the share of one core that `sorvanto-cli play` uses
# while it plays the dense song with linear and with default interpolation.
# Usage: bench/live-measure.sh [FONT] [ROUNDS]   (default: FluidR3_GM, 5 rounds)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"
svt_build release >/dev/null
font=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
rounds=${2:-5}
cli=$PWD/build/release/bin/sorvanto-cli
probe=$PWD/build/release/bench/bench_live_latency

work=$(mktemp -d)
pulse=""
cleanup() {
    [ -n "$pulse" ] && kill "$pulse" 2>/dev/null && wait "$pulse" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
HOME=$work XDG_RUNTIME_DIR=$work/run pulseaudio --daemonize=no -n --load=module-null-sink \
    --load="module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
    --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit >"$work/pulse.log" 2>&1 &
pulse=$!
for _ in $(seq 300); do [ -S "$work/run/native" ] && break; sleep 0.1; done
[ -S "$work/run/native" ] || { echo "the PulseAudio null sink did not start:" >&2; cat "$work/pulse.log" >&2; exit 1; }
printf 'pcm.sorvanto_pulse {\n  type pulse\n  server "unix:%s"\n}\n' "$work/run/native" >"$work/.asoundrc"
python3 bench/make-dense-song.py "$work/dense.mid"

echo "== key to sound, $(basename "$font"), $rounds rounds each"
for song in data/demo.mid "$work/dense.mid"; do
    echo "-- $(basename "$song")"
    HOME=$work "$probe" "$font" "$song" sorvanto_pulse "$rounds"
done

echo "== CPU while playing dense.mid (share of one core, seconds 5 to 25)"
for interp in linear default; do
    HOME=$work python3 - "$cli" "$work/dense.mid" "$font" "$interp" <<'PY'
import os, signal, subprocess, sys, time
cli, song, font, interp = sys.argv[1:5]
tick = os.sysconf("SC_CLK_TCK")
def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick
p = subprocess.Popen([cli, "play", song, "-s", font, "--device", "sorvanto_pulse", "--interp", interp],
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(5)
c0, t0 = cpu(p.pid), time.monotonic()
time.sleep(20)
c1, t1 = cpu(p.pid), time.monotonic()
p.send_signal(signal.SIGINT)
p.wait()
print(f"{interp:8s} {100 * (c1 - c0) / (t1 - t0):5.1f} % of one core")
PY
done
