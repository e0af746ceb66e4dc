#!/usr/bin/env bash
# The xsvf developer tool, end to end: check's table of the embedded programs, play against
# the recording target (deterministic trace and log) and against the simulated card, cat,
# and clear errors on bad input.
# Usage: xsvf_tool_test.sh XSVF_BINARY SOURCE_DIR
set -u
xsvf=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }
expect_status() { # expected, actual, what
    if [ "$1" = "$2" ]; then ok; else bad "$3: status $2, expected $1"; fi
}
expect_same() { # file1 file2 what
    if cmp -s "$1" "$2"; then ok; else bad "$3"; diff "$1" "$2" | head -10; fi
}
expect_grep() { # pattern file what
    if grep -q -- "$1" "$2"; then ok; else bad "$3: no \"$1\" in:"; head -5 "$2"; fi
}

cat >"$work/table" <<'TABLE'
4088 commands, 504089 bytes
XRUNTEST      1354  run-test time in microseconds: 0 (579), 14000 (382), 1 (193), 50 (191), 110000 (7), 100000 (1), 37000 (1)
XSIR          1174  instruction length in bits: 8 (1174)
XSDRTDO        772
XSDRSIZE       392  data-register length in bits: 16 (193), 4096 (189), 6 (3), 32 (2), 2048 (2), 1 (1), 4224 (1), 3968 (1)
XTDOMASK       392
XSTATE           2  state: 1 (2)
XREPEAT          1  retry limit: 0 (1)
XCOMPLETE        1
TABLE

# check: both embedded programs walk cleanly and carry the table of commands and operands.
for program in @pci @cardbus; do
    "$xsvf" check "$program" >"$work/out" 2>"$work/err"
    expect_status 0 $? "check $program"
    expect_same "$work/table" "$work/out" "check $program table"
done

# cat: the embedded bytes are those recorded in SHA256SUMS.
for name in pci cardbus; do
    "$xsvf" cat "@$name" >"$work/$name.xsvf"
    expect_status 0 $? "cat @$name"
    want=$(awk -v f="$name.xsvf" '$2 == f || $2 == "*" f {print $1}' "$src/images/SHA256SUMS")
    have=$(sha256sum "$work/$name.xsvf" | cut -d' ' -f1)
    if [ -n "$want" ] && [ "$want" = "$have" ]; then ok; else bad "cat @$name: sha256 $have, expected $want"; fi
done

# A written file is read like an embedded program.
"$xsvf" check "$work/pci.xsvf" >"$work/out" 2>"$work/err"
expect_status 0 $? "check of a file"
expect_same "$work/table" "$work/out" "check of a file: table"

# check and dis name the byte offset and command number of a bad stream.
head -c 1000 "$work/pci.xsvf" >"$work/cut.xsvf"
"$xsvf" check "$work/cut.xsvf" >"$work/out" 2>"$work/err"
expect_status 1 $? "check of a truncated stream"
expect_grep "byte offset" "$work/err" "check of a truncated stream: message"
expect_grep "command #" "$work/err" "check of a truncated stream: command number"
printf '\x07\x00\x05\x00' >"$work/reserved.xsvf"
"$xsvf" dis "$work/reserved.xsvf" >"$work/out" 2>"$work/err"
expect_status 1 $? "dis of a reserved opcode"
expect_grep "byte offset 2, command #2" "$work/err" "dis of a reserved opcode: where"
expect_grep "XREPEAT" "$work/out" "dis prints the commands before the fault"
"$xsvf" check "$work/missing.xsvf" >"$work/out" 2>"$work/err"
expect_status 1 $? "check of a missing file"
if [ ! -s "$work/out" ]; then ok; else bad "errors go to standard error only"; fi

# dis: one line per command.
"$xsvf" dis @pci >"$work/dis" 2>"$work/err"
expect_status 0 $? "dis @pci"
lines=$(wc -l <"$work/dis")
if [ "$lines" = 4088 ]; then ok; else bad "dis @pci printed $lines lines"; fi
expect_grep "^      0     1 XREPEAT      0$" "$work/dis" "dis first line"
expect_grep "^ 504088  4088 XCOMPLETE" "$work/dis" "dis last line"

# play against the recorder: deterministic, exit status is the player's result.
printf '\x07\x00\x04\x00\x00\x07\xd0\x08\x00\x00\x00\x08\x01\xff\x09\xa5\x5a\x02\x08\x12\x00' >"$work/small.xsvf"
for run in 1 2; do
    "$xsvf" play "$work/small.xsvf" --log-level 4 --tdo 0110 --trace "$work/trace$run" \
        >"$work/log$run" 2>"$work/err$run"
    echo $? >"$work/status$run"
