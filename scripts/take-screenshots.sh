#!/usr/bin/env bash
# Takes the README's screenshots from the real desktop program under Xvfb: the main window with
# the demo song paused a few seconds in, in the light and the dark scheme, in English and in
# German, and the playlist window. Each run has settings of its own (nothing of the user's is
# read or changed) and plays into a PulseAudio null sink, which takes the sound at the pace it
# is heard (ALSA's null device would race through the song).
#
#   scripts/take-screenshots.sh [BUILD_FOLDER]     (default: build/release)
#   scripts/take-screenshots.sh --windows [WINDOWS_BUILD [LINUX_BUILD]]
#                                   (default: build/windows and build/release)
# The second takes sorvanto.exe's under Wine: English, German, the dark scheme and the playlist
# window, from the run of scripts/test-windows-desktop.sh, which keeps its pictures when asked.
#
# Needs xvfb-run, xdotool and ImageMagick's import (the project's test packages). Look at every
# picture before keeping it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${1:-}" = --windows ]; then
  shots=$(mktemp -d)
  trap 'rm -rf "$shots"' EXIT
  "$root/scripts/test-windows-desktop.sh" "${2:-$root/build/windows}" "${3:-$root/build/release}" "$shots"
  out=$root/doc/screenshots
  cp "$shots/english-playing.png" "$out/win32-english.png"
  cp "$shots/german-playing.png" "$out/win32-german.png"
  cp "$shots/english-dark.png" "$out/win32-dark.png"
  # The screen holds the two windows on black: cut to them.
  convert "$shots/english-screen.png" -trim +repage "$out/win32-playlist.png"
  echo "take-screenshots: $out/win32-english.png win32-german.png win32-dark.png win32-playlist.png"
  exit 0
fi
build=${1:-$root/build/release}
program=$build/bin/sorvanto
out=$root/doc/screenshots
song=$root/data/demo.mid
for tool in xvfb-run xdotool import; do
  command -v "$tool" > /dev/null || { echo "take-screenshots: $tool is missing" >&2; exit 1; }
