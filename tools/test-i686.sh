#!/usr/bin/env bash
# The product's stage of the test suite: the i686 build under wine32, all in one Wine session
# (one Xvfb display, one Wine server: under emulation every Wine process start costs seconds,
# so Wine's services start once for the whole stage):
#   1. every unit-test executable, with GoogleTest's counts;
#   2. the GUI scenarios on the i686 MolaFlashSim.exe;
#   3. the main job on the i686 MolaFlashSim.exe, with screenshots of the sheet.
# The player's record size needs no run: the i686 build asserts it when it compiles.
# Makes 32-bit programs run first (tools/enable-i386.sh). Runs every step even after a failed
# one; exits nonzero if any failed.
# Usage: tools/test-i686.sh WIN32_BUILD_DIR [WIN64_BUILD_DIR]
#   WIN64_BUILD_DIR: its GUI driver works the i686 tool where 32-bit programs are emulated
#   (see below); without it the i686 driver does.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: test-i686.sh WIN32_BUILD_DIR [WIN64_BUILD_DIR]"
build=$(cd "${1:?$usage}" && pwd) || exit 2
build64=${2:+$(cd "$2" && pwd)}
. "$root/tools/wine-env.sh"
export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wineprefix}

# The GUI scenarios on the product: every scenario the driver lists, as on the x86-64 build.
# Under the emulator no driver can read the tool's tab texts (Wine's cross-process memory
# access misses an emulated process); the driver notices, says so, and checks the tab count,
# the selected tab and the pages instead.
GUI_SCENARIOS=()

if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    "$root/tools/enable-i386.sh" || exit 1
    "$root/tools/wine-prefix.sh" "$WINEPREFIX" || exit 1
    exec "$root/tools/wine-session.sh" "$0" "$@"
fi

# ---- Inside the session ----
failed=()
step() { printf -- '--- %s\n' "$*"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step "i686 unit tests under wine32"
"$root/tools/wine-unit-tests.sh" "$build" || failed+=("unit tests")

# The driver's own polling is emulated too when it is i686: the x86-64 driver (native speed)
# halves the time of a scenario there, and loses nothing, since under emulation no driver can
# read the tab texts. Where 32-bit programs run natively, the driver of the tool's width.
driver=$build/tests/gui/gui_driver.exe
if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386 && [ -n "$build64" ]; then
    driver=$build64/tests/gui/gui_driver.exe
fi
step "GUI scenarios on the i686 MolaFlashSim.exe, driven by $driver"
"$root/tests/gui/run-gui-tests.sh" --driver "$driver" "$build" "${GUI_SCENARIOS[@]}" || failed+=("GUI scenarios")

step "main job on the i686 MolaFlashSim.exe"
"$root/tools/run-sim.sh" --headless --build "$build" "$build/main-job/sheet" >"$work/main-job.out" 2>&1
rc=$?
cat "$work/main-job.out"
if [ $rc -ne 0 ] || ! "$root/tools/check-main-job.sh" "$work/main-job.out" 2; then
    failed+=("main job")
fi

if [ ${#failed[@]} -gt 0 ]; then
    echo "i686 stage failed: ${failed[*]}"
    exit 1
fi
echo "i686 stage passed"
