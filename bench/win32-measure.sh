#!/usr/bin/env bash
# sorvanto.exe under Wine, on a PulseAudio null sink with its window on Xvfb: the time from
# start to the window, the share of one core the program uses
# while it plays the dense song with its window visible, against `sorvanto-cli.exe play` on the
# same song, and the time from Play (Space) to the first sound at the sink.
# Usage: bench/win32-measure.sh [WINDOWS_BUILD [ROUNDS]]   (default build/windows, built
# beforehand, and 2 rounds of start and Space)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
rounds=${2:-2}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
work=$(mktemp -d)
pulse=
cleanup() {
    tmux kill-session -t "svt-measure-$$" 2>/dev/null || true
    [ -n "$pulse" ] && kill "$pulse" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
HOME=$work XDG_RUNTIME_DIR=$work/run pulseaudio --daemonize=no -n --load=module-null-sink \
    --load="module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
    --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit >"$work/pulse.log" 2>&1 &
pulse=$!
for _ in $(seq 300); do [ -S "$work/run/native" ] && break; sleep 0.1; done
export PULSE_SERVER=unix:$work/run/native
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" SORVANTO_LANG=2
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
python3 bench/make-dense-song.py "$work/dense.mid"
song=$("$wine" winepath -w "$work/dense.mid" 2>/dev/null | tr -d '\r')
if grep -qw avx2 /proc/cpuinfo; then simd=AVX2; else simd=SSE2; fi
echo "SIMD form: $simd (both programs take the best kernels the processor has)"

xvfb-run -a -s '-screen 0 1280x1024x24' python3 - "$wine" "$build" "$song" "$$" "$rounds" <<'PY'
import os, subprocess, sys, time
wine, build, song, tag, rounds = sys.argv[1:5] + [int(sys.argv[5])]
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

def probe(*args):
    return subprocess.run([wine, f"{build}/tests/sorvanto-window-probe.exe", *args],
                          capture_output=True, text=True)

def start_gui():
    t0 = time.monotonic()
    p = subprocess.Popen([wine, f"{build}/bin/sorvanto.exe", "--open", song],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    probe("wait", "SorvantoMain", "60")
    shown = time.monotonic() - t0
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Calda Sorvanto$"],
                         capture_output=True, text=True).stdout.split()[0]
    # Without a window manager the focus may never be reported: no --sync, and a bound.
    subprocess.run(["xdotool", "windowfocus", wid], timeout=10)
    time.sleep(2)  # the opened song plays by itself
    return p, shown

def quit_gui(p):
    # Wine's processes end with their server; a signal to the loader is not always heard.
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    try:
        p.wait(timeout=20)
    except subprocess.TimeoutExpired:
        p.kill()
    time.sleep(1)

# The command line's player in a terminal of its own, as a user starts it.
session = f"svt-measure-{tag}"
subprocess.run(["tmux", "new-session", "-d", "-s", session, "-x", "120", "-y", "20",
                f"env PULSE_SERVER='{os.environ['PULSE_SERVER']}' WINEPREFIX='{os.environ['WINEPREFIX']}' "
                f"WINEDEBUG=-all '{wine}' '{build}/bin/sorvanto-cli.exe' play '{song}'; sleep 600"])
pid = None
for _ in range(300):
    out = subprocess.run(["pgrep", "-x", "sorvanto-cli.ex"], capture_output=True, text=True).stdout.split()
    if out:
        pid = int(out[0])
        break
    time.sleep(0.1)
cli_share = share(pid)
subprocess.run(["tmux", "kill-session", "-t", session])
subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
time.sleep(1)

gui, shown = start_gui()
gui_share = share(gui.pid)
quit_gui(gui)
print(f"CPU while playing the dense song (seconds 5 to 25, share of one core):")
print(f"  sorvanto-cli.exe play       {cli_share:5.1f} %")
print(f"  sorvanto.exe, window shown  {gui_share:5.1f} %   ({gui_share - cli_share:+.1f} points)")

starts, waits = [], []
for _ in range(rounds):
    gui, shown = start_gui()
    starts.append(1000 * shown)
    subprocess.run(["xdotool", "key", "s"])  # stopped, so that Space starts the song again
    rec = subprocess.Popen(["parec", "--device=@DEFAULT_MONITOR@", "--format=s16le", "--rate=44100",
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
        samples = memoryview(chunk[: len(chunk) // 2 * 2]).cast("h")
        if any(abs(s) > 64 for s in samples):
            heard = time.monotonic()
    rec.terminate()
    rec.wait()
    quit_gui(gui)
    if heard is not None:
        waits.append(1000 * (heard - pressed))
print("start to window: " + ", ".join(f"{s:.0f} ms" for s in starts))
print("Space to first sound: " + ", ".join(f"{w:.0f} ms" for w in waits))
PY
ls -l "$build/bin/sorvanto.exe" | awk '{ print "sorvanto.exe: " $5 " bytes" }'
