#!/usr/bin/env bash
# The libraries Debian does not package for mingw-w64, built from Debian's own source packages
# into static libraries for the Windows build:
#   lame                    the MP3 encoder under gogo.dll
#   libogg, libvorbis       compressed (SoundFont 3) samples, Ogg Vorbis output
#   flac                    FLAC output (libFLAC alone)
#   opus, libopusenc        Ogg Opus output
# usage: scripts/windows-deps.sh [FOLDER]      (default: build/windows-deps)
# FOLDER/prefix holds the headers and libraries; FOLDER/stamp names the packages and versions
# they were built from. A run whose list, versions, compiler and build steps match the stamp
# does nothing; a run without network keeps a complete earlier build.
# apt works through a source list, state and cache of this folder's own: the machine's apt
# configuration is read for its mirror only, never changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/windows-deps}
mkdir -p "$out"
out=$(cd "$out" && pwd)
host=x86_64-w64-mingw32
cc=$host-gcc-posix
packages=(lame libogg libvorbis flac opus libopusenc)
jobs=$(nproc)

command -v "$cc" >/dev/null || { echo "windows-deps: $cc is missing (package g++-mingw-w64-x86-64-posix)" >&2; exit 1; }
command -v dpkg-source >/dev/null || { echo "windows-deps: dpkg-source is missing (package dpkg-dev)" >&2; exit 1; }

# The Debian mirror the machine already uses, for its deb-src of bookworm.
mirror=
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    mirror=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' "$f")
    [ -n "$mirror" ] && break
done
if [ -z "$mirror" ]; then
    mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
             awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }')
fi
mirror=${mirror:-http://deb.debian.org/debian}
mirror=${mirror%/}
security=${mirror%/debian}/debian-security

apt_dir=$out/apt
mkdir -p "$apt_dir/etc/sources.list.d" "$apt_dir/etc/preferences.d" "$apt_dir/state/lists/partial" \
         "$apt_dir/cache/archives/partial"
cat >"$apt_dir/etc/sources.list" <<EOF
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $security bookworm-security main
EOF
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/etc/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/etc/sources.list.d"
          -o "Dir::Etc::Preferences=$apt_dir/etc/preferences"
          -o "Dir::Etc::PreferencesParts=$apt_dir/etc/preferences.d"
          -o "Dir::State=$apt_dir/state" -o "Dir::Cache=$apt_dir/cache"
          # The folders belong to whoever runs this; apt's download user may not reach them.
          -o APT::Sandbox::User=root -o Debug::NoLocking=1 -o Acquire::Languages=none)
[ "$(id -u)" -eq 0 ] || apt_opts+=(-o APT::Sandbox::User="$(id -un)")

if ! apt-get "${apt_opts[@]}" -qq update >"$apt_dir/update.log" 2>&1; then
    if [ -f "$out/stamp" ]; then
        echo "windows-deps: cannot reach $mirror; keeping the libraries built from: $(head -1 "$out/stamp")" >&2
        exit 0
    fi
    cat "$apt_dir/update.log" >&2
    echo "windows-deps: cannot read Debian's source index from $mirror" >&2
    exit 1
fi

# The newest version of each source package in bookworm and its updates.
declare -A version
for pkg in "${packages[@]}"; do
    best=
    while read -r v; do
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done < <(apt-cache "${apt_opts[@]}" showsrc --only-source "$pkg" 2>/dev/null | awk '/^Version:/ { print $2 }')
    [ -n "$best" ] || { echo "windows-deps: no source package $pkg in bookworm" >&2; exit 1; }
    version[$pkg]=$best
done

key="$(for pkg in "${packages[@]}"; do printf '%s=%s ' "$pkg" "${version[$pkg]}"; done)"
key="$key
$("$cc" --version | head -1)
script $(sha256sum "$0" | cut -c1-16)"
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$key" ] && [ -f "$out/prefix/lib/libopusenc.a" ]; then
    echo "windows-deps: up to date ($(head -1 "$out/stamp"))"
    exit 0
fi

echo "windows-deps: building $(head -1 <<<"$key")into $out/prefix"
rm -f "$out/stamp"
rm -rf "$out/prefix" "$out/src"
mkdir -p "$out/prefix" "$out/src"
prefix=$out/prefix
src=$out/src

