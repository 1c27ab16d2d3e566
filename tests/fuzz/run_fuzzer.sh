#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time: fuzzer, seed corpus, work corpus, seconds.
# New inputs go to the work corpus; the seeds in the repository are only read.
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work" "$seeds"
