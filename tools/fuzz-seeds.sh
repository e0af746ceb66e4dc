#!/usr/bin/env bash
# Regenerates the seed corpus of the fuzz targets, fuzz/corpus/:
#   test.*     every stream that the player's unit tests play (xsvf_tests, MOLA_DUMP_STREAMS);
#   cmd.*      short hand-made streams, at least one for every command and each failure;
#   program.*  the first 4 KB of each embedded program.
# Streams of the same bytes are kept once.
# Usage: tools/fuzz-seeds.sh BUILD_DIR   (a native build tree holding tests/xsvf_tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: tools/fuzz-seeds.sh BUILD_DIR}
corpus=$root/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seed NAME HEX...: writes the bytes given as hexadecimal (blanks ignored).
seed() {
    local name=$1; shift
    local hex escaped
    hex=$(printf '%s' "$*" | tr -d ' ')
    escaped=$(printf '%s' "$hex" | sed 's/../\\x&/g')
    printf '%b' "$escaped" >"$work/cmd.$name"
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
for f in "$work/tests"/*.xsvf; do
    base=$(basename "$f" .xsvf)
    cp "$f" "$work/test.$base"
done
rm -rf "$work/tests"

head -c 4096 "$root/images/pci.xsvf" >"$work/program.pci-head"
head -c 4096 "$root/images/cardbus.xsvf" >"$work/program.cardbus-head"

rm -rf "$corpus"
mkdir -p "$corpus"
declare -A seen=()
for f in "$work"/cmd.* "$work"/program.* "$work"/test.*; do
    sum=$(sha1sum <"$f" | cut -d' ' -f1)
    [ -n "${seen[$sum]:-}" ] && continue
    seen[$sum]=1
    cp "$f" "$corpus/"
done
echo "$(ls "$corpus" | wc -l) seeds, $(du -sk "$corpus" | cut -f1) KB in $corpus"
