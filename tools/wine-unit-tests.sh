#!/usr/bin/env bash
# Runs the unit-test executables of a Windows build under Wine (wine32 for an i686 build), one
# process each, and prints a line per executable with GoogleTest's counts.
# An executable passes only when it exits 0 AND GoogleTest reports every test it ran as
# passed: Wine can exit 0 without running a program at all.
# The executables are those the build registers with CTest. The caller sets WINEPREFIX; run
# it inside tools/wine-session.sh so that Wine's services start once for all of them.
# Usage: tools/wine-unit-tests.sh [--times FILE] BUILD_DIR [NAME...]
#   NAME...       the executables to run (default: every one the build registers)
#   --times FILE  appends "SECONDS unit-WIDTH NAME" for each executable run
# Exits nonzero when any executable fails, reports no tests, or runs past the time limit
# (MOLA_WINE_TEST_TIMEOUT seconds each, default 900).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-env.sh"
. "$root/tools/gtest-result.sh"
usage="usage: wine-unit-tests.sh [--times FILE] BUILD_DIR [NAME...]"
times=""
if [ "${1:-}" = --times ]; then
    times=${2:?$usage}
    shift 2
fi
build=$(cd "${1:?$usage}" && pwd) || exit 2
shift
: "${WINEPREFIX:?wine-unit-tests.sh: set WINEPREFIX}"
limit=${MOLA_WINE_TEST_TIMEOUT:-900}

mapfile -t names < <(ctest --test-dir "$build" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')
if [ $# -gt 0 ] && [ ${#names[@]} -gt 0 ]; then
    for name in "$@"; do
        printf '%s\n' "${names[@]}" | grep -qx "$name" || { echo "$build registers no unit test $name" >&2; exit 2; }
    done
    names=("$@")
fi
if [ ${#names[@]} -eq 0 ]; then
    echo "no unit tests registered in $build" >&2
    exit 2
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
passed=0
failed=0
total_tests=0
for name in "${names[@]}"; do
    exe=$build/tests/$name.exe
    if [ ! -f "$exe" ]; then
        echo "FAIL  $name: no $exe"
        failed=$((failed + 1))
        continue
    fi
    start=$(date +%s%N)
    # Standard output to a file, never a pipe: Wine's helper processes can keep a pipe open
    # after the program ends. Standard error apart: under emulation Wine's helpers may print
    # crash notes there that are not the test's.
    (cd "$build" && timeout -k 10 "$limit" "$(wine_for "$exe")" "$exe" >"$logs/$name.out" 2>"$logs/$name.err")
    rc=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    secs="$((ms / 1000)).$((ms % 1000 / 100)) s"
    width=x86-64
    [ "$(pe_machine "$exe")" = 14c ] && width=i686
    [ -z "$times" ] || echo "${secs% s} unit-$width $name.exe" >>"$times"
    gtest_result "$logs/$name.out" $rc "$limit"
    if [ $gtest_ok -eq 1 ]; then
        passed=$((passed + 1))
        total_tests=$((total_tests + gtest_tests))
        echo "ok    $name.exe: $gtest_line ($secs)"
    else
        failed=$((failed + 1))
        echo "FAIL  $name.exe: $gtest_line ($secs)"
        tr -d '\r' <"$logs/$name.out" >"$logs/$name.txt"
        grep -E '^\[  FAILED  \]|Failure$|error:' "$logs/$name.txt" | head -40 | sed 's/^/      /'
        tail -n 5 "$logs/$name.txt" | sed 's/^/      | /'
        tail -n 5 "$logs/$name.err" | sed 's/^/      ! /'
    fi
done
echo "$passed of ${#names[@]} test executables passed, $total_tests tests in all"
[ $failed -eq 0 ]
