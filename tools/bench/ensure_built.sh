#!/usr/bin/env bash
# Builds a benchmark target when its program is missing:
#   tools/bench/ensure_built.sh <path/to/program.exe> <target>
# The program's folder is the build dir (configured for mingw-w64 if needed).
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=$1
target=$2
if [ ! -f "$exe" ]; then
    cmake -S "$source_dir" -B "$(dirname "$exe")" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$(dirname "$exe")" --target "$target" -j2 >/dev/null
fi
