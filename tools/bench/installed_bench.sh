#!/usr/bin/env bash
# Runs installed_bench under Wine in its own prefix: 2,000 Uninstall entries by
# default, written under HKCU and removed again by the program.
#   tools/bench/installed_bench.sh [path/to/installed_bench.exe] [entries] [catalog apps] [rounds]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/installed_bench.exe}
source "$source_dir/tools/bench/wine_bench_env.sh"
bench_under_wine "$exe" installed_bench bench-wineprefix
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
wine "$exe" "${2:-2000}" "${3:-500}" "${4:-10}"
