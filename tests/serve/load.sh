#!/bin/bash
# serve under load and abuse: 8 clients at once on different items each get
# trnhost stream's bytes while a slow client stalls; 20 clients that leave
# mid-stream leave no transcoder, thread or handle behind (the process's
# thread and handle counts against a baseline taken after a warm-up);
# malformed and unservable requests get their status and the server goes on.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
register_server
make_media
start_server
s=$scratch
long="sub folder/long 40s.m4a"

status() { curl -s --noproxy '*' -o "$s/status" "$base/status" || true; }
field() { status_field "$1" "$s/status"; }
figures() { printf 'connections %s transcoders %s threads %s handles %s' "$(field connections)" "$(field transcoders)" \
              "$(field threads)" "$(field handles)"; }
# Waits until only the asking connection is open, no transcoder is in use,
# and threads and handles are at most the limits; gives up after a long while.
settle() { # thread-limit handle-limit
  tries=0
  while :; do
    status
    [ "$(field connections)" = 1 ] && [ "$(field transcoders)" = 0 ] && [ "$(field threads)" -le "$1" ] &&
      [ "$(field handles)" -le "$2" ] && return 0
    tries=$((tries + 1))
    [ "$tries" -gt 1500 ] && return 1
    sleep 0.2
  done
}
idle() { settle 1000000 1000000; }
# Waits until the thread and handle counts have held still for a second: a
# baseline read while a finished stream's threads still wind down would
# count their handles as the server's own.
quiet() {
  last= same=0 tries=0
  while :; do
    status
    now="$(field threads) $(field handles)"
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; fi
    [ "$same" -ge 5 ] && return 0
    last=$now tries=$((tries + 1))
    [ "$tries" -gt 1500 ] && return 1
    sleep 0.2
  done
}
# A client that leaves after 100 KB: curl's failed write is how it leaves.
leave_early() { { curl -s --noproxy '*' "$1" || true; } | head -c 100000 >/dev/null; }

# Warm-up: each kind of stream once, whole and cut short, so that what the
# platform keeps after a first use is in the baseline.
fetch "$s/w1" "$(url_of "$long" lpcm44)"
fetch "$s/w2" "$(url_of tone48.mp4 mp4)"
leave_early "$(url_of "$long" lpcm44)"
idle || fail "the warm-up's connections did not end: $(figures)"
quiet || fail "the server's threads and handles did not settle after the warm-up: $(figures)"
grep -q '"counted":true' "$s/status" || fail "the server cannot count its threads and handles"
base_threads=$(field threads) base_handles=$(field handles)
echo "baseline after warm-up: $(figures)"

# The platform's DirectShow keeps some handles for every graph it builds,
# whoever drives it; five whole LPCM streams in turn measure how many.
for i in 1 2 3 4 5; do fetch "$s/g$i" "$(url_of tone48.mp4 lpcm48)"; done
settle "$base_threads" 1000000 || fail "five whole streams left threads: $(figures)"
per_graph=$(( ($(field handles) - base_handles + 4) / 5 ))
echo "five whole LPCM streams: $(figures); the platform keeps about $per_graph handles per graph"

# 8 clients at once on different items, beside a client that reads 1 KB/s.
load_pairs
curl -s --noproxy '*' --limit-rate 1k -o /dev/null "$(url_of "$long" lpcm44)" &
slow=$!
n=0
pids=
while IFS='|' read -r item f; do
  n=$((n + 1))
  curl -s --noproxy '*' -o "$s/got$n" -w '%{http_code}' "$(url_of "$item" "$f")" >"$s/code$n" &
  pids="$pids $!"
done <"$s/pairs"
for p in $pids; do wait "$p" || true; done  # each client's answer is checked below
n=0
while IFS='|' read -r item f; do
  n=$((n + 1))
  [ "$(cat "$s/code$n")" = 200 ] || fail "concurrent $item $f answered $(cat "$s/code$n")"
  cmp -s "$s/ref$n" "$s/got$n" || fail "concurrent $item $f: $(size_of "$s/got$n") bytes, not trnhost stream's $(size_of "$s/ref$n")"
done <"$s/pairs"
kill -0 "$slow" 2>/dev/null || fail "the slow client ended before the others (it reads 1 KB/s of a 7 MB stream)"
status
echo "8 clients at once: all done while the slow client still streams; $(figures)"
kill "$slow" 2>/dev/null || true
wait "$slow" 2>/dev/null || true
settle "$base_threads" 1000000 || fail "the 8 clients and the slow one left connections or threads: $(figures)"
quiet || fail "the server's threads and handles did not settle after the 8 clients: $(figures)"
before_threads=$(field threads) before_handles=$(field handles)
echo "before the 20 leaving clients: $(figures)"

# 20 clients that leave after 100 KB of a 7 MB stream, all at once. Each
# transcoder must be stopped and closed: no transcoder, connection or thread
# stays, and handles grow by no more than the platform's own per graph.
pids=
for i in $(seq 20); do
  leave_early "$(url_of "$long" lpcm44)" &
  pids="$pids $!"
