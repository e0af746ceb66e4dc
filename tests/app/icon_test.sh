#!/usr/bin/env bash
# The committed icon is what tools/make_icon.py draws from the committed picture, so that a
# change to the picture is one edit and one run of the script; and the picture decides it.
# Usage: icon_test.sh SOURCE_DIR
set -u
src=${1:?usage: icon_test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"

"$src/tools/make_icon.py" "$src/app/resources/app-icon.svg" "$work/app.ico"
expect_status 0 $? "make_icon.py on the picture"
expect_same "$src/app/resources/app.ico" "$work/app.ico" \
    "app/resources/app.ico is not what tools/make_icon.py draws from app-icon.svg: run it and commit the icon"
sed 's/#1e8a32/#1e328a/' "$src/app/resources/app-icon.svg" >"$work/blue.svg"
"$src/tools/make_icon.py" "$work/blue.svg" "$work/blue.ico"
if cmp -s "$work/app.ico" "$work/blue.ico"; then bad "a board of another colour gives the same icon"; else ok; fi
checks_done icon_test
