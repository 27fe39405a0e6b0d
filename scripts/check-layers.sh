#!/bin/sh
# Fails when a product folder includes a folder above it. The order, lowest
# first: base, oplogsys, mp4, common, module, transcoder, info (the info
# object hands out transcoders). The one tie that runs up is
# module/ObjectMap.cpp, whose object map names the two coclasses.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rank() {
  case $1 in
    base) echo 0 ;; oplogsys) echo 1 ;; mp4) echo 2 ;; common) echo 3 ;;
    module) echo 4 ;; transcoder) echo 5 ;; info) echo 6 ;; *) echo "" ;;
  esac
}
bad=0
for dir in base oplogsys mp4 common module transcoder info; do
  mine=$(rank "$dir")
  git grep -n -E '^#include "[a-z0-9]+/' -- "$dir/*.h" "$dir/*.cpp" | while IFS= read -r line; do
    file=${line%%:*}
    target=$(printf '%s' "$line" | sed -E 's/.*#include "([a-z0-9]+)\/.*/\1/')
    theirs=$(rank "$target")
    [ -n "$theirs" ] || continue
      if [ "$theirs" -gt "$mine" ]; then
      case $file in module/ObjectMap.cpp) continue ;; esac
      echo "$line"
    fi
  done
done >"${TMPDIR:-/tmp}/trn-layers.$$"
if [ -s "${TMPDIR:-/tmp}/trn-layers.$$" ]; then
  echo "layers: includes of a folder above the including one:"
  cat "${TMPDIR:-/tmp}/trn-layers.$$"
  bad=1
fi
rm -f "${TMPDIR:-/tmp}/trn-layers.$$"
[ $bad = 0 ] && echo "layers: base < oplogsys < mp4 < common < module < transcoder < info"
exit $bad
