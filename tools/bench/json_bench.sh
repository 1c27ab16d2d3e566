#!/usr/bin/env bash
# The JSON parser's speed against RapidJSON's DOM Parse (a native build of
# both, -O2, best of interleaved rounds), then its parse time and peak memory
# under Wine on two 8 MiB documents, one process each.
#   tools/bench/json_bench.sh [path/to/json_bench.exe] [rounds]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/json_bench.exe}
rounds=${2:-12}

native_dir=$source_dir/build/bench-native
mkdir -p "$native_dir"
g++ -std=c++17 -O2 -I"$source_dir" "$source_dir/tools/bench/json_speed.cpp" "$source_dir"/core/json*.cpp \
    -o "$native_dir/json_speed"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
"$native_dir/json_speed" "$rounds"

"$source_dir/tools/bench/ensure_built.sh" "$exe" json_bench
build_dir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
out=$(mktemp /tmp/pakvane-json-bench.XXXXXX)
trap 'rm -f "$out"' EXIT
echo "under Wine, one process per document:"
for document in numbers apps; do
    # Into a file: Wine's helper processes would hold a pipe open.
    wine "$exe" "$document" >"$out" 2>&1 </dev/null
    tr -d '\r' <"$out"
done
