#!/usr/bin/env bash
# The Windows build's checks under Wine (run by ./test.sh --windows after the cross build):
#   1. every test program under ctest, Wine's sound driver playing into a PulseAudio null sink
#      of our own (real time, no sound card needed);
#   2. the demo song converted by sorvanto-cli.exe, byte for byte the Linux build's WAV, and
#      as FLAC, Ogg Vorbis and Opus the Linux build's sound;
#   3. sorvanto-cli.exe play in a terminal (tmux): a short song plays to its end, and a long
#      one ends on the key q;
#   4. the desktop program sorvanto.exe on a virtual screen (scripts/test-windows-desktop.sh):
#      drawn in English and German, Space plays into the null sink, A shows the playlist, Q and
#      Yes quit, a song named on its command line converts to the Linux build's WAV;
#   5. the installer, silently into a fresh Wine prefix: the installed sorvanto-cli.exe renders
#      the demo with the installed compressed font byte for byte as Linux does, writes an MP3
#      through the installed gogo.dll alone that sounds as the Linux build's MP3, the songs'
#      association is in the registry, and the silent uninstaller leaves nothing of ours but
#      the user's settings.
# usage: scripts/test-windows.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
jobs=$(nproc)

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
pulse_pid=
cleanup() {
    tmux kill-session -t "svt-win-$$" 2>/dev/null || true
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A PulseAudio server with one null sink, for this run only; Wine's winepulse finds it
# through PULSE_SERVER.
mkdir -m 700 "$work/pulse-run"
HOME=$work XDG_RUNTIME_DIR=$work/pulse-run pulseaudio --daemonize=no -n \
    --load=module-null-sink \
    --load="module-native-protocol-unix socket=$work/pulse-run/native auth-anonymous=1" \
    --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit \
    >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do [ -S "$work/pulse-run/native" ] && break; sleep 0.1; done
[ -S "$work/pulse-run/native" ] || { cat "$work/pulse.log"; echo "pulseaudio did not start" >&2; exit 1; }
export PULSE_SERVER=unix:$work/pulse-run/native

# The prefix is made once per build folder; the server stays up for the whole run, so that
# each of the many test programs starts quickly.
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
# A server still ending (wineboot's, or an earlier run's) makes a new persistent one fail:
# wait for it first. The persistent server only saves start-up time, so its failure is no fault.
wineserver -w 2>/dev/null || true
wineserver -p 2>/dev/null || true
# Wine starts its service processes with the first program; started here, they hold this
# run's output and not the pipe of ctest's test listing, which would wait for them to end.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
export SORVANTO_REQUIRE_WAVEOUT=1

# same_sound A.pcm B.pcm WHAT: two decodings of 16-bit stereo are equally long and have the same
# loudness over time (envelopes in 10 ms steps correlate at 0.99 or better).
cat >"$work/envelope.py" <<'PY'
import array, math, sys
def envelope(path):
    a = array.array("h")
    with open(path, "rb") as f:
        a.frombytes(f.read())
    w = 2 * 441  # 10 ms of stereo at 44.1 kHz
    return len(a), [math.sqrt(sum(x * x for x in a[i:i + w]) / w) for i in range(0, len(a) - w + 1, w)]
n1, e1 = envelope(sys.argv[1])
n2, e2 = envelope(sys.argv[2])
if n1 != n2:
    sys.exit(f"{sys.argv[3]}: the files decode to {n1} and {n2} samples")
m1, m2 = sum(e1) / len(e1), sum(e2) / len(e2)
cov = sum((a - m1) * (b - m2) for a, b in zip(e1, e2))
r = cov / math.sqrt(sum((a - m1) ** 2 for a in e1) * sum((b - m2) ** 2 for b in e2))
print(f"{sys.argv[3]}: {n1} samples as on Linux, envelope correlation {r:.4f}")
if r < 0.99:
    sys.exit(f"{sys.argv[3]}: the files sound different")
PY
same_sound() { python3 "$work/envelope.py" "$@"; }

echo "== Windows tests (Wine)"
# A test that fails under Wine runs once more: Wine's own start-up now and then fails a
# program before its first line; a fault of ours fails twice.
ctest --test-dir "$build" --output-on-failure -j "$jobs" --repeat until-pass:2

echo "== demo song: sorvanto-cli.exe against the Linux build"
cp "$root/data/demo.mid" "$work/demo.mid"
"$wine" "$build/bin/sorvanto-cli.exe" convert "$work/demo.mid" -o "$work/windows.wav"
"$linux/bin/sorvanto-cli" convert "$work/demo.mid" -o "$work/linux.wav"
cmp "$work/windows.wav" "$work/linux.wav"
echo "the same $(stat -c %s "$work/linux.wav") bytes"

echo "== FLAC, Ogg Vorbis and Opus: sorvanto-cli.exe against the Linux build"
# One name in two folders: the Ogg stream's serial number comes from the file's name.
mkdir -p "$work/windows" "$work/linux"
for ext in flac ogg opus; do
    "$wine" "$build/bin/sorvanto-cli.exe" convert "$work/demo.mid" -o "$work/windows/demo.$ext" -q
    "$linux/bin/sorvanto-cli" convert "$work/demo.mid" -o "$work/linux/demo.$ext" -q
    if cmp -s "$work/windows/demo.$ext" "$work/linux/demo.$ext"; then
        echo "$ext: the same $(stat -c %s "$work/linux/demo.$ext") bytes"
        continue
    fi
    # Vorbis' encoder weighs the sound with the system's math library: other bytes, same sound.
    for side in windows linux; do
        case $ext in
            flac) flac -d -s -f -o "$work/$side/demo.wav" "$work/$side/demo.$ext" ;;
            ogg) oggdec -Q -o "$work/$side/demo.wav" "$work/$side/demo.$ext" ;;
            opus) opusdec --quiet --rate 48000 "$work/$side/demo.$ext" "$work/$side/demo.wav" ;;
        esac
        sox "$work/$side/demo.wav" -t raw -e signed -b 16 "$work/$side/demo.pcm"
    done
    if [ "$ext" = flac ]; then  # lossless: the sound itself must be the same
        cmp "$work/windows/demo.pcm" "$work/linux/demo.pcm"
        echo "flac: other bytes, the same sound sample for sample"
    else
        same_sound "$work/windows/demo.pcm" "$work/linux/demo.pcm" "$ext"
    fi
