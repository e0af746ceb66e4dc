#!/usr/bin/env bash
# The layers point one way: a file of platform/, card/, xsvf/ and images/ or app/ includes
# only from its own layer and those below it (platform < card < xsvf, images < app), and
# never from sim/, devtools/, fuzz/, bench/ or tests/, which stand beside the layers.
# Usage: layers_test.sh SOURCE_DIR
set -u
src=${1:?usage: layers_test.sh SOURCE_DIR}
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"

rank() {
    case $1 in
    platform) echo 0 ;;
    card) echo 1 ;;
    xsvf | images) echo 2 ;;
    app) echo 3 ;;
    *) echo 9 ;; # beside the layers: never included from them
    esac
}

files=0
while IFS= read -r file; do
    files=$((files + 1))
    own=${file#"$src"/}
    own_rank=$(rank "${own%%/*}")
    # Project headers are included with their folder; a bare name is the file's neighbour or
    # generated (mola_version.h).
    while IFS= read -r header; do
        case $header in */*) ;; *) continue ;; esac
        if [ "$(rank "${header%%/*}")" -gt "$own_rank" ]; then
            bad "$own includes $header, from a layer above it or beside the layers"
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src/platform" "$src/card" "$src/xsvf" "$src/images" "$src/app" -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' \) | sort)

[ "$files" -gt 30 ] && ok || bad "only $files files looked at"
checks_done "layers"