done
for p in $pids; do wait "$p"; done
handle_limit=$((before_handles + 20 * per_graph + 10))
if settle "$base_threads" "$handle_limit"; then
  echo "after 20 clients left mid-stream: $(figures) (threads at most $base_threads, handles at most $handle_limit)"
else
  fail "after 20 clients left mid-stream: $(figures), wanted threads at most $base_threads, handles at most $handle_limit"
fi
full=$(size_of "$s/w1")
cut=$(tr -d '\r' <"$s/server.err" | awk -v full="$full" '/"GET \/media\/lpcm44\/sub%20folder\/long%2040s.m4a" 200 / && $NF < full { n++ } END { print n + 0 }')
# The warm-up's cut stream and the slow client count as well.
[ "$cut" -ge 22 ] || fail "the server saw $cut streams cut short, expected at least 22"
echo "streams cut short by their clients: $cut"

# 16 clients at once, as a media server sees them: six take an item whole,
# two ask HEAD, eight walk away at a random byte of their stream. Nobody
# orders their graph builds and teardowns but the product itself.
seed=${TRN_LOAD_SEED:-$$}
RANDOM=$seed
echo "16 mixed clients, seed $seed (TRN_LOAD_SEED repeats a run)"
mixed_round
mixed_wrong >"$s/wrong"
while read -r line; do fail "$line"; done <"$s/wrong"
handle_limit=$((handle_limit + 16 * per_graph))
settle "$base_threads" "$handle_limit" || fail "after the 16 mixed clients: $(figures), wanted threads at most $base_threads, handles at most $handle_limit"
echo "after the 16 mixed clients: $(figures)"

# Malformed and unservable requests: their status, and the server goes on.
expect() { # label status curl-arguments...
  label=$1 want=$2
  shift 2
  got=$(curl -s --noproxy '*' -o "$s/bad" -D "$s/bad.h" -w '%{http_code}' "$@") || true
  [ "$got" = "$want" ] || fail "$label: answered $got, expected $want ($(head -c 200 "$s/bad"))"
}
mp4url=$(url_of tone48.mp4 mp4)
size=$(size_of "$media/tone48.mp4")
expect "bad request line" 400 -X 'GET BAD' "$mp4url"
expect "oversized headers" 400 -H "X-Big: $(head -c 20000 /dev/zero | tr '\0' a)" "$mp4url"
expect "no Host" 400 -H 'Host:' "$mp4url"
expect "malformed range" 400 -H 'Range: bytes=abc' "$mp4url"
expect "reversed range" 400 -r 500-100 "$mp4url"
expect "range past the end" 416 -r "$size-" "$mp4url"
grep -q "^Content-Range: bytes \*/$size$" <<<"$(tr -d '\r' <"$s/bad.h")" || fail "416 without Content-Range bytes */$size"
expect "range beyond 64 bits" 416 -H 'Range: bytes=99999999999999999999999-' "$mp4url"
expect "malformed time seek" 400 -H 'TimeSeekRange.dlna.org: npt=abc-' "$(url_of "$long" lpcm44)"
expect "time seek past the end" 416 -H 'TimeSeekRange.dlna.org: npt=41-' "$(url_of "$long" lpcm44)"
expect "huge time seek" 416 -H 'TimeSeekRange.dlna.org: npt=99999999999999999999999-' "$(url_of "$long" lpcm44)"
expect "byte range on LPCM past the end" 416 -r 99999999- "$(url_of "$long" lpcm44)"
expect "time seek on mp4" 406 -H 'TimeSeekRange.dlna.org: npt=1-' "$mp4url"
expect "unknown item" 404 "$base/media/mp4/missing.mp4"
expect "refused file" 404 "$base/media/mp4/refused96.mp4"
expect "format not offered" 404 "$(url_of "chord 44k.m4a" lpcm48)"
expect "unknown format" 404 "$(url_of "chord 44k.m4a" flac)"
expect "outside the folder" 404 --path-as-is "$base/media/mp4/../../../etc/passwd"
expect "unknown page" 404 "$base/nothing"
expect "POST" 405 -X POST "$mp4url"
expect "bad escape" 400 "$base/media/mp4/%zz.mp4"

# Still serving, and nothing left behind by the refusals.
fetch "$s/after" "$(url_of "chord 44k.m4a" lpcm44)"
reference "$s/after.ref" "chord 44k.m4a" lpcm44
[ "$code" = 200 ] && cmp -s "$s/after" "$s/after.ref" || fail "after the malformed requests: $code"
# One more graph since the 20 left.
settle "$base_threads" $((handle_limit + per_graph)) || fail "after the malformed requests: $(figures)"
echo "at the end: $(figures) (baseline after warm-up: threads $base_threads, handles $base_handles)"
stop_server
finish
