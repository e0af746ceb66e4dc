#!/usr/bin/env bash
# Checks what the headless main job (tools/run-sim.sh) printed: every card updated to
# "Success" with the bar at 100, the power-off message after the sheet closed, exit code 0,
# a screenshot file per card, and at the second start every card at revision 10,
# "Up-to-date", and exit code 0 again. Prints each missing item; exits nonzero if any is
# missing.
# Usage: tools/check-main-job.sh OUTPUT_FILE CARDS
set -uo pipefail
file=${1:?usage: check-main-job.sh OUTPUT_FILE CARDS}
cards=${2:?usage: check-main-job.sh OUTPUT_FILE CARDS}
missing=0
miss() { echo "main job: $*"; missing=$((missing + 1)); }

n=$(grep -c ': status "Success", progress bar 100$' "$file")
[ "$n" -eq "$cards" ] || miss "$n of $cards cards ended with \"Success\" and the bar at 100"
grep -qxF 'message after closing: "Shut down and power off the computer\nfor the update to become active."' "$file" ||
    miss "no power-off message after the sheet closed"
grep -qx 'exit code 0' "$file" || miss "no \"exit code 0\""
n=$(grep -c '^second start: .*: revision 10, Up-to-date$' "$file")
[ "$n" -eq "$cards" ] || miss "$n of $cards cards at revision 10, \"Up-to-date\" at the second start"
grep -qx 'second start: exit code 0' "$file" || miss "no \"exit code 0\" at the second start"
shots=0
while read -r shot; do
    [ -s "$shot" ] && shots=$((shots + 1))
done < <(sed -n 's/^screenshot: //p' "$file")
[ "$shots" -eq "$cards" ] || miss "$shots of $cards screenshots saved"
[ $missing -eq 0 ]