done

echo "== sorvanto-cli.exe play in a terminal"
python3 - "$work/short.mid" "$root/scripts" <<'PY'
import sys
sys.path.insert(0, sys.argv[2])
from midiwrite import vlq
# One second of a piano note at 120 beats a minute.
track = (b"\x00\xff\x51\x03\x07\xa1\x20" + b"\x00\x90\x3c\x64" + vlq(960) + b"\x80\x3c\x40"
         + b"\x00\xff\x2f\x00")
with open(sys.argv[1], "wb") as f:
    f.write(b"MThd" + (6).to_bytes(4, "big") + (0).to_bytes(2, "big") + (1).to_bytes(2, "big")
            + (480).to_bytes(2, "big"))
    f.write(b"MTrk" + len(track).to_bytes(4, "big") + track)
PY
session=svt-win-$$
# A tmux server that runs already keeps its own environment: the player is given ours.
play() {  # play SONG: starts the player in a fresh terminal
    rm -f "$work/play.exit"
    tmux kill-session -t "$session" 2>/dev/null || true
    tmux new-session -d -s "$session" -x 120 -y 20 \
        "cd '$work' && env PULSE_SERVER='$PULSE_SERVER' WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all \
         WINEDLLOVERRIDES='$WINEDLLOVERRIDES' '$wine' '$build/bin/sorvanto-cli.exe' play '$1'; \
         echo \$? > '$work/play.exit'; sleep 600"
}
await_exit() {  # await_exit SECONDS
    for _ in $(seq $(($1 * 10))); do [ -f "$work/play.exit" ] && return 0; sleep 0.1; done
    tmux capture-pane -p -t "$session" || true
    return 1
}
play "$work/short.mid"
await_exit 120 || { echo "the short song did not play to its end" >&2; exit 1; }
[ "$(cat "$work/play.exit")" = 0 ] || { tmux capture-pane -p -t "$session"; exit 1; }
echo "a one-second song played to its end"

play "$work/demo.mid"
for _ in $(seq 600); do
    tmux capture-pane -p -t "$session" | grep -q 'demo' && break
    sleep 0.1
done
sleep 2
tmux send-keys -t "$session" q
await_exit 60 || { echo "play did not end on q" >&2; exit 1; }
[ "$(cat "$work/play.exit")" = 0 ] || { tmux capture-pane -p -t "$session"; exit 1; }
echo "the demo song ended on the key q"

echo "== the desktop program"
# The persistent server and the services it started have no screen (they began before the
# desktop script's Xvfb), and windows of later programs would go nowhere: end them, so that
# the desktop script's first program starts them anew on its screen.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
"$root/scripts/test-windows-desktop.sh" "$build" "$linux"

echo "== compressed (SoundFont 3) fonts: sorvanto-cli.exe against the Linux build"
# The installer's font, and MuseScore's larger one where it is installed.
font=/usr/share/sounds/sf3/MuseScore_General_Lite.sf3
for f in "$font" /usr/share/sounds/sf3/MuseScore_General_Full.sf3; do
    [ -f "$f" ] || continue
    name=$(basename "$f" .sf3)
    "$linux/bin/sorvanto-cli" convert "$work/demo.mid" -s "$f" -o "$work/linux-$name.wav" -q
    "$wine" "$build/bin/sorvanto-cli.exe" convert "$work/demo.mid" -s "$f" -o "$work/windows-$name.wav" -q
    cmp "$work/windows-$name.wav" "$work/linux-$name.wav"
    echo "$name: the same $(stat -c %s "$work/linux-$name.wav") bytes"
