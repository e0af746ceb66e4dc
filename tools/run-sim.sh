#!/usr/bin/env bash
# The main job: runs MolaFlashSim.exe (the tool on simulated cards) under Wine.
#   With a display ($DISPLAY set): opens the tool in a window there; use it as on a machine
#   with cards. The simulation is configured by the MOLA_SIM_* variables (see README.md).
#   With no display (or --headless): runs it under Xvfb, updates each simulated card with its
#   own interface's program (PCI on a PCI card, CardBus on a CardBus card), prints each
#   page's status text, saves a screenshot of the sheet's window after each update and names
#   the files; then starts the tool once more over the same cards (their memory kept in a
#   state file, MOLA_SIM_STATE, a new one unless set) and prints what each page reads then.
# Installs what it needs and builds the x86-64 Windows tree when it is missing: 64-bit
# programs run at full speed on every machine, 32-bit ones only where the kernel runs 32-bit
# code or through an emulator (tools/test-all.sh runs the same job on the 32-bit product).
# Usage: tools/run-sim.sh [--headless] [--build DIR] [SCREENSHOT_PREFIX]
#   --build DIR        use this Windows build tree (either width) as it is
#   SCREENSHOT_PREFIX  default out/run-sim/sheet; files are PREFIX-cardN.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
usage="usage: run-sim.sh [--headless] [--build DIR] [SCREENSHOT_PREFIX]"
args=("$@")

headless=0
build=""
while [ $# -gt 0 ]; do
    case $1 in
    --headless) headless=1; shift ;;
    --build) build=${2:?$usage}; shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -le 1 ] || { echo "$usage" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || headless=1
shot_prefix=${1:-$out/run-sim/sheet}
export WINEPREFIX=$out/wineprefix

. "$root/tools/wine-env.sh"
. "$root/tools/sheet-shots.sh"

# Outside its Wine session: what the job needs; inside, it is there.
if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    mkdir -p "$out"
    "$root/tools/install-deps.sh" all
    if [ -z "$build" ]; then
        build=$out/win64
        if [ ! -f "$build/build.ninja" ]; then
            cmake -S "$root" --preset win64 -B "$build" >"$out/win64.configure.log" 2>&1 ||
                { cat "$out/win64.configure.log"; exit 1; }
        fi
        cmake --build "$build" --target MolaFlashSim sim_demo >"$out/win64.build.log" 2>&1 ||
            { cat "$out/win64.build.log"; exit 1; }
    fi
    "$root/tools/wine-prefix.sh" "$WINEPREFIX"
fi
build=$(cd "${build:-$out/win64}" && pwd)
app=$build/app/MolaFlashSim.exe
driver=$build/tools/sim_demo/sim_demo.exe
for f in "$app" "$driver"; do
    [ -f "$f" ] || { echo "missing $f: build the Windows tree first" >&2; exit 2; }
done

if [ $headless -eq 0 ]; then
    echo "MolaFlashSim.exe on display $DISPLAY (close the sheet to end)"
    set +e
    "$(wine_for "$app")" "$app"
    rc=$?
    "$wineserver" -w
    echo "exit code $rc"
    exit $rc
fi

# Headless: one Xvfb display and one Wine server for the whole job, which ends within
# MOLA_SIM_TIMEOUT seconds (default 900).
if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    exec "$root/tools/wine-session.sh" "$0" --headless --build "$build" "${args[@]}"
fi

# A person is not watching, so simulated time need not pass for real unless asked.
export MOLA_SIM_CLOCK=${MOLA_SIM_CLOCK:-virtual}
mkdir -p "$(dirname "$shot_prefix")"
rm -f "$shot_prefix"-card*.png
sync=$(mktemp -d)
trap 'rm -rf "$sync"' EXIT
# The cards keep their memory from the first start of the tool to the second.
export MOLA_SIM_STATE=${MOLA_SIM_STATE:-$(win_path "$sync/cards.state")}
log=$sync/driver.log
: >"$log"

# The demonstration updates every card and shows each page in turn, printing "SHOT N" and waiting
# for SYNC/shot-N.done, so that the picture of page N is taken while it shows.
set +e
timeout -k 10 "${MOLA_SIM_TIMEOUT:-900}" "$(wine_for "$driver")" "$driver" "$(win_path "$build/app")" "$(win_path "$sync")" >"$log" 2>"$sync/driver.err" &
pid=$!
serve_shots "$log" "$sync" "$shot_prefix-card" "$pid"
wait "$pid"
rc=$?
set -e
tr -d '\r' <"$log" | grep -v '^SHOT ' || true
[ $rc -eq 0 ] || tail -n 5 "$sync/driver.err" >&2
for f in "$shot_prefix"-card*.png; do
    [ -f "$f" ] && echo "screenshot: $f"
done
exit $rc
