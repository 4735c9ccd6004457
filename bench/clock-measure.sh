#!/usr/bin/env bash
# The desktop program's clock against the sound: the window plays a song into a PulseAudio null
# sink under Xvfb; every text its time field shows is stamped with the wall time since Play, and
# the sink's monitor gives the moment the first sound was heard. A clock that follows the sound
# reads (wall time - first sound) at every moment. On the way the live keys + (transpose) and ]
# (tempo) are pressed: the clock must neither stall nor jump back after them.
# Usage: bench/clock-measure.sh [BUILD_FOLDER [SONG]]   (default build/release, a dense song)
# SORVANTO_ALSA_DEVICE=default measures through ALSA's default device (the pulse plugin) as a
# desktop has it; otherwise a pulse device of its own is named.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-$PWD/build/release}
work=$(mktemp -d)
pulse=""
cleanup() {
    [ -n "$pulse" ] && kill "$pulse" 2>/dev/null && wait "$pulse" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
# SVT_PULSE_DEFAULTS=1: the server with the system's own start-up script, the null sink added
# after it, as on a desktop; otherwise a bare server with only the null sink.
if [ -n "${SVT_PULSE_DEFAULTS:-}" ]; then
    HOME=$work XDG_RUNTIME_DIR=$work/run pulseaudio --daemonize=no --exit-idle-time=-1 \
        --use-pid-file=no --no-cpu-limit >"$work/pulse.log" 2>&1 &
    pulse=$!
    for _ in $(seq 300); do [ -S "$work/run/pulse/native" ] && break; sleep 0.1; done
    ln -s "$work/run/pulse/native" "$work/run/native"
    HOME=$work XDG_RUNTIME_DIR=$work/run pactl load-module module-null-sink sink_name=null >/dev/null
    HOME=$work XDG_RUNTIME_DIR=$work/run pactl set-default-sink null
else
    HOME=$work XDG_RUNTIME_DIR=$work/run pulseaudio --daemonize=no -n --load=module-null-sink \
        --load="module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
        --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit >"$work/pulse.log" 2>&1 &
    pulse=$!
    for _ in $(seq 300); do [ -S "$work/run/native" ] && break; sleep 0.1; done
fi
[ -S "$work/run/native" ] || { echo "the PulseAudio null sink did not start:" >&2; cat "$work/pulse.log" >&2; exit 1; }
printf 'pcm.sorvanto_pulse {\n  type pulse\n  server "unix:%s"\n}\n' "$work/run/native" >"$work/.asoundrc"
song=${2:-$work/dense.mid}
[ -n "${2:-}" ] || python3 bench/make-dense-song.py "$song" 40
export HOME=$work XDG_CONFIG_HOME=$work/config SORVANTO_ALSA_DEVICE=${SORVANTO_ALSA_DEVICE:-sorvanto_pulse} SORVANTO_LANG=2
export PULSE_SERVER=unix:$work/run/native XDG_RUNTIME_DIR=$work/run SORVANTO_TIME_LOG=$work/time.log

xvfb-run -a -s '-screen 0 1280x900x24' python3 - "$build/bin" "$song" "$work/time.log" <<'PY'
import os, subprocess, sys, time
bin_dir, song, log = sys.argv[1], sys.argv[2], sys.argv[3]

# "--open" plays the song at once, as a file opened from the desktop does: the recorder runs
# before the program starts, and the clock is held against the first sound it hears.
rec = subprocess.Popen(["parec", "--device=null.monitor", "--format=s16le", "--rate=44100",
                        "--channels=2", "--latency-msec=10"], stdout=subprocess.PIPE)
time.sleep(1)
os.set_blocking(rec.stdout.fileno(), False)
while rec.stdout.read(65536):
    pass
open(log, "w").close()
app = subprocess.Popen([f"{bin_dir}/sorvanto", "--open", song],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
started = time.monotonic()
search = subprocess.Popen(["timeout", "60", "xdotool", "search", "--sync", "--onlyvisible",
                           "--name", "^Calda Sorvanto$"], stdout=subprocess.PIPE, text=True)
seen, shown, heard, wid = 0, [], None, None
keys = [(6.0, "plus", "+ (transpose)"), (10.0, "bracketright", "] (tempo)")]
marks = []
while time.monotonic() - started < 20 and (heard is None or time.monotonic() - started < heard + 14):
    now = time.monotonic() - started
    if wid is None and search.poll() is not None:
        wid = (search.stdout.read().split() or ["none"])[0]
        if wid != "none":
            subprocess.run(["xdotool", "windowfocus", "--sync", wid])
    if heard is not None and wid not in (None, "none") and keys and now >= heard + keys[0][0]:
        subprocess.run(["xdotool", "key", keys[0][1]])
        marks.append((now, keys[0][2]))
        keys.pop(0)
    chunk = rec.stdout.read(65536) or b""
    if heard is None and chunk:
        if any(abs(s) > 64 for s in memoryview(chunk[: len(chunk) // 2 * 2]).cast("h")):
            heard = time.monotonic() - started
    with open(log) as f:
        lines = f.read().split("\n")[:-1]
    for text in lines[seen:]:
        h, m, s = text.split()[0].split(":")
        shown.append((now, int(h) * 3600 + int(m) * 60 + float(s)))
    seen = len(lines)
    time.sleep(0.005)
rec.terminate()
rec.wait()
app.terminate()
app.wait()
heard = heard or 0.0
print(f"first sound {heard:.2f} s after the start")
print(" wall  shown  behind the sound")
for at, reading in shown:
    print(f"{at:5.2f}  {reading:5.0f}  {at - heard - reading:+5.2f}")
for at, name in marks:
    print(f"key {name} at {at:.2f} s")
    after = [a for a, _ in shown if a > at]
    if after:
        print(f"  next clock change {after[0] - at:.2f} s later")
PY
