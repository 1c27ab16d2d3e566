#!/usr/bin/env bash
# Peak memory of the real program, window up, against the development
# server's hostile answers: a 20000 x 20000 icon and two 8 MiB bootstrap
# answers (see hostile_memory.py). Each case runs its own Pakvane.exe on its
# own virtual screen in the prefix build/win/hostile-wineprefix.
#   tools/bench/hostile_memory.sh [path/to/Pakvane.exe] [case...]
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$source_dir/build/win/Pakvane.exe}
shift || true
build_dir=$(cd "$(dirname "$exe")" && pwd)
"$source_dir/tools/bench/ensure_built.sh" "$exe" Pakvane
probe=$build_dir/window_probe.exe
[ -f "$probe" ] || probe=$source_dir/build/win/window_probe.exe
"$source_dir/tools/bench/ensure_built.sh" "$probe" window_probe
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
exec python3 "$source_dir/tools/bench/hostile_memory.py" --exe "$exe" --probe "$probe" \
    --prefix "$build_dir/hostile-wineprefix" "$@"
