#!/usr/bin/env bash
# Builds the release twice, each from its own clone of the committed tree, in two folders of
# different names and lengths with their own temporary folders, and compares the two
# MolaFlash.exe, debug files and zips byte for byte. Then checks the zip itself: its members and
# their SHA256SUMS, no time stamp in the executable's PE header, no folder name of either
# build in it or its debug file, no debug section or symbol in it, a debug link that names the
# debug file and its CRC, what Windows reads from it (tests/app/built_exe_check.py), nothing
# online in the guide. Prints the SHA-256 and size of each; exits nonzero on any difference.
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
debug=${zips[0]%.zip}.debug
cmp -s "$debug" "${zips[1]%.zip}.debug" || fail "the debug files differ"

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
    if grep -aqF "$name" "$one/MolaFlash.exe" "$debug"; then fail "MolaFlash.exe or its debug file holds \"$name\""; fi
done
# Debug sections and symbols only in the debug file; the debug link: its name, padding, CRC-32.
i686-w64-mingw32-objdump -ht "$one/MolaFlash.exe" >"$dir/exe-sections"
if grep -qE '\.debug_|^\[ *[0-9]+\]' "$dir/exe-sections"; then fail "MolaFlash.exe has debug sections or symbols"; fi
i686-w64-mingw32-nm -C "$debug" >"$dir/symbols"
grep -q ' t player_execute()$' "$dir/symbols" || fail "the debug file has no symbol player_execute"
i686-w64-mingw32-objcopy --dump-section .gnu_debuglink="$dir/link" "$one/MolaFlash.exe" "$dir/unused.exe"
/usr/bin/python3 -c 'import os, struct, sys, zlib
link, debug = (open(p, "rb").read() for p in sys.argv[1:])
name = os.path.basename(sys.argv[2]).encode()
sys.exit(link != name + bytes(4 - len(name) % 4) + struct.pack("<I", zlib.crc32(debug)))' "$dir/link" "$debug" ||
    fail "the debug link does not name the debug file with its CRC"
/usr/bin/python3 "$root/tests/app/built_exe_check.py" "$one/MolaFlash.exe" || fail "what Windows reads from MolaFlash.exe"
if grep -qiE '(src|href)="[a-z]+:|://' "$one/user-guide.html"; then fail "the guide references something online"; fi

echo "release built twice, in ${places[0]} and ${places[1]}: identical"
echo "members: $members"
for file in "$one/MolaFlash.exe" "$debug" "${zips[0]}"; do
    echo "$(basename "$file") SHA-256: $(sha256sum <"$file" | cut -c1-64), $(stat -c %s "$file") bytes"
done
