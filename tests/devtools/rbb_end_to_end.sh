#!/usr/bin/env bash
# The remote-bitbang server and client end to end, through real sockets:
#   1. @pci against `xsvf serve --card pci` on a free TCP port succeeds and the served card
#      then holds the PCI configuration; a second session verifies it by reading it back.
#   2. @pci against a CardBus card on a UNIX socket fails at the identity check with nothing
#      erased; the read-back of the PCI data fails there too.
#   3. @pci against a PCI card with the fault flash-bit-stuck fails at the read-back.
# Then the tool's own failures (bad options, nobody listening, a server that dies mid-run).
# Prints each update's wall time over the socket and TCK/s, and writes those lines to
# FIGURES_FILE too. Every server is stopped on the way out, whatever happens.
# Usage: rbb_end_to_end.sh XSVF_BINARY [FIGURES_FILE]
set -u
xsvf=$1
figures=${2:-/dev/null}
work=$(mktemp -d)
servers=()
cleanup() {
    for p in "${servers[@]}"; do
        kill "$p" 2>/dev/null
        wait "$p" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"
: >"$figures"

# start_server NAME ARGS...: sets $address and $server_pid once the server says it is ready.
start_server() {
    local name=$1
    shift
    "$xsvf" serve "$@" >"$work/$name.ready" 2>"$work/$name.log" &
    server_pid=$!
    servers+=("$server_pid")
    address=
    for _ in $(seq 100); do
        address=$(sed -n 's/^xsvf serve: listening on \([^,]*\),.*/\1/p' "$work/$name.ready")
        [ -n "$address" ] && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    bad "server $name did not start:"
    cat "$work/$name.log"
    return 1
}
stop_server() {
    kill -TERM "$server_pid"
    wait "$server_pid"
    expect_status 0 $? "server exit status"
}
# play NAME FILE: plays against the current server, prints and keeps the figures.
play() {
    local start end
    start=$(date +%s.%N)
    "$xsvf" play "$2" --target "rbb:$address" >"$work/$1.out" 2>"$work/$1.err"
    status=$?
    end=$(date +%s.%N)
    local line
    line=$(grep '^xsvf: rbb:' "$work/$1.err")
    printf '%-40s exit %s, %.1f s wall; %s\n' "$1" "$status" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "${line#xsvf: rbb: }" |
        tee -a "$figures"
}

# A short stream for a second session: VERIFY, address 0 (not checked), one READ and the
# compared scan of the first 33 blocks, cut from @pci with the offsets that dis prints.
"$xsvf" cat @pci >"$work/pci.xsvf"
"$xsvf" dis @pci >"$work/pci.dis"
offset() { awk -v n="$1" '$2 == n { print $1 }' "$work/pci.dis"; }
bytes() { tail -c +$(($1 + 1)) "$work/pci.xsvf" | head -c $(($2 - $1)); }
verify=$(awk '$3 == "XSIR" && $5 == "0x11" { print $2; exit }' "$work/pci.dis")
read_first=$(awk -v v="$verify" '$2 > v && $3 == "XSIR" && $5 == "0x07" { print $2; exit }' "$work/pci.dis")
read_scan=$(awk -v r="$read_first" '$2 > r && $3 == "XSDRTDO" { print $2; exit }' "$work/pci.dis")
{
    bytes 0 4                                                     # XREPEAT 0, XSTATE RESET
    bytes "$(offset $((verify - 1)))" "$(offset $((verify + 3)))" # VERIFY, 110 ms, BYPASS
    printf '\x02\x08\x05\x04\x00\x00\x00\x01\x08\x00\x00\x00\x10\x01\x00\x00\x09\x00\x00\x00\x00'
    bytes "$(offset $((read_first - 1)))" "$(offset $((read_scan + 1)))" # READ, 50 us, the scan
    printf '\x00'
} >"$work/verify.xsvf"
"$xsvf" check "$work/verify.xsvf" >/dev/null 2>&1
expect_status 0 $? "the read-back stream walks cleanly"

# 1. The right card, over TCP: programmed, then read back in a second session.
if start_server pci --card pci --port 0; then
    case $address in 127.0.0.1:*) ok ;; *) bad "TCP server not on 127.0.0.1: $address" ;; esac
    play "@pci on a PCI card (TCP)" @pci
    expect_status 0 "$status" "@pci on a PCI card"
    play "read-back, second session (TCP)" "$work/verify.xsvf"
    expect_status 0 "$status" "read-back in a second session"
    stop_server
    expect_grep "holds the PCI configuration" "$work/pci.log" "@pci on a PCI card: the served card"
    expect_grep "^xsvf serve: 2 sessions; in all 6 sectors erased, 382 rows programmed" "$work/pci.log" \
        "@pci on a PCI card: the card's work"
