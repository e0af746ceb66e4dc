#!/usr/bin/env bash
# A fuzzing campaign: builds the libFuzzer targets with clang and runs each in turn, one
# process at a time, for a number of executions, from the seed corpus with the dictionary.
# Prints per target: executions, wall time, executions per second, coverage (edges covered
# of the edges instrumented), corpus size and findings (inputs that broke a check, crashed,
# hung or ran out of memory; saved under BUILD_DIR/campaign/TARGET/findings/).
# Usage: tools/fuzz-campaign.sh [-n EXECUTIONS] [TARGET...]
#   defaults: 10000000 executions, every target; BUILD_DIR is out/fuzz (or $MOLA_OUT/fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=10000000
build=${MOLA_OUT:-$root/out}/fuzz
while getopts "n:" opt; do
    case $opt in
    n) runs=$OPTARG ;;
    *) echo "usage: $0 [-n EXECUTIONS] [TARGET...]" >&2; exit 64 ;;
    esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_play)

cmake -S "$root" --preset fuzz -B "$build" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j 2 --target "${targets[@]}" >/dev/null

status=0
printf '%-16s %12s %10s %8s %16s %8s %9s\n' target executions "wall s" "exec/s" "edges" corpus findings
for t in "${targets[@]}"; do
    dir=$build/campaign/$t
    mkdir -p "$dir/corpus" "$dir/findings"
    log=$dir/fuzz.log
    start=$(date +%s)
    set +e
    "$build/fuzz/$t" -runs="$runs" -dict="$root/fuzz/xsvf.dict" -max_len=16384 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus" "$root/fuzz/corpus" >"$log" 2>&1
    set -e
    wall=$(($(date +%s) - start))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    [ -n "$execs" ] || execs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    total=$(sed -n 's/.*(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log" | head -1)
    corpus=$(find "$dir/corpus" -type f | wc -l)
    findings=$(find "$dir/findings" -type f | wc -l)
    printf '%-16s %12s %10s %8s %16s %8s %9s\n' "$t" "${execs:-?}" "$wall" "$(( ${execs:-0} / (wall > 0 ? wall : 1) ))" \
        "${edges:-?} of ${total:-?}" "$corpus" "$findings"
    if [ "$findings" -ne 0 ]; then
        status=1
        grep -h '^finding:\|^SUMMARY' "$log" | sed "s/^/  $t: /"
        find "$dir/findings" -type f | sed "s/^/  $t: /"
    fi
done
exit $status
