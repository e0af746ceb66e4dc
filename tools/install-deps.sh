#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Usage: tools/install-deps.sh [native|windows|all|emulator|release]   (default: all)
#   emulator: only the user-mode emulator that runs 32-bit programs on kernels that run no
#   32-bit code (tools/enable-i386.sh asks for it where it is needed).
#   release: only what tools/release.sh needs.
# Skips apt entirely when everything is already there.
set -euo pipefail
what=${1:-all}

need=()
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# CLI11 and standalone Asio: the developer tools' options and sockets (header-only; the Windows
# builds take them from the same packages).
native_pkgs=(cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev libcli11-dev libasio-dev)
# x11-utils: xwininfo finds the sheet's X window for screenshots of that window alone.
# python3-pefile: the checks of the built executables read their resources and imports.
windows_pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libcli11-dev libasio-dev wine wine64 wine32:i386 fonts-wine xvfb xauth imagemagick
              x11-utils python3-pefile)
emulator_pkgs=(qemu-user-static)
# The release's guide: Markdown to HTML, and a look at each picture. The native tests check
# the packing too, so the native set has them as well.
# The release check reads the released executable's manifest, icon and imports as well.
release_pkgs=(cmake ninja-build g++-mingw-w64-i686 libcli11-dev libasio-dev python3-markdown imagemagick python3-pefile)
native_pkgs+=(python3-markdown imagemagick)
# The icon: rsvg-convert draws its source picture at each size (tools/make_icon.py); a native
# test checks that the committed icon is what the picture gives.
native_pkgs+=(librsvg2-bin)

case $what in
native) pkgs=("${native_pkgs[@]}") ;;
windows | all) pkgs=("${native_pkgs[@]}" "${windows_pkgs[@]}") ;;
emulator) pkgs=("${emulator_pkgs[@]}") ;;
release) pkgs=("${release_pkgs[@]}") ;;
*) echo "usage: install-deps.sh [native|windows|all|emulator|release]" >&2; exit 2 ;;
esac
for p in "${pkgs[@]}"; do pkg_installed "$p" || need+=("$p"); done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing: ${need[*]}" >&2
if { [ "$what" = windows ] || [ "$what" = all ]; } && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -q >&2
$SUDO apt-get -o DPkg::Lock::Timeout=600 -y -q --no-install-recommends install "${need[@]}" >&2
