#!/usr/bin/env bash
# Makes sure the Wine prefix $1 exists, with Chinese fonts mapped and, when $2
# is given, screens at that many DPI (96 is 100 %, 144 is 150 %). Safe to call
# from several test runs at once. A prefix keeps the DPI it was made with: use
# one prefix per DPI.
set -eu
prefix=$1
dpi=${2:-}
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.pakvane-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei' /t REG_SZ \
        /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    if [ -n "$dpi" ]; then
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    fi
    # Wine reads the DPI when its server starts: this one ends before anything runs.
    wineserver -w || true
    touch "$prefix/.pakvane-ready"
fi
