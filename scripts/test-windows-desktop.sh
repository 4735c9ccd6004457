#!/usr/bin/env bash
# The Windows desktop program under Wine on a virtual screen (Xvfb), as a user meets it:
#   1. sorvanto.exe opens with the demo song in English and in German: its window is found
#      (xdotool), drawn (a screenshot of many colours) and its menu bar reads "File ..." or
#      "Datei ..." without the link and download menus, whose shipped addresses are
#      placeholders (read from the screenshot by tesseract: Wine keeps a menu's texts inside
#      the process that made it, out of another program's reach);
#   2. the song opened with "--open" (as the songs' association opens it) plays by itself:
#      sound reaches the PulseAudio null sink (its monitor recorded with parec) and the time
#      field moves; A shows the playlist window; Q and Yes quit;
#   3. with Windows' apps set to dark the window is dark, and it turns light when the
#      setting changes while it runs;
#   4. a song named on the command line is converted in the compact window, which closes
#      by itself; the WAV is byte for byte the Linux build's render.
# Every wait is bounded. Prints the time from start to the window.
# usage: scripts/test-windows-desktop.sh WINDOWS_BUILD LINUX_BUILD [SCREENSHOT_FOLDER]
# Run by scripts/test-windows.sh, which provides the Wine prefix and the sound server; alone
# it starts both for itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
shots=${3:-}

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$build/wine-prefix}
work=$(mktemp -d)
xvfb_pid= pulse_pid= app_pid= rec_pid=
cleanup() {
    for pid in $rec_pid $app_pid; do kill "$pid" 2>/dev/null || true; done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "desktop: $*" >&2; exit 1; }
now_ms() { date +%s%3N; }

if [ -z "${PULSE_SERVER:-}" ]; then
    mkdir -m 700 "$work/pulse-run"
    HOME=$work XDG_RUNTIME_DIR=$work/pulse-run pulseaudio --daemonize=no -n \
        --load=module-null-sink \
        --load="module-native-protocol-unix socket=$work/pulse-run/native auth-anonymous=1" \
        --exit-idle-time=-1 --disable-shm=yes --use-pid-file=no --no-cpu-limit \
        >"$work/pulse.log" 2>&1 &
    pulse_pid=$!
    for _ in $(seq 100); do [ -S "$work/pulse-run/native" ] && break; sleep 0.1; done
    export PULSE_SERVER=unix:$work/pulse-run/native
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
fi

# A screen of our own, on the first display number no other server holds.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=:$display

probe() { "$wine" "$build/tests/sorvanto-window-probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
settings='HKCU\Software\Brenkow Europe\Calda Sorvanto'
# Where Windows keeps the apps' light or dark choice; without the value the program is light.
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
"$wine" reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1 || true
cp "$root/data/demo.mid" "$work/demo.mid"
demo_win=$("$wine" winepath -w "$work/demo.mid" 2>/dev/null | tr -d '\r')
if [ -n "$shots" ]; then
    # Pictures show the song in the users' public music folder, not in a temporary one.
    music=$WINEPREFIX/drive_c/users/Public/Music
    mkdir -p "$music"
    cp "$root/data/demo.mid" "$music/demo.mid"
    demo_win=$("$wine" winepath -w "$music/demo.mid" 2>/dev/null | tr -d '\r')
fi

# start LANGUAGE ARGS...: sorvanto.exe in the background, with the settings of a first start.
start() {
    local lang=$1
    shift
    "$wine" reg delete "$settings" /f >/dev/null 2>&1 || true
    SORVANTO_LANG=$lang "$wine" "$build/bin/sorvanto.exe" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
}
# await_exit SECONDS: the program ended within the time.
await_exit() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" || true; app_pid=; return 0; }
        sleep 0.1
    done
    return 1
}
# x_window TITLE: the X window of the top-level window whose title is TITLE.
x_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] &&
            { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# press XWINDOW KEY: the key typed into the window, as a user types it.
press() {
    xdotool windowfocus --sync "$1" || true
    sleep 0.3
    xdotool key "$2"
}
# colours PNG: how many colours the picture holds.
colours() { identify -format %k "$1"; }
# menu_words PNG: the words of the menu bar at the window's top.
menu_words() {
    convert "$1" -crop 420x20+0+0 +repage -resize 300% "$work/menu.png"
    tesseract "$work/menu.png" - --psm 7 2>/dev/null | tr -s ' \n' '  '
}

# One run of the full window in LANGUAGE (2 English, 3 German), with the menu's first word.
full_window() {
    local lang=$1 first_menu=$2 name=$3
    local t0 t1
    t0=$(now_ms)
    start "$lang" --open "$demo_win"
    probe wait SorvantoMain 60 >/dev/null || { cat "$work/app.log" >&2; fail "no main window ($name)"; }
    t1=$(now_ms)
    echo "$name: start to window $((t1 - t0)) ms"
    local title xid
    title=$(probe caption SorvantoMain)
    xid=$(x_window "$title") || fail "xdotool finds no window \"$title\""
    # The opened song plays by itself, without a key: its sound is recorded from now on.
    parec -d @DEFAULT_MONITOR@ --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 >"$work/$name.pcm" &
    rec_pid=$!
    sleep 1.5  # the engine lists the song
    import -window "$xid" "$work/$name.png"
    local n
    n=$(colours "$work/$name.png")
    [ "$n" -ge 64 ] || fail "$name: the window shows only $n colours"
    local menu
    menu=$(menu_words "$work/$name.png")
    case "$menu" in
        *Links*|*Download*) fail "$name: the menu offers links without a real address: $menu" ;;
        "$first_menu "*) echo "$name: $n colours; menu: $menu" ;;
        *) fail "$name: the menu reads \"$menu\", not \"$first_menu ...\"" ;;
    esac
    probe fields | grep -q 'demo' || fail "$name: the demo song is not listed in the title"

    # No key was pressed: sound reaches the null sink's monitor, and the time field moves.
    sleep 3
    kill "$rec_pid" 2>/dev/null || true
    wait "$rec_pid" 2>/dev/null || true
    rec_pid=
    # (bench/win32-measure.sh times the sound; here it only has to come.)
    python3 - "$work/$name.pcm" "$name" <<'PY' || fail "$name: the opened song is not heard"
