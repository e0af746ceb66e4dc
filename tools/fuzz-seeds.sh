#!/usr/bin/env bash
# Regenerates the seed corpus of the fuzz targets, fuzz/corpus/:
#   cmd.*      short hand-made streams, at least one for every command and each failure;
#   program.*  the first 4 KB of each embedded program;
#   test.*     the streams that the player's unit tests play (xsvf_tests, MOLA_DUMP_STREAMS),
#              up to the fuzz target's 16 KB, each kept only if it adds coverage of fuzz_play
#              to the streams kept before it (libFuzzer's merge).
# Streams of the same bytes are kept once.
# Usage: tools/fuzz-seeds.sh BUILD_DIR [FUZZ_BUILD_DIR]
#   BUILD_DIR holds the native tests; FUZZ_BUILD_DIR (default out/fuzz) the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: tools/fuzz-seeds.sh BUILD_DIR [FUZZ_BUILD_DIR]}
fuzz_build=${2:-${MOLA_OUT:-$root/out}/fuzz}
corpus=$root/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seed NAME HEX...: writes the bytes given as hexadecimal (blanks ignored).
seed() {
    local name=$1; shift
    printf '%b' "$(printf '%s' "$*" | tr -d ' ' | sed 's/../\\x&/g')" >"$work/cmd.$name"
}

seed xcomplete            00
seed xtdomask             08 00000010  01 ffff  03 1234  00
seed xsir                 02 08 5a  00
seed xsir-empty           02 00  00
seed xsir-longest         02 ff ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff  00
seed xsdr                 08 00000008  03 a5  00
seed xruntest-busy        04 00000102  08 00000008  03 a5  00
seed xruntest-sleep       04 000003e8  02 08 01  00
seed xruntest-negative    04 80000000  02 08 01  00
seed reserved5            05
seed reserved6            06
seed unknown              15
seed xrepeat              07 03  00
seed xsdrsize             08 00000001  00
seed xsdrsize-largest     08 0000dac0  00
seed xsdrsize-too-long    08 0000dac1  00
seed xsdrtdo              08 00000010  09 1234 0000  00
seed xsdrtdo-retries      07 02  04 00000010  08 00000008  01 ff  09 00 ff  00
seed xsetsdrmasks         08 00000010  0a 0001 00f0  00
seed xsdrinc              08 00000010  0a 0001 00f0  0b 000f 02 0a 05  00
seed xsdrinc-no-data      08 00000008  0a 01 00  0b 00 03  00
seed xsdrb-xsdrc-xsdre    08 00000008  0c 01  0d 02  0e 03  00
seed xsdrtdob-c-e         08 00000008  0f 01 00  10 02 00  11 03 00  00
seed xstate               12 01  12 00  00
seed xstate-pause         12 12  00
seed xendir               13 01  02 08 01  13 00  00
seed xenddr               14 01  08 00000008  03 01  14 00  00
seed xenddr-bad           14 02  00
seed cut-xsdrinc          08 0000dac0  0b

mkdir -p "$work/tests"
MOLA_DUMP_STREAMS="$work/tests" "$build/tests/xsvf_tests" >/dev/null
head -c 4096 "$root/images/pci.xsvf" >"$work/program.pci-head"
head -c 4096 "$root/images/cardbus.xsvf" >"$work/program.cardbus-head"

rm -rf "$corpus"
mkdir -p "$corpus" "$work/merged" "$work/candidates"
declare -A seen=()
for f in "$work"/cmd.* "$work"/program.*; do
    sum=$(sha1sum <"$f" | cut -d' ' -f1)
    [ -n "${seen[$sum]:-}" ] && continue
    seen[$sum]=1
    cp "$f" "$corpus/"
    cp "$f" "$work/merged/$sum"
done
# libFuzzer names what it keeps by the SHA-1 of the bytes: the names lead back to the tests.
declare -A test_name=()
for f in "$work/tests"/*.xsvf; do
    [ "$(stat -c %s "$f")" -le 16384 ] || continue
    sum=$(sha1sum <"$f" | cut -d' ' -f1)
    [ -n "${seen[$sum]:-}${test_name[$sum]:-}" ] && continue
    test_name[$sum]=test.$(basename "$f" .xsvf)
    cp "$f" "$work/candidates/$sum"
done
"$fuzz_build/fuzz/fuzz_play" -merge=1 "$work/merged" "$work/candidates" >"$work/merge.log" 2>&1 ||
    { tail -20 "$work/merge.log"; exit 1; }
for f in "$work/merged"/*; do
    sum=$(basename "$f")
    [ -n "${test_name[$sum]:-}" ] && cp "$f" "$corpus/${test_name[$sum]}"
done
echo "$(ls "$corpus" | wc -l) seeds ($(ls "$corpus" | grep -c '^test\.') of ${#test_name[@]} test streams), $(cat "$corpus"/* | wc -c) bytes in $corpus"
