#!/usr/bin/env bash
# Cuts the power of a simulated card during an update, then updates it again: for each card
# model, COUNT updates from the card's original state, each cut off after a random number of
# TCK cycles (xsvf play --cut-power-at), each followed by a second update over the same state
# file. A cut survives when the second update ends with result 0, the state file then equals
# the one that an update of a clean card leaves, and the next power-on reports the tool's
# revision (xsvf state). Prints, per model, `cuts survived: S/T`, what the cuts left behind and
# the time taken; exits nonzero when any cut was not survived.
# Usage: tools/power-cut-campaign.sh [--build DIR] COUNT SEED
#   DIR: a native build tree (default out/native, built when it lacks the xsvf tool)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: power-cut-campaign.sh [--build DIR] COUNT SEED"
build=${MOLA_OUT:-$root/out}/native
if [ "${1:-}" = --build ]; then
    build=${2:?$usage}
    shift 2
fi
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
count=$1
seed=$2
[[ $count =~ ^[1-9][0-9]*$ && $seed =~ ^[0-9]+$ ]] || { echo "$usage: COUNT > 0 and SEED are numbers" >&2; exit 2; }

xsvf=$build/devtools/xsvf/xsvf
if [ ! -x "$xsvf" ]; then
    "$root/tools/install-deps.sh" native
    cmake -S "$root" --preset native -B "$build" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target xsvf_tool >/dev/null
fi
# The simulated platform of each run is what its options say, nothing from this shell.
unset MOLA_SIM_CARDS MOLA_SIM_DRIVER MOLA_SIM_COUNT MOLA_SIM_CLOCK MOLA_SIM_FAULTS MOLA_SIM_POWER MOLA_SIM_STATE

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One cut: the update cut off after N cycles, the update again, the checks. Prints one line:
# "ok N REVISION" with the revision that the card reported after the cut, or "FAIL N why".
cut_once() { # xsvf program reference dir n
    local xsvf=$1 program=$2 reference=$3 dir=$4 n=$5
    local state=$dir/cut-$n
    "$xsvf" play "$program" --target sim --state "$state" --cut-power-at "$n" >/dev/null 2>"$state.cut" || true
    grep -q "TCK cycles" "$state.cut" || { echo "FAIL $n the cut run did not run"; return; }
    local after
    after=$("$xsvf" state "$state" | sed -n 's/^card 1: revision \(-*[0-9]*\);.*/\1/p')
    if ! "$xsvf" play "$program" --target sim --state "$state" >/dev/null 2>"$state.again"; then
        echo "FAIL $n the update after the cut failed: $(grep -m1 'result' "$state.again")"
    elif ! cmp -s "$state" "$reference"; then
        echo "FAIL $n the memory differs from what an update of a clean card writes"
    elif ! "$xsvf" state "$state" | grep -q '^card 1: revision 10;'; then
        echo "FAIL $n the next power-on reports $("$xsvf" state "$state" | head -n 1)"
    else
        echo "ok $n $after"
    fi
    rm -f "$state" "$state.cut" "$state.again"
}
export -f cut_once

failed=0
programs=$("$xsvf" --help | sed -n 's/^ *xsvf cat \(.*\)$/\1/p' | tr '|' ' ')
for program in $programs; do
    started=$(date +%s)
    dir=$work/${program#@}
    mkdir -p "$dir"
    # What an update of a clean card leaves, and how many cycles such an update takes.
    reference=$dir/reference
    "$xsvf" play "$program" --target sim --state "$reference" >/dev/null 2>"$dir/reference.err" ||
        { cat "$dir/reference.err" >&2; echo "the update of a clean card failed" >&2; exit 1; }
    total=$(sed -n 's/^xsvf: the card saw \([0-9]*\) TCK cycles$/\1/p' "$dir/reference.err")
    [ -n "$total" ] || { echo "no cycle count from the clean update" >&2; exit 1; }
    awk -v n="$count" -v seed="$seed" -v total="$total" \
        'BEGIN { srand(seed); for (i = 0; i < n; i++) printf "%d\n", int(rand() * total) }' >"$dir/instants"
    xargs -P "$(nproc)" -I{} bash -c 'cut_once "$@"' _ "$xsvf" "$program" "$reference" "$dir" {} \
        <"$dir/instants" >"$dir/results"
    survived=$(grep -c '^ok ' "$dir/results" || true)
    echo "$program: cuts survived: $survived/$count ($total TCK cycles per update, seed $seed, $(($(date +%s) - started)) s)"
    # What a power-on found after the cuts: the revision each card reported then.
    awk '$1 == "ok" { n[$3]++ } END { for (r in n) printf "  %d cuts left the card at revision %s\n", n[r], r }' \
        "$dir/results" | sort -k5n
    grep '^FAIL' "$dir/results" | head -n 10 | sed 's/^/  /' || true
    [ "$survived" -eq "$count" ] || failed=1
done
exit $failed