done
expect_same "$work/trace1" "$work/trace2" "play traces are byte-identical"
expect_same "$work/log1" "$work/log2" "play logs are byte-identical"
expect_status 2 "$(cat "$work/status1")" "play of a mismatching stream"
expect_grep "^W 100 00000008$" "$work/trace1" "trace starts with the write of 8"
expect_grep "^R 000 10000000$" "$work/trace1" "trace shows TDO reads"
expect_grep "^ERROR at XSVF command #5$" "$work/log1" "log names the failing command"
expect_grep "^S 2$" "$work/trace1" "trace shows the 2 ms run-test sleep"
if [ "$(tail -n 1 "$work/trace1")" = "W 100 00000010" ]; then ok; else bad "trace ends with the write of 16"; fi
"$xsvf" play "$work/small.xsvf" --tdo 0 >"$work/log0" 2>/dev/null
expect_status 2 $? "play with TDO 0"
printf '\x00' >"$work/complete.xsvf"
"$xsvf" play "$work/complete.xsvf" --log-level 2 >"$work/log" 2>/dev/null
expect_status 0 $? "play of XCOMPLETE"
printf '  XCOMPLETE\n' >"$work/want"
expect_same "$work/want" "$work/log" "play's standard output is the player's log alone"
"$xsvf" play "$work/small.xsvf" --tdo 2 >/dev/null 2>&1
expect_status 64 $? "a bad --tdo is a usage error"

"$xsvf" play "$work/missing.xsvf" >/dev/null 2>&1
expect_status 66 $? "play of a missing file"

# play against the simulated card: the right program programs the card, the wrong one
# stops at the identity check.
"$xsvf" play @pci --target sim --card pci >"$work/out" 2>"$work/err"
expect_status 0 $? "@pci on a PCI card"
expect_grep "holds the PCI configuration" "$work/err" "@pci on a PCI card: memory"
"$xsvf" play @cardbus --target sim --card cardbus >"$work/out" 2>"$work/err"
expect_status 0 $? "@cardbus on a CardBus card"
expect_grep "holds the CardBus configuration" "$work/err" "@cardbus on a CardBus card: memory"
"$xsvf" play @pci --target sim --card cardbus >"$work/out" 2>"$work/err"
expect_status 2 $? "@pci on a CardBus card"
expect_grep "ERROR:  TDO mismatch" "$work/out" "@pci on a CardBus card: log"
"$xsvf" play @pci --target sim --card pci --fault no-such-fault >/dev/null 2>&1
expect_status 64 $? "an unknown fault is a usage error"
"$xsvf" play @pci --target sim --card pci --fault map-fails >/dev/null 2>"$work/err"
expect_status 69 $? "a card that cannot be mapped"

# play --target sim takes the simulated platform from the MOLA_SIM_* variables, as
# MolaFlashSim.exe does, and refuses what cannot apply.
MOLA_SIM_FAULTS=tdo-stuck-0 "$xsvf" play @pci --target sim >"$work/out" 2>"$work/err"
expect_status 2 $? "MOLA_SIM_FAULTS reaches play's card"
MOLA_SIM_CARDS=cardbus:10 "$xsvf" play @pci --target sim >"$work/out" 2>"$work/err"
expect_status 2 $? "MOLA_SIM_CARDS chooses play's card"
MOLA_SIM_DRIVER=9x MOLA_SIM_FAULTS=vxd-count-fails "$xsvf" play @pci --target sim >/dev/null 2>"$work/err"
expect_status 69 $? "a 9x driver fault on the 9x driver"
"$xsvf" play @pci --target sim --fault vxd-count-fails >/dev/null 2>"$work/err"
expect_status 64 $? "a 9x driver fault on the NT driver"
expect_grep "the NT driver has no such request" "$work/err" "a 9x driver fault on the NT driver: message"
MOLA_SIM_COUNT=5,6 "$xsvf" play @pci --target sim >/dev/null 2>"$work/err"
expect_status 64 $? "a malformed MOLA_SIM_COUNT"
expect_grep "MOLA_SIM_COUNT=5,6" "$work/err" "a malformed MOLA_SIM_COUNT: message"
MOLA_SIM_FAULTS=vanish "$xsvf" play "$work/complete.xsvf" >/dev/null 2>"$work/err"
expect_status 64 $? "MOLA_SIM_* with the recording target"

echo "xsvf tool: $passed passed, $failed failed"
[ "$failed" = 0 ]
