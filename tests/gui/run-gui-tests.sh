#!/usr/bin/env bash
# Runs the GUI scenarios: MolaFlashSim.exe of a Windows build (i686 or x86-64), worked from
# outside by gui_driver.exe. All scenarios run in one Wine session (one Xvfb display, one
# Wine server), so that Wine's services start once; each scenario has a time limit.
# Usage: tests/gui/run-gui-tests.sh [--driver EXE] [--shots DIR] BUILD_DIR [SCENARIO...]
#   BUILD_DIR    a Windows build tree; BUILD_DIR/app holds MolaFlashSim.exe and MolaFlash.exe
#   --driver EXE the driver (default BUILD_DIR/tests/gui/gui_driver.exe, of the tool's width;
#                a driver of either width works either build)
#   --shots DIR  where screenshots of the sheet go, DIR/SCENARIO-LABEL.png, when the driver
#                asks for them (see tools/sheet-shots.sh); default BUILD_DIR/gui-shots
#   SCENARIO...  the scenarios to run (default: every scenario the driver lists)
# Environment: WINEPREFIX (default: wineprefix beside BUILD_DIR), MOLA_GUI_TIMEOUT (seconds
# per scenario, default 300).
# Prints a line per scenario and a closing "N passed, M failed"; exits nonzero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
usage="usage: run-gui-tests.sh [--driver EXE] [--shots DIR] BUILD_DIR [SCENARIO...]"
args=("$@")
driver=""
shots=""
while [ $# -gt 0 ]; do
    case $1 in
    --driver) driver=${2:?$usage}; shift 2 ;;
    --shots) shots=${2:?$usage}; shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
    esac
done
build=$(cd "${1:?$usage}" && pwd) || exit 2
shift
driver=${driver:-$build/tests/gui/gui_driver.exe}
shots=${shots:-$build/gui-shots}
app_dir=$build/app
for f in "$driver" "$app_dir/MolaFlashSim.exe" "$app_dir/MolaFlash.exe"; do
    [ -f "$f" ] || { echo "missing $f: build the Windows tree first" >&2; exit 2; }
done

. "$root/tools/wine-env.sh"
. "$root/tools/sheet-shots.sh"
export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wineprefix}
if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    "$root/tools/wine-prefix.sh" "$WINEPREFIX" || { echo "cannot prepare the Wine prefix" >&2; exit 2; }
    exec "$root/tools/wine-session.sh" "$0" "${args[@]}"
fi

# ---- Inside the session ----
limit=${MOLA_GUI_TIMEOUT:-300}
loader=$(wine_for "$driver")
app_dir_win=$(win_path "$app_dir")
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
mkdir -p "$shots"
export MOLA_GUI_SYNC
MOLA_GUI_SYNC=$(win_path "$log")

if [ $# -gt 0 ]; then
    scenarios=("$@")
else
    # To a file, not a pipe: Wine's helpers can keep a pipe open after the program ends.
    "$loader" "$driver" --list >"$log/list" 2>/dev/null
    mapfile -t scenarios < <(tr -d '\r' <"$log/list")
fi
if [ ${#scenarios[@]} -eq 0 ]; then
    echo "the driver lists no scenario" >&2
    exit 2
fi

passed=0
failed=0
for s in "${scenarios[@]}"; do
    start=$(date +%s%N)
    : >"$log/$s"
    timeout -k 5 "$limit" "$loader" "$driver" "$s" "$app_dir_win" >"$log/$s" 2>"$log/$s.err" &
    pid=$!
    serve_shots "$log/$s" "$log" "$shots/$s-" "$pid"
    wait "$pid"
    rc=$?
    tr -d '\r' <"$log/$s" >"$log/$s.txt"
    ms=$((($(date +%s%N) - start) / 1000000))
    secs="$((ms / 1000)).$((ms % 1000 / 100))"
    # A pass needs both the exit code and the driver's own word: Wine can exit 0 without
    # running a program at all.
    if [ $rc -eq 0 ] && grep -qx "PASS $s" "$log/$s.txt"; then
        passed=$((passed + 1))
        echo "ok    $s (${secs} s)"
    else
        failed=$((failed + 1))
        [ $rc -eq 124 ] && echo "      no end within $limit s" >>"$log/$s.txt"
        echo "FAIL  $s (exit $rc, ${secs} s)"
        sed 's/^/      /' "$log/$s.txt"
        tail -n 5 "$log/$s.err" | sed 's/^/      ! /'
        # A tool left running must not disturb the next scenario: end everything in the
        # prefix and start its server again.
        "$wineserver" -k 2>/dev/null
        "$wineserver" -w
        "$wineserver" -p
    fi
    rm -f "$log"/shot-*.done
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
