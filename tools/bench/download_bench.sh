#!/usr/bin/env bash
# Download benchmark: a local nginx serves a 1 GiB random file; it is fetched
# through the engine and through a bare WinHTTP loop (both under Wine, by
# download_bench.exe) and with native curl; then fileMd5Hex is set against md5sum.
#
#   tools/bench/download_bench.sh [build dir] [rounds] [all|relay]
#
# Then the engine alone through relays, one stream against several
# connections: without cuts, cutting every connection after 50 MB
# (PAKVANE_BENCH_DROP_EVERY bytes), pacing every connection at 32 MB/s
# (PAKVANE_BENCH_PACE bytes per second), and 24 MB at 2 MB/s per connection;
# "relay" runs only that part.
#
# The build dir defaults to build/bench; it is configured and the target built
# when download_bench.exe is missing. Needs root only to install nginx.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build/bench}
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)  # Wine wants an absolute prefix
rounds=${2:-1}
mode=${3:-all}
drop_every=${PAKVANE_BENCH_DROP_EVERY:-50000000}
exe=$build_dir/download_bench.exe

if [ ! -f "$exe" ]; then
    cmake -S "$source_dir" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build_dir" --target download_bench -j2 >/dev/null
fi

nginx_bin=$(command -v nginx || true)
if [ -z "$nginx_bin" ] && [ -x /usr/sbin/nginx ]; then nginx_bin=/usr/sbin/nginx; fi
if [ -z "$nginx_bin" ]; then
    echo "installing nginx"
    apt-get install -y --no-install-recommends nginx-light >/dev/null 2>&1 ||
        apt-get install -y --no-install-recommends nginx >/dev/null
    nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
fi

export WINEPREFIX=$build_dir/bench-wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$source_dir/tools/wine_prefix.sh" "$WINEPREFIX"

tmp=$(mktemp -d /tmp/pakvane-bench.XXXXXX)
nginx_pid=
relay_pid=
cleanup() {
    if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; wait "$relay_pid" 2>/dev/null || true; fi
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/www" "$tmp/out" "$tmp/nginx"
echo "generating 1 GiB of random data"
head -c 1G /dev/urandom >"$tmp/www/big.bin"
sync  # else the first loop measured pays for writing the source file back
# nginx workers drop root; they must be able to read the file.
chmod 755 "$tmp" "$tmp/www"
chmod 644 "$tmp/www/big.bin"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$tmp/nginx/nginx.conf" <<CONF
worker_processes 1;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    default_type application/octet-stream;
    client_body_temp_path $tmp/nginx/body;
    proxy_temp_path $tmp/nginx/proxy;
    fastcgi_temp_path $tmp/nginx/fastcgi;
    uwsgi_temp_path $tmp/nginx/uwsgi;
    scgi_temp_path $tmp/nginx/scgi;
    server {
        listen 127.0.0.1:$port;
        root $tmp/www;
    }
}
CONF
"$nginx_bin" -p "$tmp/nginx" -c "$tmp/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
url=http://127.0.0.1:$port/big.bin
for _ in $(seq 1 50); do
    curl -sf -o /dev/null -r 0-0 "$url" && break
    sleep 0.1
done

TIMEFORMAT='%R %U %S'
# Prints "<name> bytes=<n> seconds=<wall> cpu=<user+sys>" for a native command.
measure_native() {
    local name=$1 bytes=$2
    shift 2
    local times
    times=$( { time "$@" >/dev/null; } 2>&1 | tail -n 1)
    read -r wall user sys <<<"$times"
    echo "$name bytes=$bytes seconds=$wall cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')"
}

results=$tmp/results.txt
expected=$(md5sum "$tmp/www/big.bin" | cut -d' ' -f1)
if [ "$mode" = all ]; then
echo "engine and bare WinHTTP loop under Wine ($rounds round(s))"
# Into a file: Wine's helper processes outlive the program and would keep a pipe open.
if ! wine "$exe" "$url" "Z:${tmp//\//\\}\\out" "$rounds" >"$tmp/wine.out" 2>&1; then
    cat "$tmp/wine.out"; exit 1
fi
tr -d '\r' <"$tmp/wine.out" | grep -E '^(engine|bare|md5) ' | tee "$results"

size=$(stat -c %s "$tmp/www/big.bin")
for _ in $(seq 1 "$rounds"); do
    rm -f "$tmp/curl.bin"
    measure_native curl "$size" curl -sf -o "$tmp/curl.bin" "$url" | tee -a "$results"
done
measure_native md5sum "$size" md5sum "$tmp/www/big.bin" | sed "s/\$/ md5=$expected/" | tee -a "$results"

echo
python3 - "$results" "$expected" <<'PY'
import statistics
import sys

rows = {}
for line in open(sys.argv[1]):
    name, *fields = line.split()
    rows.setdefault(name, []).append(dict(f.split("=", 1) for f in fields))

def mbps(v):
    return int(v["bytes"]) / float(v["seconds"]) / 1e6

def best(name):
    # The fastest round is the one least disturbed by the rest of the machine.
    return max(rows[name], key=mbps)

def median(name):
    return statistics.median(mbps(v) for v in rows[name])

