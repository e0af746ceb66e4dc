#!/usr/bin/env bash
# Makes the pictures of the user's guide from the running tool: the GUI scenarios that walk
# through a session (tour, and an update redone after a power cut) and meet each message
# (no-driver, second-copy, newer-card, battery-low, no-interface, failure-messages) run on
# MolaFlashSim.exe under Wine and Xvfb, and the pictures they ask for are saved under the
# names the guide uses. Checks each picture with tools/check-guide.sh.
# Usage: tools/guide-pictures.sh [--shots DIR] [DEST]
#   --shots DIR  take the pictures from a run of those scenarios that saved them in DIR
#                (tests/gui/run-gui-tests.sh --shots DIR) instead of running them again on
#                the x86-64 Windows build (out/win64, built when missing)
#   DEST         where the pictures go (default docs/user-guide)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
usage="usage: guide-pictures.sh [--shots DIR] [DEST]"
shots=""
while [ $# -gt 0 ]; do
    case $1 in
    --shots) shots=${2:?$usage}; shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -le 1 ] || { echo "$usage" >&2; exit 2; }
dest=${1:-$root/docs/user-guide}

if [ -z "$shots" ]; then
    "$root/tools/install-deps.sh" all
    build=$out/win64
    if [ ! -f "$build/build.ninja" ]; then
        mkdir -p "$out"
        cmake -S "$root" --preset win64 -B "$build" >"$out/win64.configure.log" 2>&1 ||
            { cat "$out/win64.configure.log"; exit 1; }
    fi
    cmake --build "$build" --target MolaFlashSim MolaFlash gui_driver >"$out/win64.build.log" 2>&1 ||
        { cat "$out/win64.build.log"; exit 1; }
fi

# Scenario picture -> the guide's name for it.
pictures=(
    tour-start:sheet-start
    tour-interface-chosen:interface-chosen
    tour-running:update-running
    tour-success:update-success
    tour-failed:update-failed
    tour-power-off:power-off
    no-driver-box:no-card
    second-copy-box:second-copy
    newer-card-question:newer-card
    battery-low-question:low-battery
    no-interface-box:choose-interface
    failure-messages-wrong-interface:failed-message
    power-cut-then-update-after-cut:after-power-cut
    power-cut-then-update-next-start:next-start
)

if [ -z "$shots" ]; then
    shots=$(mktemp -d)
    trap 'rm -rf "$shots"' EXIT
    "$root/tests/gui/run-gui-tests.sh" --shots "$shots" "$build" tour no-driver second-copy newer-card battery-low \
        no-interface power-cut-then-update failure-messages
fi
mkdir -p "$dest"
for pair in "${pictures[@]}"; do
    from=$shots/${pair%%:*}.png
    to=$dest/${pair#*:}.png
    [ -f "$from" ] || { echo "guide-pictures: the scenarios made no picture ${pair%%:*}.png" >&2; exit 1; }
    # Without the time chunks, a picture that shows the same is the same file.
    convert "$from" -define png:exclude-chunks=date,time -strip "$to"
    echo "picture: $to"
done
"$root/tools/check-guide.sh" "$dest"