done
[ -x "$program" ] || { echo "take-screenshots: build $program first" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
pulse=
trap 'if [ -n "$pulse" ]; then kill $pulse 2>/dev/null; wait $pulse 2>/dev/null; fi; rm -rf "$work"' EXIT
command -v pulseaudio > /dev/null || { echo "take-screenshots: pulseaudio is missing" >&2; exit 1; }
mkdir -p "$work/pulse" && chmod 700 "$work/pulse"
HOME=$work XDG_RUNTIME_DIR=$work/pulse pulseaudio --daemonize=no -n --load=module-null-sink \
  "--load=module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
  --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit > "$work/pulse.log" 2>&1 &
pulse=$!
for i in $(seq 100); do [ -S "$work/pulse/native" ] && break; sleep 0.05; done
[ -S "$work/pulse/native" ] || { cat "$work/pulse.log" >&2; exit 1; }
printf 'pcm.sorvanto_pulse {\n  type pulse\n  server "unix:%s"\n}\n' "$work/pulse/native" \
  > "$work/.asoundrc"

# One run of the program inside Xvfb: $1 scheme (light/dark), $2 language (2 English, 3 German),
# $3 the picture's name.
shoot() {
  local scheme=$1 language=$2 name=$3
  local home=$work/$name
  mkdir -p "$home/run" "$home/Music" && chmod 700 "$home/run"
  cp "$work/.asoundrc" "$home/.asoundrc"
  # Opened from a folder of the user's, so that the path field shows no build machine's path.
  cp "$song" "$home/Music/demo.mid"
  cat > "$home/inside.sh" <<INSIDE
set -u
cd '$home'
HOME='$home' XDG_CONFIG_HOME='$home/config' XDG_RUNTIME_DIR='$home/run' \
SORVANTO_ALSA_DEVICE=sorvanto_pulse SORVANTO_LANG=$language SORVANTO_COLOR_SCHEME=$scheme \
SORVANTO_TIME_LOG=time.log '$program' --open Music/demo.mid > app.log 2>&1 &
app=\$!
wid=\$(timeout 60 xdotool search --sync --onlyvisible --name '^Calda Sorvanto\$' | head -1)
[ -n "\$wid" ] || { cat app.log; kill \$app; exit 1; }
xdotool windowmove "\$wid" 0 0
xdotool windowsize "\$wid" 1100 700
xdotool windowfocus --sync "\$wid"
sleep 0.5
# The opened song plays by itself; paused a few seconds in, the panel shows a song under way.
for i in \$(seq 300); do
  awk '{split(\$1,t,":"); if (t[1]*3600+t[2]*60+t[3] >= 4) f=1} END {exit !f}' time.log 2>/dev/null && break
  sleep 0.05
done
xdotool key space
sleep 1
import -window "\$wid" '$out/$name.png'
xdotool key q
sleep 0.5
xdotool key Return
for i in \$(seq 100); do kill -0 \$app 2>/dev/null || break; sleep 0.1; done
kill \$app 2>/dev/null || true
INSIDE
  xvfb-run -a -s '-screen 0 1280x1024x24' bash "$home/inside.sh"
  echo "take-screenshots: $out/$name.png"
}

# The playlist window beside the main window, four songs listed (the demo song and three our
# own song writer makes), in the light scheme.
shoot_playlist() {
  local home=$work/playlist
  mkdir -p "$home/run" "$home/Music" && chmod 700 "$home/run"
  cp "$song" "$home/Music/demo.mid"
  python3 "$root/bench/make-gm-songs.py" "$home/Music"
  # Each gets a title: a track name at the start of its first track.
  python3 - "$home/Music" <<'TITLES'
import os, struct, sys
for name, title in (("rock", "Garage Rock"), ("tutti", "Orchestral Tutti"), ("dance", "Night Dance")):
    path = os.path.join(sys.argv[1], name + ".mid")
    data = bytearray(open(path, "rb").read())
    at = data.index(b"MTrk")
    meta = b"\x00\xff\x03" + bytes([len(title)]) + title.encode()
    size = struct.unpack(">I", data[at + 4:at + 8])[0] + len(meta)
    data[at + 4:at + 8] = struct.pack(">I", size)
    data[at + 8:at + 8] = meta
    open(path, "wb").write(bytes(data))
TITLES
  cat > "$home/inside.sh" <<INSIDE
set -u
cd '$home'
HOME='$home' XDG_CONFIG_HOME='$home/config' XDG_RUNTIME_DIR='$home/run' \
SORVANTO_ALSA_DEVICE=sorvanto_null SORVANTO_LANG=2 SORVANTO_COLOR_SCHEME=light \
'$program' --open Music/demo.mid Music/rock.mid Music/tutti.mid Music/dance.mid > app.log 2>&1 &
app=\$!
wid=\$(timeout 60 xdotool search --sync --onlyvisible --name '^Calda Sorvanto\$' | head -1)
[ -n "\$wid" ] || { cat app.log; kill \$app; exit 1; }
xdotool windowmove "\$wid" 0 0
xdotool windowfocus --sync "\$wid"
sleep 1
xdotool key a
list=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Playlist\$' | head -1)
[ -n "\$list" ] || { cat app.log; kill \$app; exit 1; }
# Without a window manager the window placed beside the main one runs off the screen.
xdotool windowmove --sync "\$list" 0 560
xdotool windowsize --sync "\$list" 520 300
sleep 2
import -window "\$list" '$out/playlist.png'
kill \$app 2>/dev/null || true
INSIDE
  printf 'pcm.sorvanto_null {\n  type null\n}\n' > "$home/.asoundrc"
  xvfb-run -a -s '-screen 0 1280x1024x24' bash "$home/inside.sh"
  echo "take-screenshots: $out/playlist.png"
}

[ -n "${SVT_ONLY_PLAYLIST:-}" ] || { shoot light 2 main-window
shoot dark 2 main-window-dark
shoot light 3 main-window-german
shoot dark 3 main-window-german-dark; }
shoot_playlist
