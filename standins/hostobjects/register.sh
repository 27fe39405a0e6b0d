#!/bin/sh
# register.sh ENVFILE DLL: registers the stand-in host classes in the test
# prefix with the platform's regsvr32 and checks that both classes point at
# this DLL. The keys stay for the tests that create host objects.
set -e
. "$1"
dll=$2
winpath="Z:$(echo "$dll" | tr / '\\')"
query() { "$TRN_WINE" reg query "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*"; exit 1; }

"$TRN_WINE" regsvr32 /s "$winpath" || fail "regsvr32 $winpath failed"
for clsid in '{77A3A473-1AD2-475F-97EC-1E90229770E9}' '{E5C8CBCE-AD20-48F7-9501-F87626B6BE78}'; do
  keys=$(query "HKCR\\CLSID\\$clsid\\InprocServer32")
  printf "%s\n" "$keys" | grep -qiF "$winpath" || fail "$clsid: server path missing"
  printf "%s\n" "$keys" | grep -q 'ThreadingModel.*Both' || fail "$clsid: ThreadingModel missing"
done
echo "host classes registered from $winpath"