print("%-8s %10s %10s %10s %12s" % ("", "best MB/s", "seconds", "cpu s", "median MB/s"))
for name in ("engine", "bare", "curl", "md5", "md5sum"):
    if name in rows:
        v = best(name)
        print("%-8s %10.1f %10.3f %10.3f %12.1f" % (name, mbps(v), float(v["seconds"]), float(v["cpu"]), median(name)))
pieces = sum(int(v["pieces"]) for v in rows["bare"])
print("bare loop: %.0f bytes per piece on average" % (sum(int(v["bytes"]) for v in rows["bare"]) / pieces))
e, b = best("engine"), best("bare")
print()
print("engine / bare loop:  %.2f best, %.2f median; cpu %.2f" %
      (mbps(e) / mbps(b), median("engine") / median("bare"), float(e["cpu"]) / max(float(b["cpu"]), 1e-9)))
print("engine / curl:       %.2f best, %.2f median" % (mbps(e) / mbps(best("curl")), median("engine") / median("curl")))
print("fileMd5Hex / md5sum: %.2f" % (mbps(best("md5")) / mbps(best("md5sum"))))
digest = best("md5")["md5"]
sizes = {v["bytes"] for name in ("engine", "bare", "curl") for v in rows[name]}
ok = digest == sys.argv[2] and len(sizes) == 1
if len(sizes) != 1:
    print("downloaded sizes differ: %s" % sorted(sizes))
print("digests: fileMd5Hex %s, md5sum %s: %s" % (digest, sys.argv[2], "equal" if ok else "DIFFERENT"))
sys.exit(0 if ok else 1)
PY
fi

# The engine through relays on 127.0.0.1, one stream against several
# connections in the same run. The engine shares a file among connections only
# when the catalog's size equals the server's: the bench passes the file's
# size for "several" and none (0) for "one". Relays: one that cuts every
# connection after drop_every bytes (each cut costs one resumed attempt), and
# one that paces every connection, as many servers do. Then the issue's
# figure: 24 MB paced at 2 MB/s per connection (one connection needs 12 s)
# must arrive through several within 6.6 s. Every file must match its digest.
pace=${PAKVANE_BENCH_PACE:-32000000}
head -c 24000000 /dev/urandom >"$tmp/www/small.bin"
chmod 644 "$tmp/www/small.bin"
small_expected=$(md5sum "$tmp/www/small.bin" | cut -d' ' -f1)
big_size=$(stat -c %s "$tmp/www/big.bin")
echo
echo "engine through relays on 127.0.0.1: cut every $drop_every bytes, paced at $pace B/s per connection"
relay_ok=0
relay_case() {  # label file expected-md5 size cut pace
    local label=$1 file=$2 md5=$3 file_size=$4 cut=$5 relay_pace=$6
    for streams in one several; do
        local catalog=0
        [ "$streams" = several ] && catalog=$file_size
        rm -rf "$tmp/relay-out" "$tmp/relay.port"
        python3 "$source_dir/tools/bench/drop_relay.py" "$port" "$cut" --pace "$relay_pace" \
            --port-file "$tmp/relay.port" >/dev/null 2>&1 &
        relay_pid=$!
        for _ in $(seq 1 50); do [ -s "$tmp/relay.port" ] && break; sleep 0.1; done
        local relay_url=http://127.0.0.1:$(cat "$tmp/relay.port")/$file
        if ! wine "$exe" "$relay_url" "Z:${tmp//\//\\}\\relay-out" 1 engine "$catalog" >"$tmp/wine.out" 2>&1; then
            cat "$tmp/wine.out"; exit 1
        fi
        kill "$relay_pid" 2>/dev/null || true; wait "$relay_pid" 2>/dev/null || true; relay_pid=
        local line digest
        line=$(tr -d '\r' <"$tmp/wine.out" | grep -E '^engine ')
        digest=$(tr -d '\r' <"$tmp/wine.out" | grep -E '^md5 ' | sed 's/.*md5=//')
        python3 - "$label" "$streams" "$line" "$digest" "$md5" <<'PY' || relay_ok=1
import sys
label, streams, line, digest, expected = sys.argv[1:]
v = dict(f.split("=", 1) for f in line.split()[1:])
seconds = float(v["seconds"])
print("%-28s %-7s %8.1f MB/s %8.3f s cpu %7.3f s  digest %s" %
      (label, streams, int(v["bytes"]) / seconds / 1e6, seconds, float(v["cpu"]),
       "equal" if digest == expected else "DIFFERENT"))
if label.startswith("24 MB") and streams == "several" and seconds > 6.6:
    print("  over the 6.6 s the issue allows")
    sys.exit(1)
sys.exit(0 if digest == expected else 1)
PY
    done
}
relay_case "1 GiB, never cut" big.bin "$expected" "$big_size" 0 0
relay_case "1 GiB, cut every $drop_every" big.bin "$expected" "$big_size" "$drop_every" 0
relay_case "1 GiB, paced $pace B/s" big.bin "$expected" "$big_size" 0 "$pace"
relay_case "24 MB, paced 2000000 B/s" small.bin "$small_expected" 24000000 0 2000000
exit $relay_ok
