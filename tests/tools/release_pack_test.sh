#!/usr/bin/env bash
# The release's packing (tools/release_pack.py), on a stand-in executable and small guides:
# the members, their order, times and permissions, SHA256SUMS, the same bytes from two runs,
# and a clear refusal of every picture or reference that would not work offline.
# Usage: release_pack_test.sh SOURCE_DIR
set -u
src=${1:?usage: release_pack_test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"

pack() { # guide, zip, [epoch]
    /usr/bin/python3 "$src/tools/release_pack.py" --exe "$work/MolaFlash.exe" --guide "$1" \
        --version 1.2.3.4 --epoch "${3:-1700000000}" --zip "$2"
}
png() { # file, width, height, pixel bytes (printf escapes, RGB, one row after another)
    /usr/bin/python3 - "$@" <<'PY'
import struct, subprocess, sys, zlib
path, w, h, pixels = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
raw = subprocess.run(["printf", pixels], capture_output=True, check=True).stdout
rows = b"".join(b"\0" + raw[y * w * 3:(y + 1) * w * 3] for y in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(path, "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
}

printf 'MZ stand-in executable\n' >"$work/MolaFlash.exe"
mkdir -p "$work/docs/user-guide/more"
# Eight colours, the fewest that a picture of the tool has; seven, and one, are blank.
eight='\0\0\0\0\0\377\0\377\0\0\377\377\377\0\0\377\0\377\377\377\0\377\377\377'
png "$work/docs/user-guide/start.png" 4 2 "$eight"
png "$work/docs/user-guide/more/done.png" 2 4 "$eight"
png "$work/docs/user-guide/seven.png" 4 2 "${eight%\\377\\377\\377}\0\0\0"
png "$work/docs/user-guide/blank.png" 2 2 '\360\360\360\360\360\360\360\360\360\360\360\360'
printf 'not a picture\n' >"$work/docs/user-guide/text.png"
cat >"$work/docs/guide.md" <<'EOF'
# Updating *your* card

Close every program first; see [the steps](#steps).

![At start](user-guide/start.png)

## Steps {#steps}

![Done][done] and again ![At start](user-guide/start.png)

[done]: user-guide/more/done.png
EOF

# ---- A good guide ----
pack "$work/docs/guide.md" "$work/one.zip"
expect_status 0 $? "a good guide"
expect_eq "MolaFlash.exe SHA256SUMS user-guide.html user-guide/more/done.png user-guide/start.png " \
    "$(unzip -Z1 "$work/one.zip" | tr '\n' ' ')" "members, in name order, each picture once"
expect_eq "-rw-r--r-- 20231114.221320 " "$(unzip -Z -T "$work/one.zip" | awk '/^-/ {print $1, $7}' | sort -u | tr '\n' ' ')" \
    "every member's permissions and time (the epoch, to two seconds)"
mkdir "$work/one"
(cd "$work/one" && unzip -q "$work/one.zip")
expect_same "$work/MolaFlash.exe" "$work/one/MolaFlash.exe" "the executable as it was"
expect_same "$work/docs/user-guide/more/done.png" "$work/one/user-guide/more/done.png" "a picture as it was"
expect_eq "MolaFlash.exe user-guide.html user-guide/more/done.png user-guide/start.png " \
    "$(cut -c67- "$work/one/SHA256SUMS" | tr '\n' ' ')" "SHA256SUMS lists every other member"
(cd "$work/one" && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1)
expect_status 0 $? "SHA256SUMS matches the members"
page=$work/one/user-guide.html
expect_grep "^<title>Updating your card</title>$" "$page" "the title is the first heading, as text"
expect_grep '<meta charset="utf-8">' "$page" "the page names its encoding"
expect_grep '<style>' "$page" "the stylesheet is in the page"
expect_grep '<img alt="Done" src="user-guide/more/done.png"' "$page" "a picture named by reference"
expect_grep '<h2 id="steps">Steps</h2>' "$page" "extended Markdown (attributes)"
expect_grep '<a href="#steps">' "$page" "a link on the page itself"
expect_grep "This guide comes with MolaFlash 1.2.3.4." "$page" "the page names the version"

# The same bytes from another folder, later, with the same epoch; another epoch changes them.
mkdir -p "$work/elsewhere/folder"
cp -r "$work/docs" "$work/elsewhere/folder/"
sleep 2
pack "$work/elsewhere/folder/docs/guide.md" "$work/two.zip"
expect_same "$work/one.zip" "$work/two.zip" "two packs of the same inputs are identical"
pack "$work/docs/guide.md" "$work/three.zip" 1700000100
if cmp -s "$work/one.zip" "$work/three.zip"; then bad "the epoch does not reach the zip"; else ok; fi
pack "$work/docs/guide.md" "$work/old.zip" 0
expect_eq "19800101.000000 " "$(unzip -Z -T "$work/old.zip" | awk '/^-/ {print $7}' | sort -u | tr '\n' ' ')" \
    "a time before 1980 is the first a zip can hold"
if ls "$work"/*.partial >/dev/null 2>&1; then bad "a partial zip was left"; else ok; fi

# ---- Guides that are refused: a clear message, exit 1, no zip ----
refused() { # what, guide text, message
    printf '# Guide\n\n%s\n' "$2" >"$work/docs/bad.md"
    rm -f "$work/bad.zip"
    pack "$work/docs/bad.md" "$work/bad.zip" 2>"$work/err"
    expect_status 1 $? "$1"
    expect_grep "^release: $3" "$work/err" "$1: message"
    if [ -e "$work/bad.zip" ]; then bad "$1: a zip was written"; else ok; fi
}
refused "a missing picture" '![x](user-guide/gone.png)' \
    'the guide names a picture that does not exist: "user-guide/gone.png"'
refused "a blank picture" '![x](user-guide/blank.png)' 'the picture "user-guide/blank.png" is blank (2x2, 1 colour)'
refused "a picture of seven colours" '![x](user-guide/seven.png)' 'the picture "user-guide/seven.png" is blank (4x2, 7 colours)'
refused "a picture that is not a PNG image" '![x](user-guide/text.png)' 'the picture "user-guide/text.png" is not a PNG file'
refused "a picture of another kind" '![x](user-guide/start.jpg)' \
    'the guide names a picture that is not a PNG file: "user-guide/start.jpg"'
refused "a picture outside the guide's folder" '![x](../start.png)' \
    'the guide names a picture outside its folder: "../start.png"'
refused "a picture by absolute path" '![x](/tmp/start.png)' \
    'the guide references something outside the release: <img src="/tmp/start.png">'
refused "an online picture" '![x](https://example.org/a.png)' \
    'the guide references something outside the release: <img src="https://example.org/a.png">'
refused "an online link" '[site](http://example.org/)' \
    'the guide references something outside the release: <a href="http://example.org/">'
refused "a script" '<script src="x.js"></script>' 'the guide references something outside the release: <script>'
refused "a stylesheet from elsewhere" '<div style="background: url(http://example.org/a.png)">x</div>' \
    'the guide references something outside the release: <div style='
refused "a picture with a query" '![x](user-guide/start.png?v=2)' \
    'the guide names a picture oddly: "user-guide/start.png?v=2"'

# A refused guide leaves an earlier zip of the same name as it was.
cp "$work/one.zip" "$work/kept.zip"
printf '# Guide\n\n![x](user-guide/blank.png)\n' >"$work/docs/bad.md"
pack "$work/docs/bad.md" "$work/kept.zip" 2>/dev/null
expect_status 1 $? "a refused guide over an earlier zip"
expect_same "$work/one.zip" "$work/kept.zip" "the earlier zip is left as it was"

checks_done "release packing"
