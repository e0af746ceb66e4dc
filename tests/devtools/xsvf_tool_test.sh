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
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"

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

# faults: the README's table of faults is the one the tool prints from the fault table.
"$xsvf" faults >"$work/faults"
expect_status 0 $? "faults"
sed -n '/^<!-- xsvf faults/,/^<!-- end of xsvf faults -->/p' "$src/README.md" | sed '1d;$d' >"$work/readme-faults"
expect_same "$work/faults" "$work/readme-faults" "README's fault table (tools/readme-faults.sh writes it)"
expect_grep "^| \`vanish\` | card | any | " "$work/faults" "faults: a card fault's row"

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
# Bytes after XCOMPLETE are never played: a note, not a fault.
printf '\x07\x00\x00\x05\x05' >"$work/trailing.xsvf"
"$xsvf" check "$work/trailing.xsvf" >"$work/out" 2>"$work/err"
expect_status 0 $? "check of a stream with bytes after XCOMPLETE"
expect_grep "note: 2 bytes after XCOMPLETE (from byte offset 3) are never played" "$work/err" "check notes the bytes after XCOMPLETE"
"$xsvf" play "$work/trailing.xsvf" >/dev/null 2>&1
expect_status 0 $? "play of a stream with bytes after XCOMPLETE"
"$xsvf" check "$work/missing.xsvf" >"$work/out" 2>"$work/err"
expect_status 66 $? "check of a missing file"
expect_grep "cannot read $work/missing.xsvf: No such file or directory" "$work/err" "check of a missing file: why"
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
# With --vcd as well, the VCD writer passes every traced access on unchanged.
"$xsvf" play "$work/small.xsvf" --log-level 4 --tdo 0110 --trace "$work/trace3" --vcd "$work/small.vcd" >/dev/null 2>&1
expect_status 2 $? "play with --trace and --vcd"
expect_same "$work/trace1" "$work/trace3" "the trace is the same with --vcd"
expect_grep "^sDRSHIFT &$" "$work/small.vcd" "the VCD follows the TAP into Shift-DR"
"$xsvf" play "$work/small.xsvf" --tdo 0 >"$work/log0" 2>/dev/null
expect_status 2 $? "play with TDO 0"
printf '\x00' >"$work/complete.xsvf"
"$xsvf" play "$work/complete.xsvf" --log-level 2 >"$work/log" 2>/dev/null
expect_status 0 $? "play of XCOMPLETE"
printf '  XCOMPLETE\n' >"$work/want"
expect_same "$work/want" "$work/log" "play's standard output is the player's log alone"
"$xsvf" play "$work/small.xsvf" --tdo 2 >/dev/null 2>&1
expect_status 64 $? "a bad --tdo is a usage error"
# Numbers in options are decimals: a leading zero is no octal, and hexadecimal is refused.
"$xsvf" play "$work/complete.xsvf" --log-level 02 >"$work/log" 2>/dev/null
expect_status 0 $? "--log-level 02"
expect_same "$work/want" "$work/log" "--log-level 02 is level 2"
for bad in 0x2 2x +2 3000; do
    "$xsvf" play "$work/complete.xsvf" --log-level "$bad" >/dev/null 2>"$work/err"
    expect_status 64 $? "--log-level $bad"
done
expect_grep "takes a whole number from -1000 to 1000, not 3000" "$work/err" "--log-level 3000: message"

# A command cut off by the end of the file does nothing: XSDRSIZE 56000 and a bare XSDRINC.
printf '\x08\x00\x00\xda\xc0\x0b' >"$work/cut.xsvf"
"$xsvf" play "$work/cut.xsvf" --trace "$work/cut.trace" >"$work/log" 2>/dev/null
expect_status 7 $? "play of a cut XSDRINC"
expect_grep "^ERROR:  XSVF stream ends inside command #2 (XSDRINC)$" "$work/log" "play of a cut XSDRINC: log"
# The buffers on, the run's reset (5 pulses of 12 writes), the reload request: nothing more.
lines=$(wc -l <"$work/cut.trace")
if [ "$lines" = 62 ]; then ok; else bad "play of a cut XSDRINC: $lines trace lines"; fi

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

# The tool's own failures: each with its exit status and a message that says why.
expect_failure() { # status, message, what, command...
    local status=$1 message=$2 what=$3
    shift 3
    "$@" >"$work/out" 2>"$work/err"
    expect_status "$status" $? "$what"
    expect_grep "$message" "$work/err" "$what: message"
}
full_output() { "$@" >/dev/full; }
expect_failure 74 "cannot write standard output: No space left on device" "play's log to a full device" \
    full_output "$xsvf" play @pci --log-level 4
expect_failure 74 "cannot write standard output: No space left on device" "dis to a full device" full_output "$xsvf" dis @pci
expect_failure 74 "cannot write standard output: No space left on device" "check to a full device" \
    full_output "$xsvf" check @pci
