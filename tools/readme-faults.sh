#!/usr/bin/env bash
# Writes the README's table of simulated faults from the fault table (sim/sim_fault_table.h),
# as `xsvf faults` prints it, between its two marker lines.
# Usage: tools/readme-faults.sh [XSVF]   (default: out/native/devtools/xsvf/xsvf, or $MOLA_OUT)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
xsvf=${1:-${MOLA_OUT:-$root/out}/native/devtools/xsvf/xsvf}
[ -x "$xsvf" ] || { echo "no $xsvf: build the native tree first (cmake --preset native)" >&2; exit 2; }
table=$(mktemp)
trap 'rm -f "$table" "$table.readme"' EXIT
"$xsvf" faults >"$table"
awk -v table="$table" '
    /^<!-- xsvf faults/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /^<!-- end of xsvf faults -->/ { skip = 0 }
    !skip { print }
' "$root/README.md" >"$table.readme"
cp "$table.readme" "$root/README.md"
