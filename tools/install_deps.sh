#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -eu
packages=(g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth fonts-wqy-microhei xdotool
          imagemagick cmake make googletest clang libclang-rt-14-dev python3 openssl nsis
          wixl msitools osslsigncode
          nginx curl procps util-linux unicode-data rapidjson-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