import array, sys
data = open(sys.argv[1], "rb").read()
a = array.array("h")
a.frombytes(data[: len(data) // 2 * 2])
loud = sum(1 for x in a if abs(x) > 300)
if loud == 0:
    sys.exit(1)
print(f"{sys.argv[2]}: the opened song plays: {loud} loud samples at the sink, peak {max(abs(x) for x in a)}")
PY
    probe fields | grep -Eq '00:00:(0[1-9]|[1-5][0-9]) von' || fail "$name: the time field does not move"
    [ -n "$shots" ] && import -window "$xid" "$work/$name-playing.png"

    # A shows the playlist window.
    press "$xid" a
    probe wait SorvantoPlaylist 10 >/dev/null || fail "$name: A shows no playlist window"
    echo "$name: A shows the playlist window"
    if [ -n "$shots" ]; then
        sleep 1
        import -window root "$work/$name-screen.png"
    fi

    # Q asks, Yes quits.
    press "$xid" q
    probe wait '#32770' 10 >/dev/null || fail "$name: Q asks nothing"
    local box
    box=$(x_window "$(probe caption '#32770')") || fail "$name: the question has no window"
    press "$box" Return
    await_exit 20 || fail "$name: the program did not end after Q and Yes"
    echo "$name: Q and Yes ended the program"
    if [ -n "$shots" ]; then
        mkdir -p "$shots"
        cp "$work/$name.png" "$work/$name-playing.png" "$work/$name-screen.png" "$shots/"
    fi
}

echo "== sorvanto.exe: the full window"
full_window 2 File english
full_window 3 Datei german

echo "== sorvanto.exe: the dark scheme, taken at start and followed"
# lightness PNG: the picture's mean lightness, 0 to 100.
lightness() { convert "$1" -colorspace Gray -format '%[fx:int(100*mean)]' info:; }
apps_light() { "$wine" reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
apps_light 0
start 2 --open "$demo_win"
probe wait SorvantoMain 60 >/dev/null || { cat "$work/app.log" >&2; fail "no main window (dark)"; }
xid=$(x_window "$(probe caption SorvantoMain)") || fail "xdotool finds no window (dark)"
sleep 1.5
import -window "$xid" "$work/english-dark.png"
dark=$(lightness "$work/english-dark.png")
# Windows tells every window of the change; the program asks again and follows.
apps_light 1
probe setting ImmersiveColorSet || fail "the main window took no setting change"
sleep 1
import -window "$xid" "$work/light-again.png"
light=$(lightness "$work/light-again.png")
"$wine" reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1 || true
[ "$dark" -lt 35 ] || fail "the window is not dark in the dark scheme (lightness $dark of 100)"
[ "$light" -gt 70 ] || fail "the window did not follow the change to light (lightness $light of 100)"
echo "dark scheme: lightness $dark of 100 at start, $light after the change to light"
press "$xid" q
probe wait '#32770' 10 >/dev/null || fail "dark: Q asks nothing"
box=$(x_window "$(probe caption '#32770')") || fail "dark: the question has no window"
press "$box" Return
await_exit 20 || fail "dark: the program did not end after Q and Yes"
[ -n "$shots" ] && cp "$work/english-dark.png" "$shots/"

echo "== sorvanto.exe: a song on the command line, converted in the compact window"
mkdir -p "$work/compact"
cp "$root/data/demo.mid" "$work/compact/demo.mid"
start 2 "$("$wine" winepath -w "$work/compact/demo.mid" 2>/dev/null | tr -d '\r')"
# The window first says which format the songs are saved in.
probe wait '#32770' 60 >/dev/null || fail "the compact window says nothing about the format"
box=$(x_window "$(probe caption '#32770')") || fail "the format message has no window"
[ -n "$shots" ] && import -window root "$work/compact-screen.png" && cp "$work/compact-screen.png" "$shots/"
press "$box" Return
# The window's title counts the percent; at the end it says the work is done, and closes.
sleep 2
probe wait '#32770' 180 >/dev/null || fail "the compact window did not end its conversion"
box=$(x_window "$(probe caption '#32770')") || fail "the end message has no window"
press "$box" Return
await_exit 30 || fail "the compact window did not close after converting"
[ -f "$work/compact/demo.wav" ] || { ls -la "$work/compact" >&2; fail "no demo.wav beside the song"; }
"$linux/bin/sorvanto-cli" convert "$work/demo.mid" -o "$work/linux.wav" -q
cmp "$work/compact/demo.wav" "$work/linux.wav" || fail "the compact window's WAV differs from Linux's"
echo "the compact window's WAV: the same $(stat -c %s "$work/linux.wav") bytes as on Linux"
