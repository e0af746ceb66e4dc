#!/usr/bin/env bash
# The product's stage of the test suite: the i686 build under wine32. The x86-64 and the i686
# builds are the same source; what only the i686 build can get wrong depends on the width: the
# layouts of the driver's records and of the player's record, pointer-sized window data, the
# calling convention of every callback the system calls, and the 32-bit product's imports. So
# this stage runs, in one Wine session for the unit tests and in the scenarios' lanes:
#   1. the unit-test executables whose code depends on the width, with GoogleTest's counts;
#   2. the named GUI scenarios below, which together pass once through every window
#      procedure, every message box and every Win32 call that the product makes.
# With --full: every unit-test executable and every GUI scenario (what tools/test-all.sh --full
# runs, with the main job on the i686 MolaFlashSim.exe after it).
# The player's record size needs no run: the i686 build asserts it when it compiles.
# Makes 32-bit programs run first (tools/enable-i386.sh). Runs every step even after a failed
# one; exits nonzero if any failed.
# Usage: tools/test-i686.sh [--full] [--times FILE] WIN32_BUILD_DIR [WIN64_BUILD_DIR]
#   WIN64_BUILD_DIR: its GUI driver works the i686 tool where 32-bit programs are emulated
#   (see below); without it the i686 driver does.
#   --times FILE: as tests/gui/run-gui-tests.sh takes it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: test-i686.sh [--full] [--times FILE] WIN32_BUILD_DIR [WIN64_BUILD_DIR]"
args=("$@")
full=0
timing=()
while [ $# -gt 0 ]; do
    case $1 in
    --full) full=1; shift ;;
    --times) timing=(--times "${2:?$usage}"); shift 2 ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) break ;;
    esac
done
build=$(cd "${1:?$usage}" && pwd) || exit 2
build64=${2:+$(cd "$2" && pwd)}
. "$root/tools/wine-env.sh"
export WINEPREFIX=${WINEPREFIX:-$(dirname "$build")/wineprefix}

# The unit-test executables whose code depends on the width, and why. The others (the power
# rule over a record of bytes, the simulation's settings parser, the developer tools' stream
# walker and sockets) run on x86-64, and here with --full.
unit_tests=(
    card_tests          # the driver's records (CardInfo, 92 bytes), its 32-bit address words, the 9x card structure
    xsvf_tests          # the player's record and vector buffers, the player's every path
    sim_device_tests    # whole updates through the player's record and the register seam's 32-bit addresses
    image_reader_tests  # the progress messages' pointer-sized parameters through the UI seam
    image_program_tests # the embedded programs, placed by top-level assembler under the i686 symbol prefix
    os_win32_tests      # the real Win32 calls: handles, DeviceIoControl, the calls looked up at run time through WINAPI pointers
    app_tests           # the update's holds on the machine for the sheet's pointer-sized handle; the failure messages
)

# The GUI scenarios on the product, and why each: together they pass once through every
# window procedure (the card page's dialog procedure, the sheet's subclass), every message box
# (no card, second copy, the interface question, the Yes/No questions, power-off) and every
# Win32 call of the product. Every other scenario runs on x86-64, and here with --full.
scenarios=(
    six-cards     # six page records stepped through by their 32-bit size, the sheet header, each page's card from its record
    two-pages     # the card index in the page's pointer-sized window data (DWLP_USER), read on Update on page 2, then page 1
    pci-success   # a whole update to "Success": the player's record, the progress messages, PeekMessageA, the power-off box
    enter-updates # the sheet's subclass (SetWindowLongPtrA, CallWindowProcA) hands Enter to the page; the interface question
    second-copy   # the one-copy lock (GetVersion, CreateMutexA "Global\..."), the second copy's box and exit code, both executables
    log-declined  # both Yes/No questions, their texts by wsprintfA, answered No then Yes; log lines through the C runtime
    log-causes    # four failures, four causes: the player's failure texts and the update's error paths, each in the log
    log-molaflash # MolaFlash.exe: the real OS seam's CreateFileA, the no-card box, exit code 1; the 32-bit C runtime imports
    seven-cards   # the card-count message formatted by wsprintfA from two integers, with no sheet
    resources     # the 32-bit executables' dialog template and version information, as the i686 resource compiler wrote them
    answers-while-writing # messages answered during an update (PeekMessageA, DispatchMessageA); the subclass refusing close,
                          # a page change, the session's end (WM_QUERYENDSESSION) and a suspend (WM_POWERBROADCAST)
    failure-messages      # the message after "Failed", formatted from its cause's row, owned by the sheet; Update after it
)

if [ "${MOLA_WINE_SESSION:-}" != "$WINEPREFIX" ]; then
    "$root/tools/enable-i386.sh" || exit 1
    "$root/tools/wine-prefix.sh" "$WINEPREFIX" || exit 1
    exec "$root/tools/wine-session.sh" "$0" "${args[@]}"
fi

# ---- Inside the session ----
failed=()
if [ $full -eq 1 ]; then
    unit_tests=()
    scenarios=()
fi

echo "--- i686 unit tests under wine32${unit_tests:+: those whose code depends on the width}"
"$root/tools/wine-unit-tests.sh" "${timing[@]}" "$build" "${unit_tests[@]}" || failed+=("unit tests")

# The driver's own polling is emulated too when it is i686: the x86-64 driver (native speed)
# halves the time of a scenario there, and loses nothing, since under emulation no driver can
# read the tab texts. Where 32-bit programs run natively, the driver of the tool's width.
driver=$build/tests/gui/gui_driver.exe
if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386 && [ -n "$build64" ]; then
    driver=$build64/tests/gui/gui_driver.exe
fi
echo "--- GUI scenarios on the i686 MolaFlashSim.exe${scenarios:+ (the named set)}, driven by $driver"
"$root/tests/gui/run-gui-tests.sh" --driver "$driver" "${timing[@]}" "$build" "${scenarios[@]}" ||
    failed+=("GUI scenarios")

if [ ${#failed[@]} -gt 0 ]; then
    echo "i686 stage failed: ${failed[*]}"
    exit 1
fi
echo "i686 stage passed"
