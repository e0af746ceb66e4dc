#!/usr/bin/env bash
# Runs a command in one Wine session: an Xvfb display of its own and one Wine server kept
# alive for the whole command, so that Wine's services start once for everything it runs
# (under emulation every Wine process start costs seconds). The caller sets WINEPREFIX.
# Usage: tools/wine-session.sh COMMAND [ARG...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"
[ $# -gt 0 ] || { echo "usage: wine-session.sh COMMAND [ARG...]" >&2; exit 2; }
: "${WINEPREFIX:?wine-session.sh: set WINEPREFIX}"
export MOLA_WINE_SESSION=$WINEPREFIX

# The server is stopped however the command ends; xvfb-run then stops the display.
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
wineserver=$1
shift
trap "\"$wineserver\" -k 2>/dev/null || true" EXIT
trap "exit 130" INT TERM HUP
"$wineserver" -p </dev/null >/dev/null 2>&1
"$@"' _ "$wineserver" "$@"
