#!/usr/bin/env bash
# Runs ui_bench under Wine against the development catalog server with a
# generated catalog of 10,000 apps (plus a category of 10 and 98 more), each
# with its own icon address.
#   tools/bench/ui_bench.sh [path/to/ui_bench.exe] [frames per case] [rows per scroll step] [profile]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/ui_bench.exe}
"$source_dir/tools/bench/ensure_built.sh" "$exe" ui_bench
build_dir=$(cd "$(dirname "$exe")" && pwd)

work=$(mktemp -d /tmp/pakvane-uibench.XXXXXX)
server=""
xvfb=""
cleanup() {
    if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/catalog/icons" "$work/catalog/files"
python3 - "$work/catalog" <<'PY'
import json, struct, sys, zlib
folder = sys.argv[1]

def png(side):
    rows = b"".join(b"\0" + bytes(v for x in range(side) for v in (x * 2 % 256, y * 2 % 256, 160, 255))
                    for y in range(side))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))

open(folder + "/icons/bench.png", "wb").write(png(128))
categories = [{"id": "all", "name": "全部软件"}, {"id": "picks", "name": "精选推荐"}]
categories += [{"id": "c%02d" % i, "name": "分类 %d" % i} for i in range(98)]
apps = []
for i in range(10000):
    ids = ["all"] + (["picks"] if i < 10 else []) + ["c%02d" % (i % 98)]
    apps.append({"id": i + 1, "name": "应用 %d %s" % (i, "Studio Professional" if i % 7 == 0 else "工具"),
                 "version": "%d.%d.%d" % (i % 9, i % 13, i), "categoryIds": ids,
                 "description": "第 %d 款应用：一句话介绍它能做什么" % i,
                 "icon": "/icons/bench.png?app=%d" % i, "hasPackage": True, "packageSize": 1000000 + i * 1377,
                 "md5": "", "downloads": i, "updatedAt": 1700000000000 + i * 86400000})
json.dump({"categories": categories, "apps": apps}, open(folder + "/catalog.json", "w"), ensure_ascii=False)
PY

python3 "$source_dir/tools/catalog_server.py" --port 0 --catalog "$work/catalog" --quiet \
    --digest-cache "" --port-file "$work/ports.json" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 1 100); do
    [ -s "$work/ports.json" ] && break
    sleep 0.1
done
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$work/ports.json")

export WINEPREFIX=${WINEPREFIX:-$build_dir/bench-wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 120); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
    done
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=":$display"
    sleep 1
fi
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
wine "$exe" "http://127.0.0.1:$port" "${2:-200}" "${3:-1}" ${4:-}
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
