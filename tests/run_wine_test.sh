#!/usr/bin/env bash
# Runs one Windows test program under Wine beside its own development catalog
# server (HTTP and HTTPS) on 127.0.0.1. The server works on a copy of the test
# catalog, so nothing in the repository changes.
set -u
source_dir=$(cd "$(dirname "$0")/.." && pwd)
exe=$1
shift
build_dir=$(cd "$(dirname "$exe")" && pwd)

export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"

tls_dir=$build_dir/tls
"$source_dir/tools/make_test_cert.sh" "$tls_dir" >/dev/null

work=$(mktemp -d /tmp/pakvane-test.XXXXXX)
cp -r "$source_dir/tests/fixtures/catalog" "$work/catalog"
python3 "$source_dir/tools/catalog_server.py" --port 0 --catalog "$work/catalog" \
    --reports "$work/reports.jsonl" --port-file "$work/ports.json" \
    --tls-port 0 --tls-cert "$tls_dir/server.crt" --tls-key "$tls_dir/server.key" \
    >"$work/server.log" 2>&1 &
server=$!
smallfs=
cleanup() {
    kill "$server" 2>/dev/null; wait "$server" 2>/dev/null
    if [ -n "$smallfs" ]; then umount "$smallfs" 2>/dev/null || umount -l "$smallfs" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT

# The download tests see a full disk on a 1 MiB tmpfs; without the right to
# mount one they skip that test, the run goes on.
if [ "$(basename "$exe")" = download_tests.exe ]; then
    mkdir -p "$work/smallfs"
    if mount -t tmpfs -o size=1m tmpfs "$work/smallfs" 2>/dev/null; then
        smallfs=$work/smallfs
        export PAKVANE_TEST_SMALLFS=$smallfs
    fi
fi

for _ in $(seq 1 100); do
    [ -s "$work/ports.json" ] && break
    sleep 0.1
done
if [ ! -s "$work/ports.json" ]; then
    echo "catalog server did not start:"; cat "$work/server.log"; exit 1
fi
http_port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$work/ports.json")
https_port=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["https"])' "$work/ports.json")
export PAKVANE_TEST_SERVER=http://127.0.0.1:$http_port
export PAKVANE_TEST_TLS_SERVER=https://127.0.0.1:$https_port
export PAKVANE_TEST_WORK=$work
export PAKVANE_TEST_BUILD=$build_dir
export PAKVANE_TEST_SOURCE=$source_dir

# Wine's helper processes (services, devices) outlive the program and would
# hold a pipe open: CTest would wait for them. A file has no such reader.
wine "$exe" "$@" >"$work/test.out" 2>&1
rc=$?
cat "$work/test.out"
if [ $rc -ne 0 ]; then
    echo "---- catalog server log (last 40 lines)"; tail -n 40 "$work/server.log"
fi
exit $rc
