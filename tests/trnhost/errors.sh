#!/bin/bash
# Readable failures: a missing file, an unsupported file, a bad format name,
# an unregistered server and a damaged file each give one line with the
# HRESULT and its text on standard error, and their own non-zero exit code.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
register_server
# Restore the registration whatever happens below.
trap register_server EXIT

expect_line() { # label exit-code hresult
  [ "$rc" = "$2" ] || fail "$1: exit code $rc, expected $2"
  lines=$(wc -l <"$scratch/err")
  [ "$lines" = 1 ] || fail "$1: $lines lines on standard error: $(cat "$scratch/err")"
  # "trnhost: what: 0x8XXXXXXX text"
  grep -Eq "^trnhost: .*: $3 [A-Za-z(][^ ]" "$scratch/err" || fail "$1: no HRESULT $3 and text in: $(cat "$scratch/err")"
}

th formats "$(win "$data/missing.m4a")"
expect_line "missing file" 3 0x80070002
th stream "$(win "$data/missing.m4a")" lpcm44 -o "$(win "$scratch/missing.l16")"
expect_line "stream of a missing file" 3 0x80070002
# A missing folder is a missing file too, for scan and for serve.
th scan "$(win "$scratch/no such folder")"
expect_line "scan of a missing folder" 3 0x80070002
th serve "$(win "$scratch/no such folder")" --port 0
expect_line "serve of a missing folder" 3 0x80070002
th stream "$(win "$data/video-and-audio.mp4")" lpcm44 -o "$(win "$scratch/video.l16")"
expect_line "unsupported file (video)" 4 0x80070057
[ ! -e "$scratch/video.l16" ] || fail "an output file was left for a refused stream"
th formats "$(win "$data/aac-96000-stereo.mp4")"
expect_line "unsupported file (96 kHz, no native brand)" 4 0x80070057
th props "$(win "$data/aac-48000-mp42.mp4")" flac
expect_line "bad format name" 5 0x80070057
th props "$(win "$data/aac-48000-mp42.mp4")" 7
expect_line "index beyond the list" 5 0x80070057
grep -q 'offered: 0 lpcm48, 1 mp4' "$scratch/err" || fail "the offered formats are not named: $(cat "$scratch/err")"
th stream "$(win "$data/aac-48000-mp42.mp4")" mp4 --wav -o "$(win "$scratch/x.wav")"
expect_line "--wav with a native format" 5 0x80070057
th formats "$(win "$data/aac-44100-truncated.m4a")"
[ "$rc" != 0 ] || fail "damaged file: exit code 0"
grep -Eq '^trnhost: .*: 0x8[0-9A-F]{7} [^ ]' "$scratch/err" && [ "$(wc -l <"$scratch/err")" = 1 ] ||
  fail "damaged file: $(cat "$scratch/err")"
# A stream that cannot be written: the output folder does not exist.
th stream "$(win "$data/aac-48000-mp42.mp4")" mp4 -o "$(win "$scratch/no/such/folder/out.mp4")"
expect_line "unwritable output" 1 0x80070003
# Usage errors name the problem and exit 2.
th stream "$(win "$data/aac-48000-mp42.mp4")" mp4 --start-ms 5 --start-byte 5 -o x
[ "$rc" = 2 ] && grep -q 'exclude each other' "$scratch/err" || fail "conflicting positions: $rc $(cat "$scratch/err")"
th stream "$(win "$data/aac-48000-mp42.mp4")" mp4
[ "$rc" = 2 ] && grep -q 'needs -o' "$scratch/err" || fail "stream without -o: $rc"
th stream --help
[ "$rc" = 0 ] && grep -q '^usage: trnhost stream FILE FORMAT' "$scratch/out" || fail "stream --help"
for c in formats props scan register unregister; do
  th help "$c"
  [ "$rc" = 0 ] && grep -q "^usage: trnhost $c" "$scratch/out" || fail "help $c: $rc $(cat "$scratch/err")"
done

# Unregistered: the tool's own unregister, then every way of reaching the server fails.
th unregister "$(win "$dll")"
[ "$rc" = 0 ] || fail "unregister exited with $rc: $(cat "$scratch/err")"
th formats "$(win "$data/aac-48000-mp42.mp4")"
expect_line "unregistered server" 6 0x80040154
th --progid formats "$(win "$data/aac-48000-mp42.mp4")"
expect_line "unregistered ProgID" 6 0x800401F3
th register "$(win "$dll")"
[ "$rc" = 0 ] && grep -q '^registered ' "$scratch/out" || fail "register exited with $rc: $(cat "$scratch/err")"
th formats "$(win "$data/aac-48000-mp42.mp4")"
[ "$rc" = 0 ] || fail "formats after register: $rc $(cat "$scratch/err")"
finish
