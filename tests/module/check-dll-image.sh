#!/bin/bash
# check-dll-image.sh DLL OBJDUMP: the DLL is a PE image of the build's
# machine, exports exactly the four entry points under undecorated names and
# imports nothing but system DLLs.
# Registered to run with sh: bash's pipefail is wanted.
if [ -z "${BASH_VERSION:-}" ]; then exec bash "$0" "$@"; fi
set -eu -o pipefail
trap 'echo "FAIL: line $LINENO: a step failed with status $?"' ERR
dll=$1
objdump=$2
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$dll" >"$dump"

case "$objdump" in
  i686-*) grep -q 'file format pei-i386' "$dump" || { echo "not a PE32 i386 image"; exit 1; } ;;
  x86_64-*) grep -q 'file format pei-x86-64' "$dump" || { echo "not a PE32+ x86-64 image"; exit 1; } ;;
esac

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' "$dump" | grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
if [ "$exports" != "$expected" ]; then
  echo "exports: '$exports', expected '$expected'"
  exit 1
fi

system="kernel32.dll user32.dll advapi32.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll
        msvcrt.dll ntdll.dll version.dll uuid.dll strmiids.dll"
imports=$(grep 'DLL Name:' "$dump" | awk '{print tolower($3)}')
[ -n "$imports" ] || { echo "no imports found"; exit 1; }
status=0
for name in $imports; do
  case " $(echo $system) " in
    *" $name "*) echo "import $name" ;;
    *) case "$name" in
         api-ms-win-*) echo "import $name" ;;
         *) echo "non-system import: $name"; status=1 ;;
       esac ;;
  esac
done
exit $status
