#!/usr/bin/env bash
# The test command: installs what is missing, builds the Windows program and its
# tests with mingw-w64, builds the platform-free code natively with sanitizers
# and fuzzers, prepares a Wine prefix and runs every test with CTest.
set -eu
cd "$(dirname "$0")/.."
source_dir=$PWD
bash tools/install_deps.sh

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DPAKVANE_NATIVE_DIR="$source_dir/build/native" >/dev/null
cmake --build build/win -j"$jobs"

export WINEPREFIX=$source_dir/build/win/wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tools/wine_prefix.sh "$WINEPREFIX"

# Installers may open windows: give Wine a virtual screen.
display=""
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
wineserver -p
# Start Wine's services now, detached from CTest's pipes.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
cleanup() { wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT

ctest --test-dir build/win --output-on-failure -j2
