#!/bin/sh
# A file named beyond ASCII: scan, formats and props give its name exactly,
# as UTF-8, in their JSON lines and in their text.
. "$(dirname "$0")/lib.sh"
# Wine reads Unix file names and arguments in the locale's character set.
LC_ALL=C.UTF-8
export LC_ALL
register_server

folder=$scratch/names
rm -rf "$folder"
mkdir -p "$folder"
name='Café – Ärger ♫.m4a'
cp "$data/aac-44100-stereo.m4a" "$folder/$name"
path=$(win "$folder/$name")
# In JSON the path's backslashes are doubled; nothing else needs escaping.
json=$(printf '%s' "$path" | sed 's/\\/\\\\/g')

th scan --json "$(win "$folder")"
[ "$rc" = 0 ] || fail "scan exited with $rc: $(cat "$scratch/err")"
[ "$(wc -l <"$scratch/out")" = 1 ] || fail "scan: not one line: $(cat "$scratch/out")"
grep -qF "{\"file\":\"$json\",\"status\":\"supported\",\"formats\":[" "$scratch/out" ||
  fail "scan --json: the name is not given exactly: $(cat "$scratch/out")"
th scan "$(win "$folder")"
[ "$(head -n 1 "$scratch/out")" = "$path" ] || fail "scan: the name is not given exactly: $(head -n 1 "$scratch/out")"

th formats --json "$path"
[ "$rc" = 0 ] || fail "formats exited with $rc: $(cat "$scratch/err")"
grep -qF "{\"file\":\"$json\",\"formats\":[{\"index\":0,\"name\":\"lpcm44\"" "$scratch/out" ||
  fail "formats --json: $(cat "$scratch/out")"
th props --json "$path" 0
[ "$rc" = 0 ] || fail "props exited with $rc: $(cat "$scratch/err")"
grep -qF "{\"file\":\"$json\",\"format\":\"lpcm44\"," "$scratch/out" || fail "props --json: $(cat "$scratch/out")"
finish