done
cp "$work/linux-MuseScore_General_Lite.wav" "$work/linux-sf3.wav"

echo "== the installer, silently into a fresh prefix"
setup=$(ls "$build"/sorvanto-setup-*.exe)
"$linux/bin/sorvanto-cli" convert "$work/demo.mid" -s "$font" -o "$work/linux-sf3.mp3" -q
# A prefix of its own without a persistent server, so that waiting for the server waits for
# the (un)installer, which hands its work to a copy of itself and returns at once.
wineserver -k 2>/dev/null || true
export WINEPREFIX=$work/fresh-prefix
"$wine" wineboot --init >/dev/null 2>&1
wineserver -w
"$wine" "$setup" /S >/dev/null 2>&1
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Sorvanto"
for f in sorvanto.exe sorvanto-cli.exe gogo.dll Sorvanto.sf2 "Sorvanto.sf2 licence.txt" uninstall.exe; do
    [ -f "$installed/$f" ] || { ls -la "$installed" >&2 || true; echo "not installed: $f" >&2; exit 1; }
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Sorvanto"
[ -f "$menu/Sorvanto.lnk" ] || { ls -la "$menu" >&2 || true; echo "no Start-menu entry for sorvanto.exe" >&2; exit 1; }
# A shell link names its target in the local code page, in UTF-16, or both.
python3 -c 'import sys; d = open(sys.argv[1], "rb").read().lower(); sys.exit(not (b"sorvanto.exe" in d or "sorvanto.exe".encode("utf-16-le") in d))' "$menu/Sorvanto.lnk" || { echo "the Start-menu entry does not start sorvanto.exe" >&2; exit 1; }
echo "installed $(du -sh "$installed" | cut -f1) from a setup of $(du -h "$setup" | cut -f1)"
"$wine" "$installed/sorvanto-cli.exe" convert "$work/demo.mid" -o "$work/installed.wav" -q
cmp "$work/installed.wav" "$work/linux-sf3.wav"
echo "the installed program renders the demo with its compressed font as Linux does"
"$wine" "$installed/sorvanto-cli.exe" convert "$work/demo.mid" -f mp3 -o "$work/installed.mp3" -q
mpg123 -q -s "$work/installed.mp3" >"$work/installed.pcm"
mpg123 -q -s "$work/linux-sf3.mp3" >"$work/linux.pcm"
same_sound "$work/installed.pcm" "$work/linux.pcm" "the installed gogo.dll's MP3"
reg_has() {  # reg_has KEY PATTERN: the key's values, as reg.exe lists them, match
    "$wine" reg query "$1" 2>/dev/null | tr -d '\r' | grep -q "$2"
}
reg_has 'HKLM\Software\Classes\.mid' 'Sorvanto.Song' || { echo "no association of .mid" >&2; exit 1; }
reg_has 'HKLM\Software\Classes\.kar' 'Sorvanto.Song' || { echo "no association of .kar" >&2; exit 1; }
reg_has 'HKLM\Software\Classes\Sorvanto.Song\shell\open\command' 'sorvanto' ||
    { echo "no open command for songs" >&2; exit 1; }
echo "the songs' association is in the registry"

# A setting of the user's stays through a silent uninstall.
"$wine" reg add 'HKCU\Software\Brenkow Europe\Calda Sorvanto' /v DragDropFormat /t REG_DWORD /d 2 /f >/dev/null 2>&1
"$wine" "$installed/uninstall.exe" /S >/dev/null 2>&1
wineserver -w
if [ -e "$installed" ]; then
    find "$installed" >&2
    echo "the uninstaller left files in Program Files" >&2
    exit 1
fi
[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Sorvanto" ] ||
    { echo "the uninstaller left the Start-menu entries" >&2; exit 1; }
! reg_has 'HKLM\Software\Classes\.mid' 'Sorvanto.Song' || { echo "the .mid association stayed" >&2; exit 1; }
! "$wine" reg query 'HKLM\Software\Classes\Sorvanto.Song' >/dev/null 2>&1 ||
    { echo "the song type stayed in the registry" >&2; exit 1; }
! "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvanto' >/dev/null 2>&1 ||
    { echo "the uninstall entry stayed" >&2; exit 1; }
reg_has 'HKCU\Software\Brenkow Europe\Calda Sorvanto' 'DragDropFormat' ||
    { echo "the user's settings went with the program" >&2; exit 1; }
echo "the silent uninstaller removed every file and key of ours and kept the user's settings"
