#!/usr/bin/env bash
# The remote-bitbang server and client end to end, through real sockets:
#   1. @pci against `xsvf serve --card pci --clock virtual` on a free TCP port, its waits sent
#      as sleep characters (--remote-sleep), succeeds and the served card then holds the PCI
#      configuration; a second session verifies it by reading it back. The card is kept in a
#      state file (--state), from which a later server's card comes up holding it.
#   2. @pci against a CardBus card fails at the identity check with nothing erased: on a UNIX
#      socket with the host's clock and the client waiting on the host (and the read-back of
#      the PCI data fails there too), and over TCP on a virtual clock with --remote-sleep (with
#      a VCD of the identity check, in virtual time).
#   3. @pci against a PCI card with the fault flash-bit-stuck, on the host's clock with the
#      waits as sleep characters, fails at the read-back.
#   4. Throughput: 3,000 identity reads (153,006 TCK, no waits) on a virtual clock.
#   5. @pci with its waits sent as TCK cycles at 1 MHz (CYCLE_CLIENT) programs a card on a
#      virtual clock at 1 MHz and fails on a card on the host's clock.
# Then the tool's own failures (bad options, nobody listening, a server that dies mid-run).
# Prints each run's wall time over the socket and TCK/s, and writes those lines to
# FIGURES_FILE too. Every server is stopped on the way out, whatever happens.
# Usage: rbb_end_to_end.sh XSVF_BINARY [FIGURES_FILE [CYCLE_CLIENT]]
set -u
xsvf=$1
figures=${2:-/dev/null}
cycle_client=${3:-}
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
# play NAME FILE [OPTION...]: plays against the current server, prints and keeps the figures.
play() {
    local name=$1 file=$2 start end
    shift 2
    start=$(date +%s.%N)
    "$xsvf" play "$file" --target "rbb:$address" "$@" >"$work/$name.out" 2>"$work/$name.err"
    status=$?
    end=$(date +%s.%N)
    local line
    line=$(grep '^xsvf: rbb:' "$work/$name.err")
    printf '%-44s exit %s, %.2f s wall; %s\n' "$name" "$status" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
        "${line#xsvf: rbb: }" | tee -a "$figures"
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

# 3,000 identity reads and nothing else: XSIR IDCODE and a compared 32-bit XSDRTDO each, no
# waits (XRUNTEST 0), cut from @pci's identity check.
{ bytes 17 20; bytes 30 39; } >"$work/one-read"
for _ in $(seq 12); do cat "$work/one-read" "$work/one-read" >"$work/two-reads" && mv "$work/two-reads" "$work/one-read"; done
{ bytes 0 4; bytes 12 17; bytes 20 30; head -c $((3000 * 12)) "$work/one-read"; printf '\x00'; } >"$work/identity.xsvf"
"$xsvf" check "$work/identity.xsvf" >"$work/identity.check" 2>&1
expect_status 0 $? "the identity-read stream walks cleanly"
expect_grep "^6006 commands" "$work/identity.check" "the identity-read stream: 3,000 reads"

# 1. The right card, over TCP, on a virtual clock: programmed, then read back in a second session.
if start_server pci --card pci --port 0 --clock virtual --state "$work/pci.state"; then
    case $address in 127.0.0.1:*) ok ;; *) bad "TCP server not on 127.0.0.1: $address" ;; esac
    expect_grep "^xsvf serve: listening on .*, PCI card, virtual clock at 1000000 Hz TCK$" "$work/pci.ready" \
        "virtual clock: the ready line"
    play "@pci on a PCI card (TCP, virtual clock)" @pci --remote-sleep
    expect_status 0 "$status" "@pci on a PCI card"
    expect_grep "waits sent as sleep characters" "$work/@pci on a PCI card (TCP, virtual clock).err" \
        "@pci on a PCI card: the waits in the stream"
    play "read-back, second session (TCP)" "$work/verify.xsvf" --remote-sleep
    expect_status 0 "$status" "read-back in a second session"
    stop_server
    expect_grep "holds the PCI configuration" "$work/pci.log" "@pci on a PCI card: the served card"
    expect_grep "^xsvf serve: 2 sessions; in all 6 sectors erased, 382 rows programmed" "$work/pci.log" \
        "@pci on a PCI card: the card's work"
    expect_grep "sleeps of 1 ms and [0-9]* of 1 us; [0-9.]* s on the card's virtual clock" "$work/pci.log" \
        "@pci on a PCI card: the session's sleeps and clock"
    "$xsvf" state "$work/pci.state" >"$work/pci.state.out" 2>&1
    expect_grep "^card 1: revision 10; the PCI card's memory holds the PCI configuration$" "$work/pci.state.out" \
        "serve --state: the file keeps what the served card holds"
fi
# The file's card is the card served, whatever --card says, with the memory it keeps.
if [ -e "$work/pci.state" ] && start_server kept --card cardbus --port 0 --clock virtual --state "$work/pci.state"; then
    play "read-back of the kept card (TCP)" "$work/verify.xsvf" --remote-sleep
    expect_status 0 "$status" "serve --state: the card comes up holding what the file keeps"
    stop_server
fi

