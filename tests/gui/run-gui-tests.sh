#!/usr/bin/env bash
# Runs the GUI scenarios: MolaFlashSim.exe of a Windows build (i686 or x86-64), worked from
# outside by gui_driver.exe. The scenarios run in lanes, one scenario at a time in each: a
# lane is one Wine session (one Xvfb display, one Wine server, so that Wine's services start
# once) and takes the next scenario from a shared queue when its last one ends. Lanes share
# nothing: lane 1 uses WINEPREFIX, lane K a copy of it (WINEPREFIX-laneK, tools/wine-prefix.sh),
# so that input given with SendInput, the window in front, the tool's one-copy lock and its
# temporary files are each lane's own. Each scenario has a time limit.
# Usage: tests/gui/run-gui-tests.sh [--driver EXE] [--shots DIR] [--jobs N] [--times FILE]
#                                   BUILD_DIR [SCENARIO...]
#   BUILD_DIR    a Windows build tree; BUILD_DIR/app holds MolaFlashSim.exe and MolaFlash.exe
#   --driver EXE the driver (default BUILD_DIR/tests/gui/gui_driver.exe, of the tool's width;
#                a driver of either width works either build)
#   --shots DIR  where screenshots of the sheet go, DIR/SCENARIO-LABEL.png, when the driver
#                asks for them (see tools/sheet-shots.sh); default BUILD_DIR/gui-shots
#   --jobs N     lanes, scenarios run at once (default 1)
#   --times FILE appends "SECONDS gui-WIDTH SCENARIO" for each scenario run
#   SCENARIO...  the scenarios to run (default: every scenario the driver lists)
# Environment: WINEPREFIX (default: wineprefix beside BUILD_DIR), MOLA_GUI_TIMEOUT (seconds
# per scenario, default 300).
# Prints a line per scenario and a closing "N passed, M failed"; exits nonzero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
usage="usage: run-gui-tests.sh [--driver EXE] [--shots DIR] [--jobs N] [--times FILE] BUILD_DIR [SCENARIO...]"
args=("$@")
driver=""
shots=""
jobs=1
times=""
while [ $# -gt 0 ]; do
    case $1 in
    --driver) driver=${2:?$usage}; shift 2 ;;
    --shots) shots=${2:?$usage}; shift 2 ;;
    --jobs) jobs=${2:?$usage}; shift 2 ;;
    --times) times=${2:?$usage}; shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
    esac
done
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }
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
limit=${MOLA_GUI_TIMEOUT:-300}
loader=$(wine_for "$driver")
width=x86-64
[ "$(pe_machine "$app_dir/MolaFlashSim.exe")" = 14c ] && width=i686

# One lane: inside its own Wine session, runs the scenarios it takes from the queue in
# $queue (list: the scenarios; next: the line to take; results: a line per scenario run).
run_lane() {
    local s start pid rc ms secs log n
    log=$(mktemp -d)
    mkdir -p "$shots"
    export MOLA_GUI_SYNC
    MOLA_GUI_SYNC=$(win_path "$log")
    while :; do
        # shellcheck disable=SC2016 # the inner shell expands them
        n=$(flock "$queue/list" sh -c 'n=$(cat "$1"); echo $((n + 1)) >"$1"; echo "$n"' _ "$queue/next")
        s=$(sed -n "${n}p" "$queue/list")
        [ -n "$s" ] || break
        start=$(date +%s%N)
        : >"$log/$s"
        timeout -k 5 "$limit" "$loader" "$driver" "$s" "$(win_path "$app_dir")" >"$log/$s" 2>"$log/$s.err" &
        pid=$!
        serve_shots "$log/$s" "$log" "$shots/$s-" "$pid"
        wait "$pid"
        rc=$?
        tr -d '\r' <"$log/$s" >"$log/$s.txt"
        ms=$((($(date +%s%N) - start) / 1000000))
        secs="$((ms / 1000)).$((ms % 1000 / 100))"
        [ -z "$times" ] || echo "$secs gui-$width $s" >>"$times"
        # A pass needs both the exit code and the driver's own word: Wine can exit 0 without
        # running a program at all. Each report is written at once, so lanes do not mix lines.
        if [ $rc -eq 0 ] && grep -qx "PASS $s" "$log/$s.txt"; then
            echo "ok $s" >>"$queue/results"
            echo "ok    $s (${secs} s)"
        else
            echo "FAIL $s" >>"$queue/results"
            [ $rc -eq 124 ] && echo "      no end within $limit s" >>"$log/$s.txt"
            {
                echo "FAIL  $s (exit $rc, ${secs} s)"
                sed 's/^/      /' "$log/$s.txt"
                tail -n 5 "$log/$s.err" | sed 's/^/      ! /'
            } >"$log/$s.report"
            cat "$log/$s.report"
            # A tool left running must not disturb the lane's next scenario: end everything
            # in the lane's prefix and start its server again.
            "$wineserver" -k 2>/dev/null
            "$wineserver" -w
            "$wineserver" -p
        fi
        rm -f "$log"/shot-*.done
    done
    rm -rf "$log"
}

if [ -n "${MOLA_GUI_LANE_QUEUE:-}" ]; then
    # A lane of another run, started below in its own session.
    queue=$MOLA_GUI_LANE_QUEUE
    run_lane
    exit 0
fi

lanes=()
for ((k = 2; k <= jobs; k++)); do
    lanes+=("$WINEPREFIX-lane$k")
done
# Before its session starts when there is none yet (a new prefix needs Wine settled); within
# a session of the prefix, the prefix is ready and only the lanes' copies may be missing.
"$root/tools/wine-prefix.sh" "$WINEPREFIX" "${lanes[@]}" || { echo "cannot prepare the Wine prefix" >&2; exit 2; }
if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    exec "$root/tools/wine-session.sh" "$0" "${args[@]}"
fi

queue=$(mktemp -d)
trap 'rm -rf "$queue"' EXIT
if [ $# -gt 0 ]; then
    printf '%s\n' "$@" >"$queue/list"
else
    # To a file, not a pipe: Wine's helpers can keep a pipe open after the program ends.
    "$loader" "$driver" --list >"$queue/raw" 2>/dev/null
    tr -d '\r' <"$queue/raw" >"$queue/list"
fi
if [ ! -s "$queue/list" ]; then
    echo "the driver lists no scenario" >&2
    exit 2
fi
echo 1 >"$queue/next"
: >"$queue/results"
export MOLA_GUI_LANE_QUEUE=$queue
pids=()
for lane in "${lanes[@]}"; do
    WINEPREFIX=$lane MOLA_WINE_SESSION="" "$root/tools/wine-session.sh" "$0" "${args[@]}" &
    pids+=($!)
done
run_lane
for pid in "${pids[@]}"; do
    wait "$pid"
done
passed=$(($(grep -c '^ok ' "$queue/results")))
failed=$(($(grep -c '^FAIL ' "$queue/results")))
missing=$(($(wc -l <"$queue/list") - passed - failed))
[ $missing -eq 0 ] || { echo "$missing scenarios did not run: a lane ended early"; failed=$((failed + missing)); }
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
