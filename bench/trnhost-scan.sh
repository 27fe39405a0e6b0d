#!/bin/sh
# trnhost-scan.sh [N]: files per second of "trnhost scan" on a folder of N
# copies of the committed samples (default 1000) under Wine, against ffprobe
# run once per file on the same folder. Uses the tree scripts/trnhost picks
# (TRN_TREE=DIR for another). Prints both rates and the aims.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-1000}
command -v ffprobe >/dev/null 2>&1 || { echo "ffprobe is missing (apt-get install ffmpeg)" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/trnhost-scan.XXXXXX")
trap 'rm -rf "$dir"' EXIT

# The media files among the samples, copied round-robin (the damaged one too:
# a library has such files, and both tools must get past them).
set -- "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.m4b "$root"/testdata/*.3gp \
       "$root"/samples/*.m4a
kinds=$#
i=0
while [ "$i" -lt "$n" ]; do
  for f in "$@"; do
    [ "$i" -lt "$n" ] || break
    cp "$f" "$dir/$(printf %04d "$i")-$(basename "$f")"
    i=$((i + 1))
  done
done
echo "folder: $n copies of $kinds samples in $dir"

now() { date +%s.%N; }
# A first run starts the prefix and registers what the wrapper needs.
"$root/scripts/trnhost" scan "$root/samples" >/dev/null 2>&1

start=$(now)
"$root/scripts/trnhost" scan --json "$dir" >"$dir.json" 2>"$dir.err"
end=$(now)
inner=$(sed -n 's/.* s: \([0-9.]*\) files\/s.*/\1/p' "$dir.err")
lines=$(wc -l <"$dir.json")
rm -f "$dir.json"
[ "$lines" = "$n" ] || { echo "scan gave $lines lines for $n files" >&2; cat "$dir.err" >&2; exit 1; }
grep -E '^  (files|supported|native only|refused) ' "$dir.err"
rm -f "$dir.err"
outer=$(awk -v n="$n" -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", n / (b - a) }')

start=$(now)
for f in "$dir"/*; do
  ffprobe -v error -show_entries format=duration,size,bit_rate:stream=codec_name,sample_rate,channels \
    -of json "$f" >/dev/null 2>&1 || true
done
end=$(now)
ff=$(awk -v n="$n" -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", n / (b - a) }')

echo "trnhost scan:  $inner files/s inside the tool; $outer files/s with Wine's start-up (aim: >= 500)"
echo "ffprobe:       $ff files/s, one process per file"
awk -v t="$inner" -v f="$ff" 'BEGIN { printf "ratio:         %.1fx ffprobe (aim: >= 10x)\n", t / f }'
