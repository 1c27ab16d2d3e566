#!/usr/bin/env bash
# Runs installed_bench under Wine in its own prefix: 2,000 Uninstall entries by
# default, written under HKCU and removed again by the program.
#   tools/bench/installed_bench.sh [path/to/installed_bench.exe] [entries] [catalog apps] [rounds]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/installed_bench.exe}
if [ ! -f "$exe" ]; then
    cmake -S "$source_dir" -B "$(dirname "$exe")" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$(dirname "$exe")" --target installed_bench -j2 >/dev/null
fi
build_dir=$(cd "$(dirname "$exe")" && pwd)

export WINEPREFIX=${WINEPREFIX:-$build_dir/bench-wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
wine "$exe" "${2:-2000}" "${3:-500}" "${4:-10}"
