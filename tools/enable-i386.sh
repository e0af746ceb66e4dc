#!/usr/bin/env bash
# Makes this machine run 32-bit (i386) Linux programs, which the 32-bit Wine loader is, so
# that the 32-bit Windows build can run under Wine. Some kernels run no 32-bit code at all;
# there binfmt_misc hands i386 programs to the user-mode emulator qemu-i386-static.
# Idempotent: does nothing where 32-bit programs already run. Prints one line saying what it
# did; exits nonzero with the reason when 32-bit programs still cannot run.
# Usage: tools/enable-i386.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The 32-bit Wine loader, an i386 program that every i686 Windows program needs.
probe=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
emulator=/usr/bin/qemu-i386-static
# i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3). F: the kernel opens
# the emulator once at registration, so it also works inside other mount namespaces.
registration=":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$emulator:F"

say() { echo "enable-i386: $*"; }
die() { echo "enable-i386: $*" >&2; exit 1; }

runs_32bit() { "$probe" --version >/dev/null 2>&1; }

[ -x "$probe" ] || "$root/tools/install-deps.sh" windows
[ -x "$probe" ] || die "no 32-bit Wine loader at $probe"

if runs_32bit; then
    if [ -r "$entry" ] && grep -qx enabled "$entry"; then
        say "32-bit programs already run here (through $(sed -n 's/^interpreter //p' "$entry")); nothing changed"
    else
        say "32-bit programs already run here (natively); nothing changed"
    fi
    exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
as_root() { $SUDO sh -c "$1"; }

done_steps=()
[ -x "$emulator" ] || { "$root/tools/install-deps.sh" emulator; done_steps+=("installed qemu-user-static"); }
[ -x "$emulator" ] || die "no emulator at $emulator"

if ! mountpoint -q "$binfmt"; then
    as_root "mount -t binfmt_misc binfmt_misc $binfmt" || die "cannot mount binfmt_misc at $binfmt"
    done_steps+=("mounted binfmt_misc")
fi
if [ "$(cat "$binfmt/status")" != enabled ]; then
    as_root "echo 1 > $binfmt/status" || die "cannot enable binfmt_misc"
    done_steps+=("enabled binfmt_misc")
fi
if [ -e "$entry" ]; then
    # An entry that does not work here (disabled, or a missing interpreter): replace it.
    as_root "echo -1 > $entry" || die "cannot remove the entry $entry"
    done_steps+=("removed a qemu-i386 entry that did not work")
fi
as_root "printf '%s' '$registration' > $binfmt/register" || die "cannot register qemu-i386 with binfmt_misc"
done_steps+=("registered qemu-i386 ($emulator) with binfmt_misc")

runs_32bit || die "${done_steps[*]}, but $probe still does not run"
joined=$(printf '%s, ' "${done_steps[@]}")
say "${joined%, }; 32-bit programs now run through the emulator"