for pkg in "${packages[@]}"; do
    (cd "$src" && apt-get "${apt_opts[@]}" -qq source "$pkg=${version[$pkg]}" >"$src/$pkg.fetch.log" 2>&1) || {
        cat "$src/$pkg.fetch.log" >&2
        echo "windows-deps: apt-get source $pkg=${version[$pkg]} failed" >&2
        exit 1
    }
done

# configure_and_make PKG [configure options...]: an out-of-source build of the unpacked package.
# The Debian patches are applied by dpkg-source; the shipped configure scripts are used as they
# are (no autoreconf), so the build needs nothing but the compilers.
configure_and_make() {
    local pkg=$1; shift
    local dir
    dir=$(find "$src" -maxdepth 1 -type d -name "$pkg-*" | head -1)
    [ -n "$dir" ] || { echo "windows-deps: $pkg was not unpacked" >&2; exit 1; }
    # dpkg-source leaves patched files newer than what make generates from them; make must not
    # try to run automake again. One time for all of them: touched one by one, aclocal.m4 may
    # come out a few nanoseconds newer than config.h.in, and make then wants autoheader.
    local now
    now=$(date +%Y%m%d%H%M.%S)
    find "$dir" -name configure -o -name Makefile.in -o -name aclocal.m4 -o -name config.h.in |
        xargs touch -t "$now"
    mkdir -p "$src/build-$pkg"
    local log=$src/build-$pkg/build.log
    echo "windows-deps: $pkg ${version[$pkg]}"
    (cd "$src/build-$pkg" &&
        "$dir/configure" --host=$host --prefix="$prefix" --enable-static --disable-shared \
            CC="$cc" CFLAGS="${CFLAGS_FOR_PKG:--O2}" CPPFLAGS="${CPPFLAGS_FOR_PKG:-}" \
            PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" "$@" &&
        make -j"$jobs" && make install) >"$log" 2>&1 || {
        tail -40 "$log" >&2
        echo "windows-deps: building $pkg failed (whole log: $log)" >&2
        exit 1
    }
}

# LAME: the library alone (gogo.dll encodes; no front end, no decoder).
CFLAGS_FOR_PKG="-O2" configure_and_make lame --disable-frontend --disable-decoder --disable-gtktest \
    --disable-analyzer-hooks
configure_and_make libogg
# The flags libvorbis' configure chooses on x86 Linux (it knows no such line for mingw), and
# with them the decoder's code: compressed samples decode to the same bits as with Debian's
# Linux library, and songs render the same. Without -ffast-math the MDCT tables come from
# cos() and sin() one by one, which on Windows miss cos(pi/2); with it gcc asks for sincos(),
# which mingw-w64 links in from its own library, the same on every Windows version.
CFLAGS_FOR_PKG="-O2 -ffast-math -mno-ieee-fp -fsigned-char" configure_and_make libvorbis \
    --disable-docs --disable-examples --disable-oggtest --with-ogg="$prefix"
# mingw-w64 10 has no __stack_chk_fail or fortified functions of its own: the programs linked
# with these libraries would need libssp, so the codecs are built without those checks.
configure_and_make flac --disable-ogg --disable-cpplibs --disable-programs --disable-examples \
    --disable-doxygen-docs --disable-stack-smash-protection --disable-fortify-source \
    --disable-thorough-tests --disable-oggtest
# opus' configure fortifies whenever gcc compiles, unless the caller has chosen a level.
CPPFLAGS_FOR_PKG="-D_FORTIFY_SOURCE=0" configure_and_make opus --disable-doc \
    --disable-extra-programs --disable-stack-protector --disable-hardening
configure_and_make libopusenc --disable-doc --disable-examples

# Only headers, libraries and the licence texts that go with the programs made of them are
# kept; the sources stay out of the cache.
rm -rf "$prefix/share" "$prefix/bin"
mkdir -p "$prefix/licences"
for pkg in "${packages[@]}"; do
    dir=$(find "$src" -maxdepth 1 -type d -name "$pkg-*" | head -1)
    # libFLAC's own licence; COPYING.GPL and the rest belong to FLAC's programs and documents.
    licence=$dir/COPYING
    [ -f "$licence" ] || licence=$dir/COPYING.Xiph
    cp "$licence" "$prefix/licences/$pkg.txt"
done
rm -rf "$src"
find "$prefix/lib" -name '*.la' -delete
echo "$key" >"$out/stamp"
echo "windows-deps: done ($(du -sh "$prefix" | cut -f1) in $prefix)"
