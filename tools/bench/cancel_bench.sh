#!/usr/bin/env bash
# Starts the development catalog server and runs cancel_bench under Wine
# against it: how fast a cancelled download lets go of its connection.
#   tools/bench/cancel_bench.sh [path/to/cancel_bench.exe] [rounds]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/cancel_bench.exe}
rounds=${2:-3}
source "$source_dir/tools/bench/wine_bench_env.sh"
bench_under_wine "$exe" cancel_bench

work=$(mktemp -d /tmp/pakvane-bench.XXXXXX)
cp -r "$source_dir/tests/fixtures/catalog" "$work/catalog"
python3 "$source_dir/tools/catalog_server.py" --port 0 --catalog "$work/catalog" --quiet \
    --port-file "$work/ports.json" >"$work/server.log" 2>&1 &
server=$!
cleanup() { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 1 100); do
    [ -s "$work/ports.json" ] && break
    sleep 0.1
done
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$work/ports.json")
wine "$exe" "http://127.0.0.1:$port" "$rounds"
