#!/bin/bash
# probe-errorlog.sh ENVFILE TRNPROBE CONFIG: trnprobe.exe as the host
# executable, with the example logging configuration beside it, inspects a
# missing .m4a in an existing folder; tarn.log beside it must hold the
# process header and the parser's failure entry with its source position.
set -eu -o pipefail
trap 'echo "FAIL: line $LINENO: a step failed with status $?"' ERR
. "$1"
probe=$2
config=$3
fail() { echo "FAIL: $*"; [ -f "$log" ] && cat "$log"; exit 1; }

scratch=$(mktemp -d "$TRN_BUILD_DIR/probe-errorlog.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$probe" "$scratch/trnprobe.exe"
cp "$config" "$scratch/"
mkdir "$scratch/media"
log="$scratch/tarn.log"
winmedia="Z:$(echo "$scratch/media" | tr / '\\')"

rc=0
out=$("$TRN_WINE" "$scratch/trnprobe.exe" "$winmedia\\missing.m4a") || rc=$?
[ "$rc" -eq 1 ] || fail "trnprobe exit code $rc, expected 1 (file not readable): $out"
grep -q '"facade":{"hr":"0x80070002"' <<<"$out" || fail "facade hr missing: $out"
[ -f "$log" ] || fail "no tarn.log beside the executable"

lines=$(tr -d '\r' < "$log")
count=$(wc -l <<<"$lines")
[ $count -eq 4 ] || fail "expected 4 lines, got $count"
stamp='\[[0-9]\{4\}/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]\{3\}\]\[[0-9A-F]\{1,8\}\]\[[0-9A-F]\{8\}\] '
rule=$(printf '%079d' 0 | tr 0 -)
line() { sed -n "$1p" <<<"$lines"; }
grep -q "^$stamp$rule\$" <<<"$(line 1)" || fail "line 1 is not the rule"
grep -q "^$stamp.*\\\\trnprobe\\.exe\$" <<<"$(line 2)" || fail "line 2 is not the executable path"
grep -q "^$stamp$rule\$" <<<"$(line 3)" || fail "line 3 is not the rule"
grep -q "^$stamp\[ERR\] <api-fail> INVALID_HANDLE_VALUE != hFile (80070002:.*) {\.\.\\\\\.\.\\\\\.\.\\\\common\\\\TrnMp4ParserImpl,[0-9]\{1,\}}\$" <<<"$(line 4)" ||
  fail "line 4 is not the parser's failure entry"
echo "trnprobe error log: ok"
