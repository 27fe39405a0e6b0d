#!/bin/sh
# run-info-bench.sh TREE: runs the info object's benchmark of a Windows build
# tree (built with its tests) in that tree's private Wine prefix, on the
# committed samples.
set -e
[ -n "${1:-}" ] || { echo "usage: $0 BUILD_TREE" >&2; exit 2; }
tree=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
# A descriptor left open by the caller (ninja's job pipe) would be inherited
# by the wineserver and the prefix's services, which outlive this script, and
# the caller would wait for them.
for fd in 3 4 5 6 7 8 9; do eval "exec $fd>&-"; done
. "$tree/wine-env.sh"
sh "$root/cmake/wine-prefix.sh" up "$tree/wine-env.sh" </dev/null
cd "$tree/bench"
exec "$TRN_WINE" ./trn_info_bench.exe "$tree/module/TrnM4aTranscoder.dll" "$root/testdata" \
  "$tree/standins/hostobjects/HostMediaObjects.dll"
