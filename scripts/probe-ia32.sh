#!/bin/sh
# Tells whether 32-bit Windows code runs here: some build machines' kernels
# refuse IA-32 user code, and 32-bit Wine cannot start there; on others the
# package mirror may not have let set-up install 32-bit Wine. Checks for the
# 32-bit Wine loader, then assembles and runs a tiny static 32-bit program;
# prints one line saying what it found and exits 0 when 32-bit Windows code
# runs, 1 when it does not.
# TRN_IA32=no answers "the kernel refuses it" and TRN_NO_WINE32=1 "32-bit Wine
# is not installed" without looking (to rehearse those cases).
set -u
if [ "${TRN_IA32:-}" = no ]; then
  echo "TRN_IA32=no treats this machine as one without 32-bit code"
  exit 1
fi
if [ "${TRN_NO_WINE32:-}" = 1 ]; then
  echo "TRN_NO_WINE32=1 treats this machine as one where 32-bit Wine cannot be installed"
  exit 1
fi
if [ ! -x "${TRN_WINE32_LOADER:-/usr/lib/wine/wine}" ]; then
  echo "32-bit Wine is not installed (set-up could not get wine32:i386 from the package mirror)"
  exit 1
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/trn-ia32.XXXXXX") || { echo "no temporary folder for the 32-bit probe"; exit 1; }
trap 'rm -rf "$dir"' EXIT
cat >"$dir/probe.s" <<'ASM'
    .globl _start
_start:
    movl $1, %eax           # exit(42) through the 32-bit system call gate
    movl $42, %ebx
    int $0x80
ASM
if ! as --32 -o "$dir/probe.o" "$dir/probe.s" 2>"$dir/err" ||
   ! ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>"$dir/err"; then
  echo "the 32-bit probe program could not be built ($(head -n 1 "$dir/err"))"
  exit 1
fi
( "$dir/probe" ) 2>"$dir/err"
rc=$?
if [ "$rc" -eq 42 ]; then
  echo "this kernel runs 32-bit code: a tiny 32-bit program ran"
  exit 0
fi
why=$(head -n 1 "$dir/err" | sed 's/^.*: //')
echo "32-bit code does not run here: a tiny 32-bit program failed (exit $rc${why:+, $why})"
exit 1
