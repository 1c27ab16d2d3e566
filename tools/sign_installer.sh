#!/usr/bin/env bash
# Signs an installer (Authenticode, SHA-256) with a self-signed code-signing
# certificate kept in folder CERT_DIR, made there on first use. Nothing trusts
# that certificate: the program shows its signer as an unverified publisher.
#
#   tools/sign_installer.sh CERT_DIR IN OUT
set -eu
dir=$1
in=$2
out=$3
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9
if [ ! -f "$dir/codesign.crt" ]; then
    cat > "$dir/codesign.cnf" <<'CNF'
[req]
distinguished_name = name
x509_extensions = codesign
utf8 = yes
string_mask = utf8only
prompt = no
[name]
CN = Lorimund 示例发布者
O = Lorimund
[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
CNF
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -config "$dir/codesign.cnf" \
        -keyout "$dir/codesign.key" -out "$dir/codesign.crt.tmp" >/dev/null 2>&1
    mv "$dir/codesign.crt.tmp" "$dir/codesign.crt"
fi
rm -f "$out.tmp"
osslsigncode sign -h sha256 -certs "$dir/codesign.crt" -key "$dir/codesign.key" -in "$in" -out "$out.tmp" >/dev/null
mv "$out.tmp" "$out"
