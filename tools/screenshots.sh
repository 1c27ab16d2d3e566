#!/usr/bin/env bash
# Regenerates the README's pictures (docs/screenshots/): builds Pakvane and the
# demo catalog, runs the program on a virtual screen against the demo server and
# drives it with xdotool (tools/drive/screenshots.py). Extra arguments go to
# that script, e.g. --display 150 or --scale 100.
set -eu
cd "$(dirname "$0")/.."
bash tools/install_deps.sh

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win --target Pakvane demo_packages -j"$(nproc)"

exec python3 tools/drive/screenshots.py --exe build/win/Pakvane.exe --packages build/win/demo_packages \
    --prefix build/screenshots/wineprefix --out docs/screenshots "$@"
