#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine, installing what it needs and making
# 32-bit programs run (tools/enable-i386.sh). Each thing is built once:
#   - Linux: one clang build under AddressSanitizer and UndefinedBehaviorSanitizer with the
#     libFuzzer targets: its unit tests (xsvf play against xsvf serve through real sockets
#     among them) and each fuzz target for a fixed number of executions; and gcc's warnings,
#     as errors, on the sources that no Windows build compiles;
#   - the release (tools/release.sh) built twice in two folders, compared byte for byte;
#   - the x86-64 Windows cross build: its unit tests under Wine, every GUI scenario that works
#     MolaFlashSim.exe's real window under Wine and Xvfb (two at once, each on its own display
#     with its own Wine prefix), the user's guide's pictures (the committed ones checked, and
#     made again from the scenarios' pictures), and the main job as the README gives it;
#   - the i686 Windows cross build (the product), warnings as errors (it also asserts the
#     player's record size), under wine32: the unit tests and the GUI scenarios that the width
#     can break (tools/test-i686.sh names them and says why).
# The Linux side and the Windows side run side by side. Priorities: the Wine sessions first
# (their scenarios give the tool a second to answer a click), then the Windows builds, then
# the Linux side, which takes the processor time that the Windows side spends waiting.
# With --full, also every unit test and every GUI scenario on i686, the main job on i686, the
# main job into a new, empty output folder, the plain native build (gcc) with its unit tests,
# and the same under gcc's sanitizers (tools/release.sh runs this before it packs).
# Build trees go to out/ (or $MOLA_OUT). Stops at the first failing stage; ends with a closing
# note of the figures and each stage's start and wall time. Each unit-test program's, test's
# and GUI scenario's time goes to out/test-times.txt, the slowest first.
# Usage: tools/test-all.sh [--full]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
full=""
case "${1:-}" in
--full) full=1 ;;
"") ;;
*) echo "usage: test-all.sh [--full]" >&2; exit 2 ;;
esac
jobs=$(nproc)
cd "$root"
mkdir -p "$out"
logs=$out/stages
rm -rf "$logs"
mkdir -p "$logs"
: >"$logs/ended"
times=$out/test-times.txt
: >"$times.unsorted"
suite_start=$(date +%s)

"$root/tools/install-deps.sh" all
# Before any Wine prefix is made, so that the prefix has its 32-bit half from the start.
"$root/tools/enable-i386.sh"

# ---- Stages: each writes its output to $logs/KEY.log; when it ends, it shows that output
# under its title (one stage at a time) and adds "KEY STATUS START END CPU" to $logs/ended (CPU:
# the processor seconds of its processes, Wine's servers aside, which bound its time from below
# on a machine of its own). Stages of one track run one after another; tracks run side by side.
stage() { # KEY TITLE COMMAND...
    local key=$1 title=$2 start end rc user sys TIMEFORMAT="%0U %0S"
    shift 2
    echo "$title" >"$logs/$key.title"
    start=$(date +%s)
    set +e
    # time reports the processor seconds of the subshell and all it waited for (in braces, so
    # that the report escapes the command's own redirections).
    { time { (set -e; "$@") >"$logs/$key.log" 2>&1; }; } 2>"$logs/$key.cpu"
    rc=$?
    set -e
    read -r user sys <"$logs/$key.cpu"
    end=$(date +%s)
    {
        flock 9
        printf '\n=== %s (%d s) ===\n' "$title" $((end - start))
        cat "$logs/$key.log"
        echo "$key $rc $start $end $((user + sys))" >>"$logs/ended"
    } 9>>"$logs/ended"
    return $rc
}

# Every build tree is configured by its preset (CMakePresets.json), in $out.
configure() { # PRESET
    cmake -S "$root" --preset "$1" -B "$out/$1" >"$out/$1.configure.log" 2>&1 ||
        { cat "$out/$1.configure.log"; return 1; }
}

# A build and its unit tests: PRESET sanitize (clang under the sanitizers), sanitize-gcc (gcc
# under them) or native (gcc's own Release build).
build_and_test() { # PRESET
    configure "$1"
    cmake --build "$out/$1" -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$out/$1" -j "$jobs" --output-on-failure | tee "$out/$1.ctest.log"
}

sanitize_stage() {
    build_and_test sanitize
    # Each test's time from ctest's output.
    sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*Passed *\([0-9.]*\) sec$/\2 unit-linux \1/p' \
        "$out/sanitize.ctest.log" >>"$times.unsorted"
    echo "remote-bitbang end to end (xsvf play against xsvf serve, under the sanitizers):"
    cat "$out/sanitize/tests/rbb_end_to_end.txt"
}

