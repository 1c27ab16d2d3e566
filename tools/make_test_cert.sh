#!/usr/bin/env bash
# Makes a test certificate authority and a server certificate for 127.0.0.1
# in folder $1 (once). Nothing trusts them unless a test installs the authority
# into its own throwaway Wine prefix.
set -eu
dir=$1
[ -f "$dir/server.crt" ] && exit 0
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9
[ -f "$dir/server.crt" ] && exit 0
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 \
    -subj "/CN=Pakvane Test CA" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr \
    -subj "/CN=127.0.0.1" >/dev/null 2>&1
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n' > ext.cnf
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt \
    -days 3650 -extfile ext.cnf >/dev/null 2>&1
openssl x509 -in ca.crt -outform der -out ca.der
