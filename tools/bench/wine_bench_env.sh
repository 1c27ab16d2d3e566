# Sourced by the benchmark scripts that run a Windows program under Wine:
#   bench_under_wine <path/to/program.exe> <target> [prefix folder name]
# builds the target when the program is missing, sets build_dir to the
# program's folder and prepares WINEPREFIX (default: wineprefix in build_dir).
bench_under_wine() {
    local exe=$1 target=$2 prefix_name=${3:-wineprefix}
    local source_dir
    source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    "$source_dir/tools/bench/ensure_built.sh" "$exe" "$target"
    build_dir=$(cd "$(dirname "$exe")" && pwd)
    export WINEPREFIX=${WINEPREFIX:-$build_dir/$prefix_name}
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"
}
