#!/bin/sh
# Builds everything and runs the whole test suite: the native suite under the
# sanitizers, then the Windows suite under Wine.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" all
status=0
(cd "$root/build/native" && ctest --output-on-failure "$@") || status=1
(cd "$root/build/win32" && ctest --output-on-failure "$@") || status=1
exit $status
