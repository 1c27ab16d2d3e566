#!/usr/bin/env bash
# Starts the development catalog server on a generated catalog of 10,000 apps
# and runs bootstrap_bench under Wine against it.
#   tools/bench/bootstrap_bench.sh [path/to/bootstrap_bench.exe] [rounds]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/bootstrap_bench.exe}
rounds=${2:-10}
source "$source_dir/tools/bench/wine_bench_env.sh"
bench_under_wine "$exe" bootstrap_bench

work=$(mktemp -d /tmp/pakvane-bench.XXXXXX)
mkdir -p "$work/catalog/files" "$work/catalog/icons"
python3 - "$work/catalog/catalog.json" <<'PY'
import json, sys
categories = [{"id": "c%d" % i, "name": "分类 %d" % i} for i in range(20)]
apps = []
for i in range(10000):
    apps.append({"id": i + 1, "name": "应用 %d Application" % i, "version": "v%d.%d.%d" % (i % 7, i % 13, i % 5),
                 "categoryIds": ["c%d" % (i % 20), "c%d" % ((i * 7) % 20)],
                 "description": "第 %d 个应用：一段不太长的说明文字 with some ASCII text too." % i,
                 "icon": "/icons/%d.png" % i, "packageSize": 1048576 + i * 4096,
                 "md5": "%032x" % (i * 2654435761), "hasPackage": i % 3 != 0,
                 "downloads": i * 37, "updatedAt": 1700000000000 + i * 60000})
json.dump({"categories": categories, "apps": apps}, open(sys.argv[1], "w", encoding="utf-8"), ensure_ascii=False)
PY

python3 "$source_dir/tools/catalog_server.py" --port 0 --catalog "$work/catalog" \
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
