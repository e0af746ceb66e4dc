#!/usr/bin/env bash
# The scripts' own logic, without Wine or a display: GoogleTest verdicts, PE machine types
# and Windows paths, the screenshot hand-shake with the GUI driver, and the check of the
# main job's output.
# Usage: scripts_test.sh SOURCE_DIR
set -u
src=${1:?usage: scripts_test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"
# `good | check ...` counts in this shell, not in a subshell that forgets its failures.
shopt -s lastpipe

. "$src/tools/wine-env.sh"
. "$src/tools/gtest-result.sh"
. "$src/tools/sheet-shots.sh"

# ---- GoogleTest verdicts ----
verdict() { # name, exit status, expected ok, expected tests, expected line; output on stdin
    cat >"$work/out"
    gtest_result "$work/out" "$2" 900
    expect_eq "$3 $4 $5" "$gtest_ok $gtest_tests $gtest_line" "$1"
}
printf '[==========] 21 tests from 2 test suites ran. (5 ms total)\r\n[  PASSED  ] 21 tests.\r\n' |
    verdict "all passed, Windows line ends" 0 1 21 "21 tests from 2 suites passed"
printf '[==========] 1 test from 1 test suite ran. (0 ms total)\n[  PASSED  ] 1 test.\n' |
    verdict "one test" 0 1 1 "1 test from 1 suite passed"
printf '[==========] 21 tests from 2 test suites ran.\n[  PASSED  ] 20 tests.\n[  FAILED  ] 1 test, listed below:\n' |
    verdict "one failed" 1 0 21 "exit 1, 20 of 21 tests passed"
printf '' | verdict "no output, exit 0 (Wine ran nothing)" 0 0 0 "exit 0, GoogleTest reported no run"
printf '[==========] 0 tests from 0 test suites ran.\n[  PASSED  ] 0 tests.\n' |
    verdict "no test" 0 0 0 "exit 0, GoogleTest ran no test"
printf '[==========] 21 tests from 2 test suites ran.\n[  PASSED  ] 21 tests.\n' |
    verdict "all passed but a nonzero exit" 3 0 21 "exit 3, 21 of 21 tests passed"
printf '[==========] 21 tests from 2 test suites ran.\n' |
    verdict "no PASSED line" 0 0 21 "exit 0, 0 of 21 tests passed"
printf '[ RUN      ] A.b\n' | verdict "time limit" 124 0 0 "no end within 900 s"
printf '[==========] 2 tests from 1 test suite ran.\n[  PASSED  ] 2 tests. (not the summary)\n' |
    verdict "a PASSED line with more after it" 0 0 2 "exit 0, 0 of 2 tests passed"

# ---- PE machine types and loaders ----
pe_file() { # file, e_lfanew, signature and machine bytes (printf escapes)
    head -c "$2" /dev/zero >"$1"
    printf 'MZ' | dd of="$1" conv=notrunc status=none
    # shellcheck disable=SC2059 # the format is made of escapes on purpose
    printf "\\x$(printf %02x $(($2 & 255)))\\x$(printf %02x $(($2 >> 8)))\\x00\\x00" |
        dd of="$1" bs=1 seek=60 conv=notrunc status=none
    # shellcheck disable=SC2059
    printf "$3" >>"$1"
    head -c 64 /dev/zero >>"$1"
}
pe_file "$work/i686.exe" 128 'PE\x00\x00\x4c\x01'
pe_file "$work/x64.exe" 256 'PE\x00\x00\x64\x86'
pe_file "$work/bad-signature.exe" 128 'XX\x00\x00\x4c\x01'
printf 'MZ' >"$work/short.exe"
expect_eq 14c "$(pe_machine "$work/i686.exe")" "machine of an i686 executable"
expect_eq 8664 "$(pe_machine "$work/x64.exe")" "machine of an x86-64 executable"
expect_eq "" "$(pe_machine "$work/bad-signature.exe")" "machine of a file without the PE signature"
expect_eq "" "$(pe_machine "$work/short.exe")" "machine of a file that ends early"
expect_eq "" "$(pe_machine "$work/missing.exe")" "machine of a missing file"
expect_eq "$wine32" "$(wine_for "$work/i686.exe")" "loader of an i686 executable"
expect_eq "$wine64" "$(wine_for "$work/x64.exe")" "loader of an x86-64 executable"
expect_eq 'Z:\tmp\a b\c' "$(win_path '/tmp/a b/c')" "Windows path"

# The sheet's caption, from version.env, names its hardware revision in three digits.
expect_eq "HW Revision $(printf '%03d' "$MOLA_HW_REVISION")" "${SHEET_CAPTION##*, }" "the sheet's caption names the revision"

# ---- Screenshot hand-shake: stand-ins for xwininfo and import on PATH ----
mkdir -p "$work/bin"
cat >"$work/bin/xwininfo" <<EOF
#!/bin/sh
case \$2 in
"$SHEET_CAPTION") echo 'xwininfo: Window id: 0x400001 "$SHEET_CAPTION"' ;;
"MOLA Flash Update Tool") echo 'xwininfo: Window id: 0x500001 "MOLA Flash Update Tool"' ;;
*) exit 1 ;;
esac
EOF
cat >"$work/bin/import" <<'EOF'
#!/bin/sh
case "$1 $2" in
"-window 0x400001") echo picture >"$3" ;;
"-window 0x500001") echo box >"$3" ;;
esac
EOF
chmod +x "$work/bin/xwininfo" "$work/bin/import"
mkdir -p "$work/sync" "$work/shots"
# A driver that asks for two pictures of the sheet and one of a message box, each time waiting
# for the done file (as the GUI driver does), with Windows line ends, and asks for the first
# one twice.
(
    printf 'Card 1: status "Success"\r\nSHOT 1\r\n'
    while [ ! -f "$work/sync/shot-1.done" ]; do sleep 0.1; done
    printf 'SHOT 1\r\nSHOT 2\r\n'
    while [ ! -f "$work/sync/shot-2.done" ]; do sleep 0.1; done
    printf 'SHOT 3 box\r\n'
    while [ ! -f "$work/sync/shot-3.done" ]; do sleep 0.1; done
) >"$work/driver.log" &
driver=$!
PATH="$work/bin:$PATH" timeout 20 bash -c '. "$1/tools/sheet-shots.sh"; serve_shots "$2/driver.log" "$2/sync" "$2/shots/sheet-card" "$3"' \
    _ "$src" "$work" "$driver"
