#!/usr/bin/env bash
# The main job: runs MolaFlashSim.exe (the tool on simulated cards) under Wine.
#   With a display ($DISPLAY set): opens the tool in a window there; use it as on a machine
#   with cards. The simulation is configured by the MOLA_SIM_* variables (see README.md).
#   With no display (or --headless): runs it under Xvfb, updates each simulated card with its
#   own interface's program (PCI on a PCI card, CardBus on a CardBus card), prints each
#   page's status text, saves a screenshot of each finished page and names the files.
# Installs what it needs and builds the x86-64 Windows tree when it is missing (32-bit
# programs cannot run on every machine, 64-bit ones can).
# Usage: tools/run-sim.sh [--headless] [SCREENSHOT_PREFIX]   (default out/run-sim/sheet)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
build=$out/win64

headless=0
if [ "${1:-}" = "--headless" ]; then
    headless=1
    shift
fi
[ -n "${DISPLAY:-}" ] || headless=1
shot_prefix=${1:-$out/run-sim/sheet}

"$root/tools/install-deps.sh" all

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" >"$out/win64.configure.log" 2>&1 ||
        { cat "$out/win64.configure.log"; exit 1; }
fi
cmake --build "$build" --target MolaFlashSim sim_demo >/dev/null

wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$out/wineprefix
"$root/tools/wine-prefix.sh" "$WINEPREFIX"

if [ $headless -eq 0 ]; then
    echo "MolaFlashSim.exe on display $DISPLAY (close the sheet to end)"
    set +e
    "$wine64" "$build/app/MolaFlashSim.exe"
    rc=$?
    "$wineserver" -w
    echo "exit code $rc"
    exit $rc
fi

# Headless: a person is not watching, so simulated time need not pass for real unless asked.
export MOLA_SIM_CLOCK=${MOLA_SIM_CLOCK:-virtual}
mkdir -p "$(dirname "$shot_prefix")"
sync=$(mktemp -d)
trap 'rm -rf "$sync"' EXIT
log=$sync/driver.log

# Inside the Xvfb session: the driver updates every card and shows each page in turn,
# waiting for a file that says the screenshot of that page has been taken.
session='
sync=$1 build=$2 prefix=$3 log=$4 wine64=$5 wineserver=$6
"$wine64" "$build/tools/sim_demo/sim_demo.exe" "Z:${build//\//\\}\\app" "Z:${sync//\//\\}" >"$log" 2>&1 &
driver=$!
shown=0
while kill -0 "$driver" 2>/dev/null; do
    n=$(tr -d "\r" <"$log" | sed -n "s/^SHOT \([0-9]*\)$/\1/p" | tail -n 1)
    if [ -n "$n" ] && [ "$n" != "$shown" ]; then
        sleep 0.5 # let the page paint
        import -window root "$prefix-card$n.png"
        touch "$sync/shot-$n.done"
        shown=$n
    fi
    sleep 0.2
done
wait "$driver"
rc=$?
"$wineserver" -k
exit $rc
'

set +e
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c "$session" _ \
    "$sync" "$build" "$shot_prefix" "$log" "$wine64" "$wineserver"
rc=$?
set -e
tr -d '\r' <"$log" | grep -v '^SHOT '
for f in "$shot_prefix"-card*.png; do
    [ -f "$f" ] && echo "screenshot: $f"
done
exit $rc
