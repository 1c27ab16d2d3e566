#!/usr/bin/env bash
# Makes sure the Wine prefix $1 exists, with Chinese fonts mapped. Safe to call
# from several test runs at once.
set -eu
prefix=$1
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.pakvane-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei' /t REG_SZ \
        /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    wineserver -w || true
    touch "$prefix/.pakvane-ready"
fi
