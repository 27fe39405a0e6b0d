#!/bin/bash
# regsvr32.sh ENVFILE DLL: the platform's regsvr32 registers the DLL (twice,
# with the same result), and /u removes its keys but not the roots.
set -eu -o pipefail
trap 'echo "FAIL: line $LINENO: a step failed with status $?"' ERR
. "$1"
dll=$2
winpath="Z:$(echo "$dll" | tr / '\\')"
# The platform's reg.exe: its messages stay out of the log.
query() { "$TRN_WINE" reg query "$@" 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*"; exit 1; }

"$TRN_WINE" regsvr32 /s "$winpath" || fail "regsvr32 failed"
first=$(query 'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' /s)
grep -q 'M4aConverter Class' <<<"$first" || fail "CLSID key missing: $first"
grep -q 'ThreadingModel.*Both' <<<"$(query 'HKCR\CLSID\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}\InprocServer32')" ||
  fail "ThreadingModel missing"
grep -q '{1A13599F-F117-4F1B-AEAC-0F8D865164A9}' <<<"$(query 'HKCR\AppID\TrnM4aTranscoder.DLL')" || fail "AppID missing"

"$TRN_WINE" regsvr32 /s "$winpath" || fail "second regsvr32 failed"
second=$(query 'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' /s)
[ "$first" = "$second" ] || fail "registering twice changed the keys"

"$TRN_WINE" regsvr32 /s /u "$winpath" || fail "regsvr32 /u failed"
for key in 'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' 'HKCR\CLSID\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}' \
           'HKCR\TrnM4aTranscoder.M4aConverter' 'HKCR\TrnM4aTranscoder.M4aConverterInfo.1' \
           'HKCR\AppID\{1A13599F-F117-4F1B-AEAC-0F8D865164A9}' 'HKCR\AppID\TrnM4aTranscoder.DLL'; do
  if "$TRN_WINE" reg query "$key" >/dev/null 2>&1; then fail "$key left behind"; fi
done
"$TRN_WINE" reg query 'HKCR\CLSID' >/dev/null 2>&1 || fail "CLSID root removed"
"$TRN_WINE" reg query 'HKCR\AppID' >/dev/null 2>&1 || fail "AppID root removed"
echo "regsvr32 register/unregister: ok"
