#!/usr/bin/env bash
# The desktop program in real time on a PulseAudio null sink, its window on Xvfb: the share of
# one core that the whole `sorvanto` process uses while it plays the dense song with its window
# visible, against `sorvanto-cli play` on the same song and font; and the time from pressing
# Play (Space) to the first sound at the sink, read from the sink's monitor.
# Usage: bench/gui-measure.sh [ROUNDS]   (default 3 rounds of the key-to-sound measurement)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"
svt_build release >/dev/null
rounds=${1:-3}
bin=$PWD/build/release/bin

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
export HOME=$work XDG_CONFIG_HOME=$work/config SORVANTO_ALSA_DEVICE=sorvanto_pulse SORVANTO_LANG=2
export PULSE_SERVER=unix:$work/run/native

if grep -qw avx2 /proc/cpuinfo; then simd=AVX2; else simd=SSE2; fi
echo "SIMD form: $simd (both programs take the best kernels the processor has)"
xvfb-run -a -s '-screen 0 1280x900x24' python3 - "$bin" "$work/dense.mid" "$rounds" <<'PY'
import os, signal, subprocess, sys, time
bin_dir, song, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
tick = os.sysconf("SC_CLK_TCK")

def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick

def share(pid, settle=5, span=20):
    time.sleep(settle)
    c0, t0 = cpu(pid), time.monotonic()
    time.sleep(span)
    return 100 * (cpu(pid) - c0) / (time.monotonic() - t0)

def window(name="^Calda Sorvanto$"):
    out = subprocess.run(["timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name", name],
                         capture_output=True, text=True).stdout.split()
    return out[0]

def start_gui():
    p = subprocess.Popen([f"{bin_dir}/sorvanto", song], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wid = window()
    subprocess.run(["xdotool", "windowfocus", "--sync", wid])
    time.sleep(1)  # the song is listed
    return p, wid

def quit_gui(p):
    p.terminate()
    p.wait()

cli = subprocess.Popen([f"{bin_dir}/sorvanto-cli", "play", song, "--device", "sorvanto_pulse"],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
cli_share = share(cli.pid)
cli.send_signal(signal.SIGINT)
cli.wait()

gui, wid = start_gui()
subprocess.run(["xdotool", "key", "space"])
gui_share = share(gui.pid)
quit_gui(gui)
print(f"CPU while playing {os.path.basename(song)} (seconds 5 to 25, share of one core):")
print(f"  sorvanto-cli play      {cli_share:5.1f} %")
print(f"  sorvanto with window   {gui_share:5.1f} %   ({gui_share - cli_share:+.1f} points)")

# Key to sound: the sink's monitor is read in 10 ms pieces; the first piece that is not silent
# marks the sound.
waits = []
for _ in range(rounds):
    gui, wid = start_gui()
    rec = subprocess.Popen(["parec", "--device=null.monitor", "--format=s16le", "--rate=44100",
                            "--channels=2", "--latency-msec=10"], stdout=subprocess.PIPE)
    time.sleep(1)
    os.set_blocking(rec.stdout.fileno(), False)
    while rec.stdout.read(65536):
        pass
    pressed = time.monotonic()
    subprocess.run(["xdotool", "key", "space"])
    heard = None
    while heard is None and time.monotonic() - pressed < 20:
        chunk = rec.stdout.read(1764)
        if not chunk:
            time.sleep(0.002)
            continue
        samples = memoryview(chunk).cast("h") if len(chunk) % 2 == 0 else []
        if any(abs(s) > 64 for s in samples):
            heard = time.monotonic()
    rec.terminate()
    rec.wait()
    quit_gui(gui)
    if heard is not None:
        waits.append(1000 * (heard - pressed))
print("Space to first sound: " + ", ".join(f"{w:.0f} ms" for w in waits))
PY
