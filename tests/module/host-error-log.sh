#!/bin/bash
# host-error-log.sh ENVFILE DLL HOST CONFIG: with the example configuration
# beside the host executable, a failing interface method writes the process
# header and exactly one entry to "tarn.log"; without it nothing is written.
set -eu -o pipefail
trap 'echo "FAIL: line $LINENO: a step failed with status $?"' ERR
. "$1"
dll=$2
host=$3
config=$4
fail() { echo "FAIL: $*"; exit 1; }
winpath() { echo "Z:$1" | tr / '\\'; }

scratch="$TRN_BUILD_DIR/scratch/host-error-log"
rm -rf "$scratch"
mkdir -p "$scratch/configured" "$scratch/plain"
for dir in configured plain; do cp "$host" "$dll" "$scratch/$dir/"; done
cp "$config" "$scratch/configured/"

run() {
  "$TRN_WINE" "$scratch/$1/$(basename "$host")" "$(winpath "$scratch/$1/$(basename "$dll")")" 'C:\music\song.wav' |
    tr -d '\r'
}

result=$(run configured)
[ "$result" = "0x80070057" ] || fail "Open returned $result"
log="$scratch/configured/tarn.log"
[ -f "$log" ] || fail "no tarn.log beside the host"
text=$(tr -d '\r' <"$log")
printf "%s\n" "$text"
[ "$(wc -l <<<"$text")" -eq 4 ] || fail "expected the three-line header and one entry"
line() { sed -n "$1p" <<<"$text"; }
grep -Eq '^\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9:.]{12}\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] -{79}$' <<<"$(line 1)" ||
  fail "first header line"
grep -q 'trn_test_host.exe$' <<<"$(line 2)" || fail "second header line names the host"
grep -Eq '^\[[0-9/ :.]+\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] \[ERR\] <exception> HRESULT\(0x80070057:.*\) \{\.\\M4aConverter,[0-9]+\}$' <<<"$(line 4)" ||
  fail "entry line"

result=$(run plain)
[ "$result" = "0x80070057" ] || fail "Open returned $result without configuration"
left=$(ls "$scratch/plain" | sort | tr '\n' ' ')
[ "$left" = "$(basename "$dll") $(basename "$host") " ] || fail "files written without configuration: $left"
echo "host error log: ok"
