#!/usr/bin/env bash
# Builds the release: the 32-bit MolaFlash.exe from the committed tree (HEAD), packed with the
# user's guide (HTML, with its pictures) and SHA256SUMS into
#   $MOLA_OUT/release/MolaFlash-<version>-win32.zip        (MOLA_OUT defaults to out/)
# and, beside the zip, the executable's symbols and debug sections, which the released
# executable leaves out and names in its debug link:
#   $MOLA_OUT/release/MolaFlash-<version>-win32.debug
# Prints the SHA-256 of MolaFlash.exe, of the debug file and of the zip, the zip's path last.
# First it runs the whole test suite with everything in it (tools/test-all.sh --full) on this
# checkout, and packs nothing unless the suite passes; a checkout with uncommitted changes to
# its files is refused then, since the suite would test other code than the zip holds.
# --pack-only builds and packs without the suite: for tools/check-release.sh, which the suite
# itself runs (the suite must not start itself again).
#
# The same commit gives the same bytes, whoever builds it, in whatever folder and whenever:
# the tree is taken with `git archive` into a new temporary folder (so uncommitted changes and
# the caller's folder never reach the build), the executable carries no time or folder name,
# and the zip's members have fixed order, permissions and time (SOURCE_DATE_EPOCH, by default
# the last commit's time).
# Usage: tools/release.sh [--pack-only]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${MOLA_OUT:-$root/out}
fail() { echo "release: $*" >&2; exit 1; }
pack_only=0
case "${1:-}" in
--pack-only) pack_only=1 ;;
"") ;;
*) echo "usage: release.sh [--pack-only]" >&2; exit 2 ;;
esac

"$root/tools/install-deps.sh" release

commit=$(git -C "$root" rev-parse --verify -q "HEAD^{commit}") ||
    fail "$root is not a git checkout with a commit: the release is built from the committed tree"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    [ $pack_only -eq 1 ] ||
        fail "uncommitted changes: the suite would test them, the zip would not hold them; commit or stash them first"
    echo "release: note: uncommitted changes are left out; building commit ${commit:0:12}" >&2
fi
if [ $pack_only -eq 0 ]; then
    "$root/tools/test-all.sh" --full >&2 || fail "the test suite failed: nothing packed"
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct "$commit")}
[[ $epoch =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH=\"$epoch\" is not a count of seconds"
export SOURCE_DATE_EPOCH=$epoch

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git -C "$root" archive --format=tar "$commit" | tar -x -C "$work/src"

# Only the product, without the tests: nothing else goes into the zip.
src=$work/src
build=$work/build
cmake -S "$src" --preset win32 -B "$build" -DMOLA_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 ||
    { tail -n 30 "$work/configure.log" >&2; fail "configuring the build failed"; }
cmake --build "$build" -j "$(nproc)" --target MolaFlash >"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log" >&2; fail "building MolaFlash.exe failed"; }

[ -s "$build/version.txt" ] || fail "the build wrote no version.txt"
version=$(tr -d '\r\n' <"$build/version.txt")
[[ $version =~ ^[0-9A-Za-z][0-9A-Za-z.+_-]*$ ]] || fail "the build's version \"$version\" cannot name a file"

# The released executable carries neither the debug sections (mostly the static runtime's) nor
# the symbol table: both go into the debug file, which the executable names in its debug link
# with the file's CRC, so that a debugger given the two reads a crash report's addresses as
# functions and lines. -p keeps the PE header's time stamp as the link left it (none), which
# objcopy would otherwise set.
debug_name=MolaFlash-$version-win32.debug
(cd "$work" && i686-w64-mingw32-objcopy -p --only-keep-debug "$build/app/MolaFlash.exe" "$debug_name" &&
    i686-w64-mingw32-objcopy -p --strip-all --add-gnu-debuglink="$debug_name" "$build/app/MolaFlash.exe" MolaFlash.exe) ||
    fail "separating the debug file from MolaFlash.exe failed"

mkdir -p "$out/release"
zip=$(cd "$out/release" && pwd)/MolaFlash-$version-win32.zip
/usr/bin/python3 "$src/tools/release_pack.py" --exe "$work/MolaFlash.exe" \
    --guide "$src/docs/user-guide.md" --version "$version" --epoch "$epoch" --zip "$zip" || exit 1
cp "$work/$debug_name" "$out/release/$debug_name.partial"
mv -f "$out/release/$debug_name.partial" "$out/release/$debug_name"

echo "MolaFlash $version, commit ${commit:0:12}, SOURCE_DATE_EPOCH=$epoch"
(cd "$work" && sha256sum MolaFlash.exe)
(cd "$out/release" && sha256sum "$(pwd)/$debug_name")
sha256sum "$zip"