# 2. The wrong card: the identity check stops it before any change, over a UNIX socket on the
# host's clock with the client waiting on the host, and over TCP on a virtual clock.
if start_server cardbus --card cardbus --unix "$work/cardbus.sock"; then
    play "@pci on a CardBus card (UNIX, host clock)" @pci
    expect_status 2 "$status" "@pci on a CardBus card (UNIX)"
    expect_grep "^ERROR at XSVF command #9$" "$work/@pci on a CardBus card (UNIX, host clock).out" \
        "identity check fails (UNIX)"
    expect_grep "waits on the host" "$work/@pci on a CardBus card (UNIX, host clock).err" \
        "without --remote-sleep the client waits on the host"
    play "PCI read-back of a CardBus card (UNIX)" "$work/verify.xsvf"
    expect_status 2 "$status" "PCI read-back on a CardBus card"
    stop_server
    expect_grep "^xsvf serve: 2 sessions; in all 0 sectors erased, 0 rows programmed" "$work/cardbus.log" \
        "@pci on a CardBus card: nothing erased"
    if [ ! -e "$work/cardbus.sock" ]; then ok; else bad "the UNIX socket file is removed at exit"; fi
fi
if start_server cardbus-tcp --card cardbus --port 0 --clock virtual; then
    play "@pci on a CardBus card (TCP, virtual clock)" @pci --remote-sleep --vcd "$work/identity.vcd" --vcd-commands 6-9
    expect_status 2 "$status" "@pci on a CardBus card (TCP)"
    expect_grep "^ERROR at XSVF command #9$" "$work/@pci on a CardBus card (TCP, virtual clock).out" \
        "identity check fails (TCP)"
    expect_grep "Time: virtual" "$work/identity.vcd" "with --remote-sleep the VCD is in virtual time"
    expect_grep "^sDRSHIFT &$" "$work/identity.vcd" "the VCD shows the identity scan"
    stop_server
    expect_grep "^xsvf serve: 1 sessions; in all 0 sectors erased, 0 rows programmed" "$work/cardbus-tcp.log" \
        "@pci on a CardBus card (TCP): nothing erased"
fi

# 3. A card fault: a memory bit that cannot be programmed shows in the read-back. The host's
# clock, the waits as sleep characters: they make the dwell though nobody sleeps.
if start_server stuck --card pci --fault flash-bit-stuck --port 0; then
    play "@pci, card fault flash-bit-stuck (TCP, host clock)" @pci --remote-sleep
    expect_status 2 "$status" "@pci on a card with a stuck bit"
    command=$(sed -n 's/^ERROR at XSVF command #\([0-9]*\)$/\1/p' "$work/@pci, card fault flash-bit-stuck (TCP, host clock).out")
    if [ -n "$command" ] && [ "$command" -gt "$read_scan" ]; then ok; else
        bad "the stuck bit should fail a read-back scan (after command $read_scan), failed at '$command'"
    fi
    stop_server
    expect_grep "holds no complete configuration" "$work/stuck.log" "stuck bit: the served card"
    expect_grep "382 rows programmed, [0-9]* fetches, [0-9]* mode changes, 0 short dwells" "$work/stuck.log" \
        "stuck bit: every dwell long enough on the host's clock"
fi

# 4. Throughput without waits: reads in batches, one round trip per shift.
if start_server identity --card pci --port 0 --clock virtual; then
    for run in 1 2 3; do
        play "3,000 identity reads, run $run (TCP)" "$work/identity.xsvf" --remote-sleep
        expect_status 0 "$status" "identity reads, run $run"
    done
    expect_grep "153006 TCK cycles in .* 96000 TDO reads in 3000 round trips" \
        "$work/3,000 identity reads, run 1 (TCP).err" "identity reads: one round trip per shift"
    stop_server
fi

# 5. The same program with its waits as TCK cycles at 1 MHz: the time they stand for on a
# virtual clock at 1 MHz, far too little on the host's clock, where they arrive at the pace
# of the socket.
if [ -n "$cycle_client" ]; then
    for clock in virtual host; do
        if start_server "cycles-$clock" --card pci --port 0 --clock "$clock"; then
            start=$(date +%s.%N)
            "$cycle_client" @pci "$address" >"$work/cycles-$clock.out" 2>"$work/cycles-$clock.err"
            status=$?
            end=$(date +%s.%N)
            printf '%-44s exit %s, %.2f s wall; %s\n' "@pci, waits as TCK cycles ($clock clock)" "$status" \
                "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
                "$(sed -n 's/^rbb_cycle_client: //p' "$work/cycles-$clock.err")" | tee -a "$figures"
            stop_server
            if [ "$clock" = virtual ]; then
                expect_status 0 "$status" "waits as cycles on a virtual clock"
                expect_grep "holds the PCI configuration" "$work/cycles-$clock.log" "waits as cycles: programmed"
            else
                expect_status 2 "$status" "waits as cycles on the host's clock"
                expect_grep "holds no complete configuration" "$work/cycles-$clock.log" "waits as cycles: not programmed"
                expect_grep "[1-9][0-9]* short dwells" "$work/cycles-$clock.log" "waits as cycles: the dwells too short"
            fi
        fi
    done
else
    bad "no CYCLE_CLIENT given"
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
"$xsvf" serve --tck-hz 1000 >/dev/null 2>"$work/err"
expect_status 64 $? "--tck-hz without --clock virtual"
expect_grep "needs --clock virtual" "$work/err" "--tck-hz without --clock virtual: message"
"$xsvf" serve --clock wall >/dev/null 2>"$work/err"
expect_status 64 $? "an unknown clock"
"$xsvf" serve --clock virtual --tck-hz 0 >/dev/null 2>"$work/err"
expect_status 64 $? "a TCK rate of 0"
"$xsvf" play @pci --remote-sleep >/dev/null 2>"$work/err"
expect_status 64 $? "--remote-sleep without a remote target"
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
