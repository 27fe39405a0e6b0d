#!/bin/sh
# host-error-log.sh ENVFILE DLL HOST CONFIG: with the example configuration
# beside the host executable, a failing interface method writes the process
# header and exactly one entry to "tarn.log"; without it nothing is written.
set -e
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
[ "$(printf "%s\n" "$text" | wc -l)" -eq 4 ] || fail "expected the three-line header and one entry"
printf "%s\n" "$text" | sed -n 1p | grep -Eq '^\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9:.]{12}\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] -{79}$' ||
  fail "first header line"
printf "%s\n" "$text" | sed -n 2p | grep -q 'trn_test_host.exe$' || fail "second header line names the host"
printf "%s\n" "$text" | sed -n 4p |
  grep -Eq '^\[[0-9/ :.]+\]\[[0-9A-F]+\]\[[0-9A-F]{8}\] \[ERR\] <exception> HRESULT\(0x80070057:.*\) \{\.\\M4aConverter,[0-9]+\}$' ||
  fail "entry line"

result=$(run plain)
[ "$result" = "0x80070057" ] || fail "Open returned $result without configuration"
left=$(ls "$scratch/plain" | sort | tr '\n' ' ')
[ "$left" = "$(basename "$dll") $(basename "$host") " ] || fail "files written without configuration: $left"
echo "host error log: ok"
