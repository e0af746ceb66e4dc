#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine, installing what it needs:
#   1. native build (gcc) and its unit tests;
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the 32-bit Windows cross build (the product), warnings as errors; its unit tests run
#      under Wine when this machine can run 32-bit programs;
#   4. the 64-bit Windows cross build, its unit tests under Wine, and the GUI tests that drive
#      MolaFlashSim.exe's real window under Wine and Xvfb.
# Build trees go to out/ (or $MOLA_OUT). Exits nonzero on the first failing stage.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
jobs=$(nproc)
cd "$root"

"$root/tools/install-deps.sh" all

stage() { printf '\n=== %s ===\n' "$*"; }

configure() { # dir, extra args...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
}

mkdir -p "$out"

stage "native build and unit tests"
configure "$out/native"
cmake --build "$out/native" -j "$jobs"
ctest --test-dir "$out/native" -j "$jobs" --output-on-failure

stage "remote-bitbang end to end: figures of the native run (xsvf play against xsvf serve)"
cat "$out/native/tests/rbb_end_to_end.txt"

stage "sanitizer build (ASan + UBSan) and unit tests"
configure "$out/sanitize" -DCMAKE_BUILD_TYPE=Debug -DMOLA_SANITIZE=ON
cmake --build "$out/sanitize" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$out/sanitize" -j "$jobs" --output-on-failure

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$out/wineprefix"
"$root/tools/wine-prefix.sh" "$WINEPREFIX"

stage "Windows i686 cross build"
configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake"
cmake --build "$out/win32" -j "$jobs"
# A 32-bit program can run only where the kernel runs 32-bit code (some sandboxes do not,
# and wine then exits without running anything): run the tests only when a known program
# really prints its test list.
if wine "$out/win32/tests/card_tests.exe" --gtest_list_tests 2>/dev/null | grep -q DriverTest; then
    ctest --test-dir "$out/win32" --output-on-failure
else
    echo "this machine cannot run 32-bit Windows programs: i686 unit tests built, not run"
fi

stage "Windows x86-64 cross build and unit tests under Wine"
configure "$out/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"
cmake --build "$out/win64" -j "$jobs"
ctest --test-dir "$out/win64" --output-on-failure

if [ -x "$root/tests/gui/run-gui-tests.sh" ]; then
    stage "GUI tests (MolaFlashSim under Wine and Xvfb)"
    "$root/tests/gui/run-gui-tests.sh" "$out/win64"
fi

stage "all stages passed"