fuzz_stage() {
    local smoke=$out/sanitize/smoke-fuzz_play
    rm -rf "$smoke" && mkdir -p "$smoke"
    ( cd "$smoke" &&
      "$out/sanitize/fuzz/fuzz_play" -runs=30000 -seed=1 -dict="$root/fuzz/xsvf.dict" -max_len=16384 -timeout=10 \
          . "$root/fuzz/corpus" >fuzz.log 2>&1 ) ||
        { grep -v '^    #' "$smoke/fuzz.log" | tail -20; return 1; }
    grep -h '^Done' "$smoke/fuzz.log" | sed "s/^/fuzz_play: /"
}

# gcc's warnings differ from clang's. The Windows builds are gcc, but some sources they never
# compile (the fuzz checks and their tests, the native-only test programs) or compile only in
# part (#ifdef _WIN32): those are compiled here, objects only, as the native build compiles
# them (preset native: Release, link-time optimisation), with the project's warnings as errors.
gcc_stage() {
    local objects
    configure native
    # The Windows build's list of sources comes from its configure step (the Windows side's).
    for _ in $(seq 600); do
        [ -f "$out/win64/compile_commands.json" ] && break
        sleep 1
    done
    mapfile -t objects < <("$root/tools/native-only-objects.py" "$root" "$out/native" "$out/win64")
    [ ${#objects[@]} -gt 0 ] || { echo "no source to compile: the lists of sources are missing"; return 1; }
    echo "${#objects[@]} sources that only gcc's native build compiles:"
    printf '  %s\n' "${objects[@]}"
    ninja -C "$out/native" "${objects[@]}" >"$out/native.objects.log" 2>&1 ||
        { cat "$out/native.objects.log"; return 1; }
}

release_stage() {
    "$root/tools/check-release.sh" "$out/release-check" | tee "$out/release-check.log"
}

# Wine prefixes: x86-64, its second lane and i686, the last two copies of the first.
prefix64=$out/wineprefix
prefix32=$out/i686/wineprefix

# A Windows build (PRESET win64 or win32), then what Windows reads from its executables: the
# manifest, the icon and, on i686, the product's imports and subsystem version.
windows_build_stage() { # PRESET
    renice -n 5 -p $BASHPID >/dev/null
    configure "$1"
    cmake --build "$out/$1" -j "$jobs"
    /usr/bin/python3 "$root/tests/app/built_exe_check.py" "$out/$1/app/MolaFlash.exe" "$out/$1/app/MolaFlashSim.exe"
}

x86_64_stage() {
    export WINEPREFIX=$prefix64
    "$root/tools/wine-session.sh" "$root/tools/wine-unit-tests.sh" --times "$times.unsorted" "$out/win64"
    rm -rf "$out/win64/gui-shots"
    "$root/tests/gui/run-gui-tests.sh" --jobs 2 --times "$times.unsorted" --shots "$out/win64/gui-shots" "$out/win64"
    # The user's guide: its committed pictures, and the same pictures again, from the scenarios.
    "$root/tools/check-guide.sh"
    "$root/tools/guide-pictures.sh" --shots "$out/win64/gui-shots" "$out/guide-pictures"
}

# The main job as the README gives it (by default on the x86-64 build and prefix the suite
# has made), its output in LOG, checked. run-sim.sh takes its Wine prefix from OUT_DIR.
main_job_stage() { # [OUT_DIR LOG [RUN_SIM_ARG...]]
    local dir=${1:-$out} log=${2:-$out/main-job.log} rc=0
    MOLA_OUT=$dir "$root/tools/run-sim.sh" --headless "${@:3}" >"$log" 2>&1 || rc=$?
    cat "$log"
    [ $rc -eq 0 ] || echo "the main job ended with exit code $rc"
    "$root/tools/check-main-job.sh" "$log" 2 || rc=1
    return $rc
}

# The main job into a new, empty output folder: the README's command from nothing.
main_job_fresh_stage() {
    local fresh rc=0
    fresh=$(mktemp -d)
    # The fresh folder holds a whole build tree and a Wine prefix: only the screenshots are kept,
    # outside it.
    main_job_stage "$fresh" "$out/main-job-fresh.log" "$out/main-job-fresh/sheet" || rc=1
    rm -rf "$fresh"
    return $rc
}

i686_stage() {
    WINEPREFIX=$prefix32 "$root/tools/test-i686.sh" ${full:+--full} --times "$times.unsorted" "$out/win32" "$out/win64" |
        tee "$out/i686-stage.log"
}

# The prefix and its copies before any Wine session starts.
"$root/tools/wine-prefix.sh" "$prefix64" "$prefix64-lane2" "$prefix32"

linux_track() {
    renice -n 15 -p $BASHPID >/dev/null
    stage sanitize "Linux: clang build under ASan + UBSan with the libFuzzer targets, and its unit tests" sanitize_stage
    stage fuzz "fuzz targets (libFuzzer): a fixed number of executions each" fuzz_stage
    stage gcc "gcc's warnings on the sources that no Windows build compiles" gcc_stage
    stage release "release (tools/release.sh) built twice in two folders, compared byte for byte" release_stage
    if [ -n "$full" ]; then
        stage native "full: the native build (gcc) and its unit tests" build_and_test native
        stage sanitize-gcc "full: the unit tests under gcc's ASan + UBSan" build_and_test sanitize-gcc
    fi
}
x86_64_track() {
    stage x86-64 "x86-64: unit tests and GUI scenarios under Wine, the guide's pictures" x86_64_stage
    stage main-job "main job (tools/run-sim.sh) on the suite's x86-64 build" main_job_stage
    if [ -n "$full" ]; then
        stage main-job-fresh "full: main job (tools/run-sim.sh) into a new, empty output folder" main_job_fresh_stage
    fi
}
windows_track() {
    stage win64 "Windows x86-64 cross build" windows_build_stage win64
    x86_64_track &
    x86_64=$! # not local: the trap runs after the function has returned
    # A failure here ends this track, and the x86-64 track with it (once this track has ended,
    # the loop below no longer finds that track among its processes).
    trap 'kill_tree $x86_64' EXIT
    stage win32 "Windows i686 cross build (the product)" windows_build_stage win32
    stage i686 "i686: the product under wine32$([ -n "$full" ] && echo ', everything' || echo ', what the width can break')" \
        i686_stage
    if [ -n "$full" ]; then
        stage main-job-i686 "full: main job (tools/run-sim.sh) on the i686 build" \
            main_job_stage "$out/i686" "$out/main-job-i686.log" --build "$out/win32" "$out/win32/main-job/sheet"
    fi
    # Its stages report for themselves; this keeps the track alive until they end, and ends it
    # as the x86-64 track ended.
    wait $x86_64
}

kill_tree() { # PID: the process and everything it started
    local child
    for child in $(pgrep -P "$1"); do
        kill_tree "$child"
    done
    kill "$1" 2>/dev/null || true
}

setup=$(($(date +%s) - suite_start))
linux_track &
linux=$!
windows_track &
windows=$!

# At the first failure, everything else is stopped.
failed_stages() { awk '$2 != 0 { printf " %s", $1 }' "$logs/ended"; }
while kill -0 $linux 2>/dev/null || kill -0 $windows 2>/dev/null; do
    if [ -n "$(failed_stages)" ]; then
        kill_tree $linux
        kill_tree $windows
        break
    fi
    sleep 2
done
early=""
wait $linux || early=" the linux track ended early"
wait $windows || early=" the windows track ended early"
failed=$(failed_stages)
# Every stage that started must have ended and said so, and every track must have come to
# its end.
for title in "$logs"/*.title; do
    key=$(basename "$title" .title)
    grep -q "^$key " "$logs/ended" || failed="$failed $key"
done
failed=${failed:-$early}
sort -rn "$times.unsorted" >"$times"
rm -f "$times.unsorted"

table() {
    local key rc start end cpu
    printf '%7s %6s %6s  %s\n' start wall cpu stage
    while read -r key rc start end cpu; do
        printf '%5d s %4d s %4d s  %s%s\n' $((start - suite_start)) $((end - start)) "$cpu" "$(cat "$logs/$key.title")" \
            "$([ "$rc" -eq 0 ] || echo '  FAILED')"
    done <"$logs/ended"
    printf '%14d s %6s  the whole suite (setup %d s, wall time; %s)\n' $(($(date +%s) - suite_start)) "" \
        "$setup" "$(uptime | sed 's/.*\(load average\)/\1/')"
}

if [ -n "$failed" ]; then
    printf '\n=== failed:%s ===\n' "$failed"
    table
    exit 1
fi

printf '\n=== all stages passed ===\n'
tr -d '\r' <"$out/i686-stage.log" |
    sed -n 's/^\([0-9]* of [0-9]* test executables passed.*\)/i686 unit tests under wine32: \1/p'
echo "i686 player: sizeof( SXsvfInfo ) = $(sed -n 's/^constexpr std::size_t XSVF_INFO_SIZE = \([0-9]*\);$/\1/p' \
    "$root/xsvf/player.h") bytes, asserted when the i686 build compiled"
echo "i686 GUI scenarios passed: $(sed -n 's/^ok    \([a-z0-9-]*\) (.*/\1/p' "$out/i686-stage.log" | tr '\n' ' ' | sed 's/ $//')"
for shot in "$out/win32/main-job/sheet-card1.png" "$out/win32/gui-shots/pci-success-run1.png"; do
    if [ -f "$shot" ] && [ "$(stat -c %Y "$shot")" -ge "$suite_start" ]; then
        echo "i686 sheet after \"Success\": $shot"
        break
    fi
done
sed -n 's/^\(.* SHA-256: .*\)$/release, built twice, identical: \1/p' "$out/release-check.log"
echo "the slowest tests and scenarios (all in $times):"
head -n 5 "$times" | sed 's/^/  /'
table
