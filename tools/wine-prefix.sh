#!/usr/bin/env bash
# Prepares a 64-bit Wine prefix for tests once: boot, fonts, unmanaged X11 windows. Where
# 32-bit programs run (natively, or after tools/enable-i386.sh), the prefix also gets its
# 32-bit half, so that one prefix runs both Windows builds: Wine's services in it are 64-bit
# and run at full speed even when the 32-bit programs are emulated.
# A prefix made before 32-bit programs could run lacks that half; it is made again.
# Each COPY is made a copy of the prepared prefix (again when the prefix was made again since),
# for a Wine server of its own beside the prefix's: the GUI scenarios' lanes. A copy needs no
# boot, and copying is safe while the prefix's server runs: the server replaces its registry
# files whole, and nothing else in a prepared prefix changes.
# Prints one line when it creates the prefix or a copy, nothing when they are ready already.
# Usage: tools/wine-prefix.sh PREFIX [COPY...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:?usage: wine-prefix.sh PREFIX [COPY...]}
shift
. "$root/tools/wine-env.sh"
export WINEPREFIX=$prefix

if "$wine32" --version >/dev/null 2>&1; then
    kind="64-bit with its 32-bit half"
else
    kind="64-bit only (32-bit programs do not run here)"
fi
marker=$prefix/.mola-ready
if [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$kind" ]; then
    if [ "${MOLA_WINE_SESSION:-}" = "$prefix" ]; then
        # Its server is kept alive: waiting for it to end would never return.
        echo "wine-prefix: prepare $prefix before its Wine session starts" >&2
        exit 1
    fi
    what="created $prefix"
    if [ -e "$prefix" ]; then
        # Half made, or made before 32-bit programs could run here.
        what="made $prefix again (it was $(cat "$marker" 2>/dev/null || echo unfinished))"
        "$wineserver" -k 2>/dev/null || true
        rm -rf "$prefix"
    fi

    start=$(date +%s)
    mkdir -p "$prefix"
    fail() { echo "wine-prefix: $* (see $prefix.boot.log)" >&2; exit 1; }
    timeout -k 10 900 "$wine64" wineboot -i >"$prefix.boot.log" 2>&1 || true
    timeout -k 10 600 "$wineserver" -w || fail "Wine did not settle after wineboot"
    if [ "$kind" = "64-bit with its 32-bit half" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
        fail "$prefix has no 32-bit half after wineboot"
    fi
    # Debian's Wine does not find its own fonts: without them "MS Sans Serif" falls back to
    # another font and dialogs change size.
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    # With no window manager under Xvfb, every window close otherwise stalls about 2 s.
    timeout -k 10 600 "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$prefix.boot.log" 2>&1 ||
        fail "cannot set unmanaged X11 windows"
    timeout -k 10 600 "$wineserver" -w || fail "Wine did not settle after the registry change"
    echo "$kind" >"$marker"
    rm -f "$prefix.boot.log"
    echo "wine-prefix: $what: $kind, in $(($(date +%s) - start)) s"
fi

made=$(stat -c '%i %Y' "$marker")
for copy in "$@"; do
    [ "$(cat "$copy/.mola-copy-of" 2>/dev/null)" = "$made" ] && continue
    rm -rf "$copy" "$copy.tmp"
    mkdir -p "$(dirname "$copy")"
    # Without the file that names the server's folder: the copy's server makes its own.
    cp -a "$prefix" "$copy.tmp"
    rm -f "$copy.tmp/wineserver"
    echo "$made" >"$copy.tmp/.mola-copy-of"
    mv "$copy.tmp" "$copy"
    echo "wine-prefix: copied $prefix to $copy"
done
