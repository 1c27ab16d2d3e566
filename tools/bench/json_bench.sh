#!/usr/bin/env bash
# The JSON parser on two 8 MiB documents under Wine: time and peak memory.
#   tools/bench/json_bench.sh [path/to/json_bench.exe]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/json_bench.exe}
"$source_dir/tools/bench/ensure_built.sh" "$exe" json_bench
build_dir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
out=$(mktemp /tmp/pakvane-json-bench.XXXXXX)
trap 'rm -f "$out"' EXIT
for document in numbers apps; do
    # Into a file: Wine's helper processes would hold a pipe open.
    wine "$exe" "$document" >"$out" 2>&1 </dev/null
    tr -d '\r' <"$out"
done
