# Shared by sorvanto.sh, test.sh and bench/run.sh: the Debian packages the project
# needs, and the idempotent installer. Sourced, not run.

# Build tools and libraries.
SVT_BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
                    libbenchmark-dev python3 clang-format)
# SoundFonts and tools used by the program and its tests.
SVT_RUNTIME_PACKAGES=(fluid-soundfont-gm timgm6mb-soundfont)
SVT_TEST_PACKAGES=(sox)
# The MP3 encoder library is built on LAME; its tests decode with mpg123 and compare with lame.
SVT_BUILD_PACKAGES+=(libmp3lame-dev)
SVT_RUNTIME_PACKAGES+=(libmp3lame0)
SVT_TEST_PACKAGES+=(lame mpg123)
# Live playback goes through ALSA; its configuration package brings the "null" device the tests use.
SVT_BUILD_PACKAGES+=(libasound2-dev)
SVT_RUNTIME_PACKAGES+=(libasound2 libasound2-data)
# The player's terminal test runs it under tmux; a PulseAudio null sink, reached through ALSA's
# pulse plugin, is the device that plays in real time.
SVT_TEST_PACKAGES+=(tmux pulseaudio pulseaudio-utils libasound2-plugins)
# The desktop program is Qt 6 Widgets (Core, Gui, Widgets; lrelease builds the translations);
# its end-to-end test runs it under Xvfb and types with xdotool; the Windows program's desktop test
# takes its screenshots with import.
SVT_BUILD_PACKAGES+=(qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools)
SVT_RUNTIME_PACKAGES+=(libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n)
SVT_TEST_PACKAGES+=(xvfb xauth xdotool imagemagick)
# Compressed (SoundFont 3) fonts hold Ogg Vorbis streams; the tests' font builder encodes them
# with libvorbisenc, which comes with the same development package.
SVT_BUILD_PACKAGES+=(libvorbis-dev)
SVT_RUNTIME_PACKAGES+=(libvorbisfile3 libvorbis0a libogg0)
# FLAC, Ogg Vorbis and Opus files are encoded with libFLAC, libvorbisenc and libopusenc; the
# tests decode them with Debian's tools and read the tags back with them (mid3v2 for MP3,
# exiftool for WAV).
SVT_BUILD_PACKAGES+=(libflac-dev libopus-dev libopusenc-dev)
SVT_RUNTIME_PACKAGES+=(libflac12 libopus0 libopusenc0 libvorbisenc2)
SVT_TEST_PACKAGES+=(flac vorbis-tools opus-tools python3-mutagen libimage-exiftool-perl)
# The recipe of doc/Scaling.md runs GNU parallel; the conversion tests mount a small file system
# of their own (util-linux's unshare and mount) where the machine allows it.
SVT_TEST_PACKAGES+=(parallel util-linux)
# The Windows build: Debian's mingw-w64 compilers with POSIX threads, GoogleTest's sources, and
# Wine to run what they make (./test.sh --windows). dpkg-source unpacks the source packages of
# the libraries Debian lacks for mingw-w64 (scripts/windows-deps.sh); NSIS makes the installer,
# which carries MuseScore's compressed General MIDI font. The desktop program is tested on a
# virtual screen (Xvfb), found and typed into with xdotool, photographed with ImageMagick, its
# menu read by tesseract, and heard through parec.
SVT_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix googletest wine64 wine tmux pulseaudio dpkg-dev pkgconf
                      nsis musescore-general-soundfont-small mpg123 xvfb xdotool imagemagick
                      pulseaudio-utils tesseract-ocr)

svt_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# svt_ensure_packages PKG... - installs what is missing; silent when nothing is.
svt_ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 || { echo "Need root or sudo to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    if [ -z "${SVT_APT_UPDATED:-}" ]; then
        "${sudo[@]}" apt-get update -qq || return 1
        SVT_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null || return 1
}

# svt_build PRESET [cmake -D options...] - configures when needed and builds.
svt_build() {
    local preset=$1; shift
    local root; root=$(svt_root)
    if [ ! -f "$root/build/$preset/build.ninja" ] || [ $# -gt 0 ]; then
        cmake -S "$root" --preset "$preset" "$@" >/dev/null || return 1
    fi
    cmake --build "$root/build/$preset" -j "$(nproc)" || return 1
}
