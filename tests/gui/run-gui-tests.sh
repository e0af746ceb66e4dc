#!/usr/bin/env bash
# Runs the GUI scenarios: MolaFlashSim.exe of an x86-64 Windows build, worked from outside by
# gui_driver.exe, each scenario in its own Xvfb display under Wine.
# Usage: tests/gui/run-gui-tests.sh BUILD_DIR [SCENARIO...]
# Prints a line per scenario and a closing "N passed, M failed"; exits nonzero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: run-gui-tests.sh BUILD_DIR [SCENARIO...]}" && pwd)
shift

wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
driver=$build/tests/gui/gui_driver.exe
app_dir=$build/app
for f in "$driver" "$app_dir/MolaFlashSim.exe" "$app_dir/MolaFlash.exe"; do
    [ -f "$f" ] || { echo "missing $f: build the x86-64 Windows tree first" >&2; exit 2; }
done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$build/gui-wineprefix
"$root/tools/wine-prefix.sh" "$WINEPREFIX" || { echo "cannot prepare the Wine prefix" >&2; exit 2; }

# The driver takes the executables' folder as a Windows path (drive Z: is the root).
app_dir_win="Z:${app_dir//\//\\}"

if [ $# -gt 0 ]; then
    scenarios=("$@")
else
    mapfile -t scenarios < <("$wine64" "$driver" --list | tr -d '\r')
fi
if [ ${#scenarios[@]} -eq 0 ]; then
    echo "the driver lists no scenario" >&2
    exit 2
fi

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
passed=0
failed=0
for s in "${scenarios[@]}"; do
    start=$(date +%s%N)
    timeout -k 5 180 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
        bash -c '"$1" "$2" "$3" "$4"; rc=$?; "$5" -k; exit $rc' _ \
        "$wine64" "$driver" "$s" "$app_dir_win" "$wineserver" >"$log/$s" 2>&1
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
        echo "FAIL  $s (exit $rc, ${secs} s)"
        sed 's/^/      /' "$log/$s.txt"
    fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
