#!/usr/bin/env bash
# Builds Pakvane, starts the development catalog server on the demo catalog and
# runs the client under Wine against it, in its own Wine prefix under build/.
# Without a display it starts a virtual one and saves a screenshot instead.
set -eu
cd "$(dirname "$0")/.."
source_dir=$PWD
bash tools/install_deps.sh

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win --target Pakvane demo_installer -j"$(nproc)"

export WINEPREFIX=$source_dir/build/run/wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tools/wine_prefix.sh "$WINEPREFIX"

work=$(mktemp -d /tmp/pakvane-run.XXXXXX)
cp -r tools/demo_catalog "$work/catalog"
# A real (NSIS) installer built from tools/nsis joins the demo catalog.
cp build/win/pakvane_demo_setup.exe "$work/catalog/files/"
python3 - "$work/catalog/catalog.json" <<'PY'
import json, sys
path = sys.argv[1]
catalog = json.load(open(path, encoding="utf-8"))
catalog["apps"].insert(0, {"id": 100, "name": "Pakvane Demo App", "version": "1.0.0",
                           "categoryIds": [catalog["categories"][0]["id"]],
                           "description": "一个真实的 NSIS 安装包：静默安装并写入卸载信息。",
                           "file": "pakvane_demo_setup.exe", "downloads": 1, "updatedAt": 1765152000000})
json.dump(catalog, open(path, "w", encoding="utf-8"), ensure_ascii=False)
PY
python3 tools/catalog_server.py --port 0 --catalog "$work/catalog" --port-file "$work/ports.json" \
    >"$work/server.log" 2>&1 &
server=$!
xvfb=""
cleanup() {
    kill "$server" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -s "$work/ports.json" ] && break; sleep 0.1; done
port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$work/ports.json")
echo "Demo catalog server on http://127.0.0.1:$port"

# Point the client at the demo server through its per-user config.json.
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
mkdir -p "$appdata/Lorimund"
printf '{\n  "server": "http://127.0.0.1:%s",\n  "channel": "default",\n  "downloadDir": ""\n}\n' "$port" \
    >"$appdata/Lorimund/config.json"

if [ -z "${DISPLAY:-}" ]; then
    Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:77
    wine build/win/Pakvane.exe &
    app=$!
    sleep 30
    import -window root build/run/screenshot.png
    echo "No display: ran on a virtual screen; screenshot saved to build/run/screenshot.png"
    wineserver -k || true
    wait "$app" 2>/dev/null || true
else
    wine build/win/Pakvane.exe
fi