fi

# 2. The wrong card, over a UNIX socket: the identity check stops it before any change.
if start_server cardbus --card cardbus --unix "$work/cardbus.sock"; then
    play "@pci on a CardBus card (UNIX)" @pci
    expect_status 2 "$status" "@pci on a CardBus card"
    expect_grep "^ERROR at XSVF command #9$" "$work/@pci on a CardBus card (UNIX).out" "identity check fails"
    play "PCI read-back of a CardBus card (UNIX)" "$work/verify.xsvf"
    expect_status 2 "$status" "PCI read-back on a CardBus card"
    stop_server
    expect_grep "^xsvf serve: 2 sessions; in all 0 sectors erased, 0 rows programmed" "$work/cardbus.log" \
        "@pci on a CardBus card: nothing erased"
    if [ ! -e "$work/cardbus.sock" ]; then ok; else bad "the UNIX socket file is removed at exit"; fi
fi

# 3. A card fault: a memory bit that cannot be programmed shows in the read-back.
if start_server stuck --card pci --fault flash-bit-stuck --port 0; then
    play "@pci, card fault flash-bit-stuck (TCP)" @pci
    expect_status 2 "$status" "@pci on a card with a stuck bit"
    command=$(sed -n 's/^ERROR at XSVF command #\([0-9]*\)$/\1/p' "$work/@pci, card fault flash-bit-stuck (TCP).out")
    if [ -n "$command" ] && [ "$command" -gt "$read_scan" ]; then ok; else
        bad "the stuck bit should fail a read-back scan (after command $read_scan), failed at '$command'"
    fi
    stop_server
    expect_grep "holds no complete configuration" "$work/stuck.log" "stuck bit: the served card"
fi

# The tool's own failures: clear messages and their exit codes.
"$xsvf" play @pci --target rbb:nohost >/dev/null 2>"$work/err"
expect_status 64 $? "a target without a port"
"$xsvf" play @pci --vcd-commands 1-2 >/dev/null 2>"$work/err"
expect_status 64 $? "--vcd-commands without --vcd"
"$xsvf" play @pci --vcd "$work/no/such/dir.vcd" >/dev/null 2>"$work/err"
expect_status 73 $? "a VCD file that cannot be written"
"$xsvf" serve --fault map-fails >/dev/null 2>"$work/err"
expect_status 64 $? "serve with a driver fault"
expect_grep "a driver fault; a served card has no driver" "$work/err" "serve with a driver fault: message"
touch "$work/plain-file"
"$xsvf" serve --unix "$work/plain-file" >/dev/null 2>"$work/err"
expect_status 69 $? "serve on a path that is no socket"
"$xsvf" play @pci --target "rbb:unix:$work/nobody.sock" >/dev/null 2>"$work/err"
expect_status 69 $? "play with nobody listening"
expect_grep "cannot connect to unix:$work/nobody.sock" "$work/err" "play with nobody listening: message"

# A server that dies mid-update: the client says so and exits 76, not with the player's result.
if start_server dying --card pci --port 0; then
    "$xsvf" play @pci --target "rbb:$address" >/dev/null 2>"$work/dying.err" &
    client=$!
    sleep 1
    kill -KILL "$server_pid"
    wait "$server_pid" 2>/dev/null
    wait "$client"
    expect_status 76 $? "a server that dies mid-update"
    expect_grep "the connection to the remote-bitbang server broke" "$work/dying.err" "dying server: message"
fi

checks_done "remote-bitbang end to end"
