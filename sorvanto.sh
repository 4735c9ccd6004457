#!/usr/bin/env bash
# Installs what is missing, builds the release binaries when needed and runs
# sorvanto-cli with the given arguments. Without arguments it shows the bundled
# demo song and converts it into build/demo.wav. "gui [FILE...]" starts the desktop
# program instead, with the songs named listed in its playlist.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}"
svt_build release >/dev/null
cli=build/release/bin/sorvanto-cli
if [ "${1:-}" = gui ]; then
    shift
    exec build/release/bin/sorvanto --open "$@"
fi
if [ $# -eq 0 ]; then
    "$cli" info data/demo.mid
    exec "$cli" convert data/demo.mid -o build/demo.wav --overwrite
fi
exec "$cli" "$@"
