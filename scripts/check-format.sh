#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
                                     'bench/*.cpp' 'bench/*.h' 'encoder/*.cpp' 'encoder/*.h')
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ files found" >&2; exit 1; }
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files clean"
