#!/usr/bin/env bash
# Checks that every picture the user's guide names exists in a folder and is not blank (a
# picture of one colour, or of a window not yet painted, is). Prints one line per problem.
# Usage: tools/check-guide.sh [PICTURE_DIR] [GUIDE]
#   PICTURE_DIR  default docs/user-guide; GUIDE default docs/user-guide.md
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/docs/user-guide}
guide=${2:-$root/docs/user-guide.md}
[ -f "$guide" ] || { echo "check-guide: no guide at $guide"; exit 1; }
# The pictures a window of the tool makes have tens of colours at least.
MIN_COLOURS=8

names=$(grep -o '](user-guide/[A-Za-z0-9_.-]*\.png)' "$guide" | sed 's/^](user-guide\///; s/)$//' | sort -u)
[ -n "$names" ] || { echo "check-guide: $guide names no picture"; exit 1; }
bad=0
for name in $names; do
    file=$dir/$name
    colours=$(convert "$file" -format %k info: 2>/dev/null || echo 0)
    if [ ! -s "$file" ]; then
        echo "check-guide: $name is missing in $dir"
    elif [ "$colours" -lt $MIN_COLOURS ]; then
        echo "check-guide: $name is blank ($colours colours)"
    else
        continue
    fi
    bad=$((bad + 1))
done
[ $bad -eq 0 ] && echo "check-guide: the $(wc -w <<<"$names") pictures that the guide names are there and not blank in $dir"
[ $bad -eq 0 ]
