#!/usr/bin/env bash
# Long-running fuzzing of one platform-free parser:
#   tools/fuzz.sh NAME [SECONDS] [libFuzzer options...]
# NAME is a target of tests/fuzz (json for tests/fuzz/json_fuzz.cpp). Without
# SECONDS it runs until stopped (Ctrl-C). It builds the native fuzzers with clang
# in build/native, starts from the seed corpus tests/fuzz/corpus/NAME (only read)
# and keeps what it finds in build/native/fuzz_corpus/NAME; a crashing input is
# written to build/native/fuzz_crashes/NAME.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 NAME [SECONDS] [libFuzzer options...]" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
name=${1%_fuzz}
shift
seconds=0  # libFuzzer's "no limit"
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
if [ ! -f "tests/fuzz/${name}_fuzz.cpp" ]; then
    echo "no fuzzer tests/fuzz/${name}_fuzz.cpp" >&2
    exit 2
fi

bash tools/install_deps.sh
cmake -S . -B build/native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$(nproc)" --target "${name}_fuzz"

work=build/native/fuzz_corpus/$name
crashes=build/native/fuzz_crashes/$name
mkdir -p "$work" "$crashes"
exec "build/native/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
     -artifact_prefix="$crashes/" "$@" "$work" "tests/fuzz/corpus/$name"
