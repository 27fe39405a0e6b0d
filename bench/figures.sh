#!/bin/bash
# figures.sh: the speed figures of the product in one run, each beside its
# reference and its aim. Uses the tree scripts/trnhost picks (TRN_TREE=DIR
# for another) and the native tree's file maker (scripts/build.sh native).
#   1. a 4-minute 44.1 kHz stereo AAC file to LPCM with trnhost stream,
#      against ffmpeg's decode of the same file (medians of 3);
#   2. trnhost serve: audio seconds per wall second for 1 and for 8 clients
#      each pulling a different LPCM item, and curl's time to the first byte
#      from the start of an item and for a byte range in the middle of a
#      3-hour one (medians of 11: single requests vary a lot under Wine);
#   3. the info object's calls per second (trn_info_bench);
#   4. trnhost scan against ffprobe (bench/trnhost-scan.sh).
# Run it on a quiet machine: the figures are wall-clock times.
set -eu -o pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${TRN_TREE:-}" ]; then
  case $TRN_TREE in /*) tree=$TRN_TREE ;; *) tree=$root/$TRN_TREE ;; esac
else
  tree=${TRN_BUILD_ROOT:-$root/build}/win64
  [ -f "${TRN_BUILD_ROOT:-$root/build}/win32/wine-env.sh" ] && tree=${TRN_BUILD_ROOT:-$root/build}/win32
fi
export TRN_TREE=$tree
mkfile=${TRN_BUILD_ROOT:-$root/build}/native/bench/trn_bench_mkfile
for tool in ffmpeg curl; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$mkfile" ] || { echo "$mkfile is missing (scripts/build.sh native)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/figures.XXXXXX")
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$tree/wine-env.sh"
ff() { ffmpeg -nostdin -v error -y "$@"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
cpu_of() { awk '{ print $14 + $15 + $16 + $17 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
wineserver_pid() { pgrep -f "$TRN_WINESERVER" -n 2>/dev/null | head -n 1 || true; }
echo "tree $tree; $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg)"

# The media: a typical song, and a 3-hour audiobook of real AAC frames.
mkdir -p "$work/media"
ff -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=240" \
  -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.05:duration=240" \
  -filter_complex "[0][1]amix=inputs=2,pan=stereo|c0=c0|c1=c0" -c:a aac -b:a 128k "$work/typical.m4a"
ff -f lavfi -i "sine=frequency=220:sample_rate=24000:duration=20" -ac 1 -c:a aac -b:a 12k -f adts "$work/piece.aac"
"$mkfile" long "$work/piece.aac" 3 "$work/media/book.m4b" >/dev/null
for i in 1 2 3 4 5 6 7 8; do cp "$work/typical.m4a" "$work/media/song$i.m4a"; done
"$root/scripts/trnhost" formats "$work/typical.m4a" >/dev/null

echo
echo "== 1. a 4-minute file to LPCM"
for i in 1 2 3; do
  ws=$(wineserver_pid)
  before=$([ -n "$ws" ] && cpu_of "$ws" || echo 0)
  /usr/bin/time -f "%e %U %S" -o "$work/t" "$root/scripts/trnhost" stream "$work/typical.m4a" lpcm44 -o "$work/out.pcm" 2>/dev/null
  after=$([ -n "$ws" ] && cpu_of "$ws" || echo 0)
  awk -v b="$before" -v a="$after" '{ printf "%s %s\n", $1, $2 + $3 + (a - b) / 100 }' "$work/t" >>"$work/ours"
  /usr/bin/time -f "%e %U %S" -o "$work/t" ffmpeg -nostdin -v error -y -i "$work/typical.m4a" -f s16be -ar 44100 -ac 2 "$work/ff.pcm"
  awk '{ printf "%s %s\n", $1, $2 + $3 }' "$work/t" >>"$work/theirs"
done
wall=$(cut -d' ' -f1 "$work/ours" | median) cpu=$(cut -d' ' -f2 "$work/ours" | median)
ffwall=$(cut -d' ' -f1 "$work/theirs" | median) ffcpu=$(cut -d' ' -f2 "$work/theirs" | median)
awk -v w="$wall" -v c="$cpu" -v fw="$ffwall" -v fc="$ffcpu" 'BEGIN {
  printf "trnhost stream: %.2f s wall (%.0fx real time), %.2f s CPU, the wineserver included (aim: <= 1.2 s wall)\n", w, 240 / w, c
  printf "ffmpeg:         %.2f s wall, %.2f s CPU\n", fw, fc
  printf "ratio:          %.1fx the wall time, %.1fx the CPU (aim: <= 4x the CPU)\n", w / fw, c / fc }'

echo
echo "== 2. trnhost serve"
mkfifo "$work/ctl"
"$TRN_WINE" "$tree/tools/trnhost.exe" serve "$(printf 'Z:%s' "$work/media" | tr / '\\')" --port 0 \
  <"$work/ctl" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
exec 3>"$work/ctl"
base=
for _ in $(seq 600); do
  base=$(sed -n 's|.* at \(http://127\.0\.0\.1:[0-9]*\)/.*|\1|p' "$work/server.out" 2>/dev/null | tr -d '\r')
  [ -n "$base" ] && break
  sleep 0.1
done
[ -n "$base" ] || { echo "the server did not start: $(cat "$work/server.err")" >&2; exit 1; }
now() { date +%s.%N; }
pull() { curl -s --noproxy '*' -o /dev/null "$base/media/lpcm44/song$1.m4a"; }
pull 1
start=$(now); pull 1; end=$(now)
one=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", 240 / (b - a) }')
start=$(now)
pids=
for i in 1 2 3 4 5 6 7 8; do pull $i & pids="$pids $!"; done
for p in $pids; do wait "$p"; done
end=$(now)
eight=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", 8 * 240 / (b - a) }')
awk -v o="$one" -v e="$eight" 'BEGIN {
  printf "audio seconds per wall second: %d for one client, %d for eight at once: %.2fx (aim: >= 1.7x)\n", o, e, e / o }'
length=$(curl -s --noproxy '*' -I "$base/media/lpcm44/book.m4b" | tr -d '\r' | sed -n 's/^Content-Length: //p')
for i in $(seq 11); do
  curl -s --noproxy '*' -o /dev/null -r 0-65535 -w '%{time_starttransfer}\n' "$base/media/lpcm44/song1.m4a" >>"$work/first"
  curl -s --noproxy '*' -o /dev/null -r "$((length / 2 + 1001))-$((length / 2 + 66536))" \
    -w '%{time_starttransfer}\n' "$base/media/lpcm44/book.m4b" >>"$work/middle"
done
awk -v f="$(median <"$work/first")" -v m="$(median <"$work/middle")" 'BEGIN {
  printf "first byte from the start of an item: %.0f ms (aim: <= 30 ms)\n", f * 1000
  printf "first byte of a range in the middle of a 3-hour item: %.0f ms (aim: <= 30 ms)\n", m * 1000 }'
exec 3>&-
wait "$server_pid" || true
server_pid=

echo
echo "== 3. info calls"
sh "$root/bench/run-info-bench.sh" "$tree" | grep -v '^ALSA lib'

echo
echo "== 4. scan"
"$root/bench/trnhost-scan.sh" 1000 | grep -v '^folder:'
