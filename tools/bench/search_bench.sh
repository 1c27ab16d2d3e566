#!/usr/bin/env bash
# The local search over 10,000 made-up apps, natively and under Wine: the time
# to build the index and to filter for a 1-, 2- and 4-letter query.
#   tools/bench/search_bench.sh [path/to/search_bench.exe] [apps] [rounds] [seed]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/search_bench.exe}
shift || true
args=("${1:-10000}" "${2:-50}" "${3:-19}")

native=$source_dir/build/bench-native/search_bench
mkdir -p "$(dirname "$native")"
c++ -std=c++17 -O2 -I"$source_dir" -o "$native" "$source_dir/tools/bench/search_bench.cpp" \
    "$source_dir/core/pinyin.cpp" "$source_dir/core/pinyin_table.cpp" "$source_dir/net/app_search.cpp"
echo "== native ($(c++ --version | head -1))"
"$native" "${args[@]}"

"$source_dir/tools/bench/ensure_built.sh" "$exe" search_bench
build_dir=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
out=$(mktemp /tmp/pakvane-search-bench.XXXXXX)
trap 'rm -f "$out"' EXIT
echo "== Wine ($(basename "$exe"))"
# Into a file: Wine's helper processes would hold a pipe open.
wine "$exe" "${args[@]}" >"$out" 2>&1 </dev/null
tr -d '\r' <"$out"
