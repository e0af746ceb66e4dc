#!/usr/bin/env bash
# Builds the release twice, each from its own clone of the committed tree, in two folders of
# different names and lengths with their own temporary folders, and compares the two
# MolaFlash.exe and the two zips byte for byte. Then checks the zip itself: its members and
# their SHA256SUMS, no time stamp in the executable's PE header, no folder name of either
# build in it, nothing online in the guide.
# Prints the SHA-256 of MolaFlash.exe and of the zip; exits nonzero on any difference.
# The builds use tools/release.sh --pack-only: this check is a stage of the test suite, which
# tools/release.sh runs first without --pack-only.
# Usage: tools/check-release.sh WORK_DIR      (emptied first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?usage: check-release.sh WORK_DIR}
rm -rf "$dir"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
fail() { echo "release check: $*" >&2; exit 1; }

places=("$dir/a" "$dir/second-release-folder")
zips=()
for place in "${places[@]}"; do
    mkdir -p "$place/tmp"
    git clone -q "$root" "$place/clone"
    TMPDIR=$place/tmp MOLA_OUT=$place/out "$place/clone/tools/release.sh" --pack-only >"$place/release.log" ||
        fail "tools/release.sh failed in $place"
    zip=$(tail -n 1 "$place/release.log" | sed 's/^[0-9a-f]\{64\}  //')
    [ -f "$zip" ] || fail "no zip named in $place/release.log"
    zips+=("$zip")
    mkdir "$place/unpacked"
    (cd "$place/unpacked" && unzip -q "$zip")
done

one=${places[0]}/unpacked
two=${places[1]}/unpacked
if ! cmp -s "$one/MolaFlash.exe" "$two/MolaFlash.exe"; then
    echo "MolaFlash.exe differs between the two builds (offset, bytes in octal):"
    cmp -l "$one/MolaFlash.exe" "$two/MolaFlash.exe" | head -20
    fail "MolaFlash.exe is not reproducible"
fi
cmp -s "${zips[0]}" "${zips[1]}" || { diff -r "$one" "$two" | head -20; fail "the zips differ"; }

# The zip's contents.
members=$(unzip -Z1 "${zips[0]}" | tr '\n' ' ')
[[ $members =~ ^MolaFlash.exe\ SHA256SUMS\ user-guide.html\ (user-guide/[^ ]*.png\ )+$ ]] ||
    fail "unexpected members: $members"
(cd "$one" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the members"
listed=$(cut -c67- "$one/SHA256SUMS" | tr '\n' ' ')
[ "$listed" = "${members/SHA256SUMS /}" ] || fail "SHA256SUMS lists $listed"
# PE header: e_lfanew at 0x3c; the time stamp 8 bytes after the "PE\0\0" signature.
pe=$(od -An -tu4 -j 60 -N 4 "$one/MolaFlash.exe" | tr -d ' ')
stamp=$(od -An -tu4 -j $((pe + 8)) -N 4 "$one/MolaFlash.exe" | tr -d ' ')
[ "$stamp" = 0 ] || fail "MolaFlash.exe carries a time stamp: $stamp"
for name in "$dir" a/tmp second-release-folder; do
    if grep -aqF "$name" "$one/MolaFlash.exe"; then fail "MolaFlash.exe holds the folder name \"$name\""; fi
done
if grep -qiE '(src|href)="[a-z]+:|://' "$one/user-guide.html"; then fail "the guide references something online"; fi

exe_sum=$(sha256sum <"$one/MolaFlash.exe" | cut -c1-64)
zip_sum=$(sha256sum <"${zips[0]}" | cut -c1-64)
echo "release built twice, in ${places[0]} and ${places[1]}: identical"
echo "members: $members"
echo "MolaFlash.exe SHA-256: $exe_sum"
echo "$(basename "${zips[0]}") SHA-256: $zip_sum"
