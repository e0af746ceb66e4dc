#!/usr/bin/env bash
# Prepares a 64-bit Wine prefix for tests once: boot, fonts, unmanaged X11 windows.
# Usage: tools/wine-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$prefix/.mola-ready" ] && exit 0
mkdir -p "$prefix"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
touch "$prefix/.mola-ready"
