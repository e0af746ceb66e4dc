# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under Wine: the environment they share.
#   wine64, wine32, wineserver: Wine's loaders and server (wine32 runs i686 programs);
#   wine_for EXE: prints the loader of an executable's width;
#   win_path PATH: prints PATH as a Windows path (drive Z: is the root).

# shellcheck disable=SC2034 # used by the scripts that source this file
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Where the kernel runs no 32-bit code, the 32-bit loader runs under qemu-i386 (see
# tools/enable-i386.sh). By default the emulator gives a 32-bit program the whole 4 GB, and
# Wine then spends about a minute per process start probing that space 64 KB at a time, each
# probe a slow search in the emulator. Wine needs only its 2 GB below 0x7fff0000 and a little
# above; a space of 0x82000000 bytes (the emulated stack, 8 MB, sits at its top) cuts the
# start to a few seconds. Where 32-bit programs run natively these settings are not read.
export QEMU_RESERVED_VA=0x82000000 QEMU_STACK_SIZE=8388608

# Machine type of a PE executable: 14c (i686), 8664 (x86-64); empty if not a PE file.
pe_machine() {
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$pe" ] || return 0
    [ "$(od -An -c -j"$pe" -N2 "$1" 2>/dev/null | tr -d ' ')" = PE ] || return 0
    od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ' | sed 's/^0*//'
}

wine_for() {
    case $(pe_machine "$1") in
    14c) echo "$wine32" ;;
    *) echo "$wine64" ;;
    esac
}

win_path() {
    echo "Z:${1//\//\\}"
}
