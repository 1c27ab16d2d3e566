#!/usr/bin/env bash
# Builds Pakvane and its demo catalog (real NSIS installers and zip archives),
# serves the catalog with the development server (packages paced, so a download
# can be watched) and runs the client under Wine against it, in its own Wine
# prefix under build/run. Without a display it runs on a virtual screen, drives
# one download of a real installer and saves screenshots in build/run/.
set -eu
cd "$(dirname "$0")/.."
bash tools/install_deps.sh

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win --target Pakvane demo_packages -j"$(nproc)"

exec python3 tools/drive/run_demo.py --exe build/win/Pakvane.exe --packages build/win/demo_packages \
    --prefix build/run/wineprefix --out build/run "$@"
