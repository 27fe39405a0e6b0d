#!/bin/bash
# register.sh ENVFILE DLL: registers the sink stand-in in the test prefix,
# under its CLSID only: no filter-mapper entry, so Render never picks it.
# The benchmark target runs it with sh: bash's pipefail is wanted.
if [ -z "${BASH_VERSION:-}" ]; then exec bash "$0" "$@"; fi
set -eu -o pipefail
trap 'echo "FAIL: line $LINENO: a step failed with status $?"' ERR
. "$1"
winpath="Z:$(echo "$2" | tr / '\\')"
fail() { echo "FAIL: $*"; exit 1; }
"$TRN_WINE" regsvr32 /s "$winpath" || fail "regsvr32 failed"
clsid='{540DFF74-7239-457A-970B-5ACA6921057B}'
# The platform's reg.exe: its messages stay out of the log.
server=$("$TRN_WINE" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" 2>/dev/null | tr -d '\r') ||
  fail "InprocServer32 missing"
grep -q 'ThreadingModel.*Both' <<<"$server" || fail "ThreadingModel missing: $server"
# The audio renderer category of the filter mapper.
if "$TRN_WINE" reg query "HKCR\\CLSID\\{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}\\Instance\\$clsid" >/dev/null 2>&1 ||
   "$TRN_WINE" reg query "HKCR\\CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\$clsid" >/dev/null 2>&1; then
  fail "registered with the filter mapper"
fi
echo "HostDlnaSink registered"
