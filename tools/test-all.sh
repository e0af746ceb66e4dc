#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine, installing what it needs and making
# 32-bit programs run (tools/enable-i386.sh):
#   1. native build (gcc) and its unit tests;
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer
#      targets (clang), each run for a fixed number of executions;
#   3. the release (tools/release.sh) built twice in two folders, compared byte for byte;
#   4. the x86-64 Windows cross build, its unit tests under Wine, every GUI scenario that
#      drives MolaFlashSim.exe's real window under Wine and Xvfb, and the user's guide's
#      pictures (the committed ones checked, and made again from the tool);
#   5. the i686 Windows cross build (the product), warnings as errors (it also asserts the
#      player's record size), run under wine32: unit tests, GUI scenarios, the main job
#      (tools/test-i686.sh);
#   6. the main job as the README gives it, into a new, empty output folder, and a check of
#      what it printed.
# Build trees go to out/ (or $MOLA_OUT). Exits nonzero on the first failing stage; ends with
# a closing note of the figures and each stage's wall time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
jobs=$(nproc)
cd "$root"
mkdir -p "$out"

"$root/tools/install-deps.sh" all
# Before any Wine prefix is made, so that the one prefix has its 32-bit half from the start.
"$root/tools/enable-i386.sh"

names=()
times=()
current=""
started=0
stage() {
    end_stage
    current=$*
    started=$(date +%s)
    printf '\n=== %s ===\n' "$current"
}
end_stage() {
    if [ -n "$current" ]; then
        names+=("$current")
        times+=($(($(date +%s) - started)))
    fi
    current=""
}

# Every build tree is configured by its preset (CMakePresets.json), in $out.
configure() { # preset
    cmake -S "$root" --preset "$1" -B "$out/$1" >"$out/$1.configure.log" 2>&1 ||
        { cat "$out/$1.configure.log"; return 1; }
}

stage "native build and unit tests"
configure native
cmake --build "$out/native" -j "$jobs"
ctest --test-dir "$out/native" -j "$jobs" --output-on-failure

stage "remote-bitbang end to end: figures of the native run (xsvf play against xsvf serve)"
cat "$out/native/tests/rbb_end_to_end.txt"

stage "sanitizer build (ASan + UBSan) and unit tests"
configure sanitize
cmake --build "$out/sanitize" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$out/sanitize" -j "$jobs" --output-on-failure

stage "fuzz targets (clang, libFuzzer): a fixed number of executions each"
configure fuzz
cmake --build "$out/fuzz" -j "$jobs" --target fuzz_play
for target in fuzz_play; do
    rm -rf "$out/fuzz/smoke-$target" && mkdir -p "$out/fuzz/smoke-$target"
    ( cd "$out/fuzz/smoke-$target" &&
      "$out/fuzz/fuzz/$target" -runs=30000 -seed=1 -dict="$root/fuzz/xsvf.dict" -max_len=16384 -timeout=10 \
          . "$root/fuzz/corpus" >fuzz.log 2>&1 ) ||
        { grep -v '^    #' "$out/fuzz/smoke-$target/fuzz.log" | tail -20; exit 1; }
    grep -h '^Done' "$out/fuzz/smoke-$target/fuzz.log" | sed "s/^/$target: /"
done

stage "release (tools/release.sh) built twice in two folders, compared byte for byte"
"$root/tools/check-release.sh" "$out/release-check" | tee "$out/release-check.log"

. "$root/tools/wine-env.sh"
export WINEPREFIX="$out/wineprefix"

stage "Windows x86-64 cross build, unit tests and GUI scenarios under Wine"
configure win64
cmake --build "$out/win64" -j "$jobs"
# What Windows reads from the built executables: manifest, icon (and the i686 imports below).
/usr/bin/python3 "$root/tests/app/built_exe_check.py" "$out/win64/app/MolaFlash.exe" "$out/win64/app/MolaFlashSim.exe"
"$root/tools/wine-prefix.sh" "$WINEPREFIX"
"$root/tools/wine-session.sh" "$root/tools/wine-unit-tests.sh" "$out/win64"
"$root/tests/gui/run-gui-tests.sh" "$out/win64"
# The user's guide: its committed pictures, and the same pictures made again from the tool.
"$root/tools/check-guide.sh"
"$root/tools/guide-pictures.sh" --build "$out/win64" "$out/guide-pictures"

stage "Windows i686 cross build (the product) and its run under wine32"
configure win32
cmake --build "$out/win32" -j "$jobs"
/usr/bin/python3 "$root/tests/app/built_exe_check.py" "$out/win32/app/MolaFlash.exe" "$out/win32/app/MolaFlashSim.exe"
"$root/tools/test-i686.sh" "$out/win32" "$out/win64" | tee "$out/i686-stage.log"

stage "main job (tools/run-sim.sh) into a new, empty output folder"
fresh=$(mktemp -d)
set +e
MOLA_OUT=$fresh "$root/tools/run-sim.sh" --headless >"$out/main-job.log" 2>&1
rc=$?
cat "$out/main-job.log"
"$root/tools/check-main-job.sh" "$out/main-job.log" 2
checked=$?
set -e
# The fresh folder holds a whole build tree and a Wine prefix: only the screenshots are kept.
mkdir -p "$out/main-job"
cp "$fresh"/run-sim/*.png "$out/main-job/" 2>/dev/null || true
rm -rf "$fresh"
[ $rc -eq 0 ] || { echo "the main job ended with exit code $rc"; exit 1; }
[ $checked -eq 0 ] || exit 1
end_stage

printf '\n=== all stages passed ===\n'
tr -d '\r' <"$out/i686-stage.log" |
    sed -n 's/^\([0-9]* of [0-9]* test executables passed.*\)/i686 unit tests under wine32: \1/p'
echo "i686 player: sizeof( SXsvfInfo ) = $(sed -n 's/^constexpr std::size_t XSVF_INFO_SIZE = \([0-9]*\);$/\1/p' \
    "$root/xsvf/player.h") bytes, asserted when the i686 build compiled"
echo "i686 GUI scenarios passed: $(sed -n 's/^ok    \([a-z0-9-]*\) (.*/\1/p' "$out/i686-stage.log" | tr '\n' ' ' | sed 's/ $//')"
sed -n 's/^screenshot: \(.*card1.png\)$/i686 sheet after "Success": \1/p' "$out/i686-stage.log"
sed -n 's/^\(.* SHA-256: .*\)$/release, built twice, identical: \1/p' "$out/release-check.log"
for i in "${!names[@]}"; do
    printf '%6d s  %s\n' "${times[$i]}" "${names[$i]}"
done
