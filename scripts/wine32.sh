#!/usr/bin/env bash
# Whether this machine can run the 32-bit Windows build under Wine, making it so where it can.
# First a tiny i386 program, made here with binutils, is run: where the kernel runs no 32-bit
# code, installing 32-bit Wine would break Wine for 64-bit programs too, so nothing is installed.
# Where it runs, the i386 architecture is added and wine32 installed, then Wine is tried with a
# 64-bit and a 32-bit program in a throwaway prefix; if either fails, every i386 package is taken
# off again. Prints one line; exit status 0 when 32-bit Windows programs run here, 1 when not.
# Usage: scripts/wine32.sh   (as root, after scripts/install-deps.sh)
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
no() { echo "32-bit Windows build: checked but not run on this machine: $*"; exit 1; }

# exit(42) by a system call, in i386 code.
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$work/probe.s"
as --32 "$work/probe.s" -o "$work/probe.o" 2>/dev/null && ld -m elf_i386 "$work/probe.o" -o "$work/probe" 2>/dev/null ||
    no "binutils could not make the i386 probe"
"$work/probe" 2>/dev/null
[ $? = 42 ] || no "the kernel runs no 32-bit programs"

# Each architecture's program exits with its own code; Wine must run both.
tried() {
    printf 'int main(void) { return %s; }\n' 64 >"$work/p64.c"
    printf 'int main(void) { return %s; }\n' 32 >"$work/p32.c"
    x86_64-w64-mingw32-gcc "$work/p64.c" -o "$work/p64.exe" && i686-w64-mingw32-gcc "$work/p32.c" -o "$work/p32.exe" ||
        return 1
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    timeout 120 wine "$work/p64.exe" >/dev/null 2>&1
    local a=$?
    timeout 120 wine "$work/p32.exe" >/dev/null 2>&1
    local b=$?
    wineserver -k >/dev/null 2>&1
    [ "$a" = 64 ] && [ "$b" = 32 ]
}
undo() {
    mapfile -t i386 < <(dpkg-query -W -f '${binary:Package}\n' 2>/dev/null | grep ':i386$')
    [ ${#i386[@]} = 0 ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y "${i386[@]}" >/dev/null 2>&1
    dpkg --remove-architecture i386 >/dev/null 2>&1
}

if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    echo "installing: wine32:i386" >&2
    dpkg --add-architecture i386 && apt-get update >/dev/null &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y wine32:i386 >/dev/null ||
        { undo; tried || echo "warning: Wine no longer runs 64-bit programs" >&2; no "wine32:i386 could not be installed"; }
fi
if ! tried; then
    undo
    tried || echo "warning: Wine does not run 64-bit programs either" >&2
    no "32-bit Wine was installed but did not run both a 64-bit and a 32-bit program, and was taken off again"
fi
echo "32-bit Windows build: runs here, under 32-bit Wine"
