#!/bin/sh
# Builds everything and runs the whole test suite: the native suite under the
# sanitizers, the checks of the shipped 32-bit DLL, then the Windows suite
# under Wine. Extra arguments go to every ctest call.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all
status=0
for tree in native win32 win64; do
  echo "== $tree"
  (cd "$root/build/$tree" && ctest --output-on-failure "$@") || status=1
done
exit $status