expect_eq 0 $? "serve_shots ends when the driver ends"
wait "$driver"
expect_eq "picture picture box" "$(cat "$work/shots/sheet-card1.png" "$work/shots/sheet-card2.png" \
    "$work/shots/sheet-card3.png" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')" \
    "pictures of the sheet's window for SHOT 1 and SHOT 2, of the box's window for SHOT 3 box"
expect_eq "sheet-card1.png sheet-card2.png sheet-card3.png" "$(cd "$work/shots" && echo *)" "no other pictures"
# With no sheet on the screen the picture is missing, and the driver is still let go on.
rm -rf "$work/sync"/* "$work/shots"/*
printf '#!/bin/sh\nexit 1\n' >"$work/bin/xwininfo"
(
    printf 'SHOT 1\n'
    while [ ! -f "$work/sync/shot-1.done" ]; do sleep 0.1; done
) >"$work/driver.log" &
driver=$!
PATH="$work/bin:$PATH" timeout 20 bash -c '. "$1/tools/sheet-shots.sh"; serve_shots "$2/driver.log" "$2/sync" "$2/shots/x" "$3"' \
    _ "$src" "$work" "$driver"
expect_eq 0 $? "serve_shots lets the driver go on with no sheet to picture"
expect_eq "" "$(ls "$work/shots")" "no picture without a sheet"

# ---- The main job's output ----
check() { # name, expected status, cards; output on stdin
    cat >"$work/job"
    "$src/tools/check-main-job.sh" "$work/job" "$3" >"$work/check.out"
    expect_eq "$2" $? "$1"
}
printf 'picture\n' >"$work/card1.png"
printf 'picture\n' >"$work/card2.png"
good() {
    cat <<EOF
Card 1: revision 9, Not updated; updating with the PCI program
Card 1: status "Success", progress bar 100
Card 2: revision 10, Up-to-date; updating with the CardBus program
Card 2: status "Success", progress bar 100
message after closing: "Shut down and power off the computer\\nfor the update to become active."
exit code 0
screenshot: $work/card1.png
screenshot: $work/card2.png
second start: Card 1: revision 10, Up-to-date
second start: Card 2: revision 10, Up-to-date
second start: exit code 0
EOF
}
good | check "a good main job" 0 2
good | check "a good main job, one card more expected" 1 3
good | sed 's/Card 2: status "Success", progress bar 100/Card 2: status "Failed", progress bar 37/' |
    check "a card that failed" 1 2
if grep -q '1 of 2 cards ended with "Success"' "$work/check.out"; then ok; else bad "the check names the failed card count"; fi
good | sed 's/progress bar 100$/progress bar 99/' | check "a bar short of 100" 1 2
good | grep -v '^message after closing' | check "no power-off message" 1 2
good | sed 's/update to become active/update/' | check "another message" 1 2
good | sed 's/^exit code 0$/exit code 1/' | check "a nonzero exit code" 1 2
good | sed 's/^second start: Card 2: revision 10, Up-to-date$/second start: Card 2: revision 9, Not updated/' |
    check "a card not at revision 10 at the second start" 1 2
rm "$work/card2.png"
good | check "a screenshot file missing" 1 2
if grep -q '1 of 2 screenshots saved' "$work/check.out"; then ok; else bad "the check counts the screenshots"; fi
: | check "no output at all" 1 2

checks_done