expect_failure 74 "cannot write standard output: No space left on device" "cat to a full device" full_output "$xsvf" cat @pci
# --help and -h: the usage on standard output, exit 0, ending with a newline. A usage error
# prints the same text on standard error alone, with exit 64.
ends_with_newline() { [ -s "$1" ] && [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' ')" = 0a ]; }
"$xsvf" >"$work/none.out" 2>"$work/usage"
expect_status 64 $? "no command is a usage error"
if [ ! -s "$work/none.out" ]; then ok; else bad "a usage error wrote to standard output"; fi
expect_grep "^usage: xsvf check FILE$" "$work/usage" "a usage error prints the usage"
for flag in --help -h; do
    "$xsvf" "$flag" >"$work/help" 2>"$work/err"
    expect_status 0 $? "xsvf $flag"
    expect_same "$work/usage" "$work/help" "xsvf $flag prints the usage on standard output"
    if [ ! -s "$work/err" ]; then ok; else bad "xsvf $flag wrote to standard error"; fi
    if ends_with_newline "$work/help"; then ok; else bad "xsvf $flag: the usage does not end with a newline"; fi
    expect_grep "^       xsvf --help$" "$work/help" "xsvf $flag names --help"
done
expect_failure 64 "unexpected argument extra" "--help with an extra argument" "$xsvf" --help extra
expect_failure 74 "cannot write standard output: No space left on device" "--help to a full device" \
    full_output "$xsvf" --help
expect_failure 64 "unexpected argument extra" "check with an extra argument" "$xsvf" check @pci extra
expect_failure 64 "unexpected argument extra" "play with an extra argument" "$xsvf" play @pci extra
expect_failure 64 "unknown command frob" "an unknown command" "$xsvf" frob @pci
expect_failure 64 "FILE is required" "check without FILE" "$xsvf" check
expect_failure 64 "cat takes an embedded program" "cat of a file" "$xsvf" cat "$work/small.xsvf"
expect_failure 66 "no embedded program @foo" "an unknown embedded program" "$xsvf" play @foo
mkdir "$work/dir.xsvf"
expect_failure 66 "cannot read $work/dir.xsvf: it is a directory" "check of a directory" "$xsvf" check "$work/dir.xsvf"
expect_failure 66 "cannot read $work/dir.xsvf: it is a directory" "play of a directory" "$xsvf" play "$work/dir.xsvf"
truncate -s 17M "$work/large.xsvf"
expect_failure 66 "cannot read $work/large.xsvf: it is larger than 16777216 bytes" "check of a file too large" \
    "$xsvf" check "$work/large.xsvf"
cp "$work/small.xsvf" "$work/locked.xsvf"
chmod 000 "$work/locked.xsvf"
if [ "$(id -u)" != 0 ]; then
    expect_failure 66 "cannot read $work/locked.xsvf: Permission denied" "check without permission" \
        "$xsvf" check "$work/locked.xsvf"
elif command -v runuser >/dev/null && runuser -u nobody -- "$xsvf" check @pci >/dev/null 2>&1; then
    chmod 755 "$work"
    expect_failure 66 "cannot read $work/locked.xsvf: Permission denied" "check without permission" \
        runuser -u nobody -- "$xsvf" check "$work/locked.xsvf"
else
    echo "skipped: check without permission (root, and no user without it)"
fi

# A card that cannot be mapped leaves no trace file, and one that was there as it was.
"$xsvf" play @pci --target sim --fault map-fails --trace "$work/none.trace" >/dev/null 2>"$work/err"
expect_status 69 $? "no card: status"
if [ ! -e "$work/none.trace" ]; then ok; else bad "no card: a trace file was left"; fi
echo "an earlier trace" >"$work/old.trace"
"$xsvf" play @pci --target sim --fault map-fails --trace "$work/old.trace" >/dev/null 2>&1
expect_status 69 $? "no card, earlier trace: status"
if [ "$(cat "$work/old.trace")" = "an earlier trace" ]; then ok; else bad "no card: an earlier trace was changed"; fi
expect_failure 73 "cannot write $work/dir.xsvf/no/t: No such file or directory" "a trace that cannot be created" \
    "$xsvf" play "$work/small.xsvf" --trace "$work/dir.xsvf/no/t"

# On a terminal the percent is that of the stream being played: 100 at its end, never more.
percents() { # FILE: the percents that play shows on a terminal, one per line
    script -qec "'$xsvf' play '$1' >/dev/null" /dev/null | tr '\r' '\n' | sed -n 's/^ *\([0-9]*\) %$/\1/p'
}
if command -v script >/dev/null; then
    head -c 5120 /dev/zero | tr '\0' '\7' >"$work/5k.xsvf"
    head -c 1048576 /dev/zero | tr '\0' '\7' >"$work/1m.xsvf"
    for f in 5k 1m; do
        percents "$work/$f.xsvf" >"$work/percents"
        if [ "$(wc -l <"$work/percents")" = 100 ] && [ "$(tail -n 1 "$work/percents")" = 100 ]; then ok
        else bad "progress of the $f file: $(tr '\n' ' ' <"$work/percents" | tail -c 60)"; fi
    done
else
    echo "skipped: progress on a terminal (no script command)"
fi

checks_done "xsvf tool"
