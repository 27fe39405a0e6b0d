#!/bin/bash
# serve: what renderers fetch. The indexes list every offered format of each
# item; curl and ffmpeg get exactly the bytes trnhost stream writes, whole,
# after a DLNA time seek and in byte ranges, with the DLNA and HTTP headers
# that say how; HEAD and HTTP/1.0 are answered.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
need ffmpeg
register_server
make_media
start_server
s=$scratch

items="chord 44k.m4a|tone48.mp4|mono16.3gp|book#1.m4b|heaac.mp4|sub folder/rate32.mp4|sub folder/stereo44.mp4|sub folder/long 40s.m4a"

fetch "$s/index.html" "$base/"
[ "$code" = 200 ] || fail "GET / answered $code"
fetch "$s/index.json" "$base/index.json"
[ "$code" = 200 ] || fail "GET /index.json answered $code"
grep -q '"refused96.mp4"\|notes.txt' "$s/index.json" && fail "refused files are listed"

IFS='|'
for item in $items; do
  unset IFS
  th formats --json "$(win "$media/$item")"
  [ "$rc" = 0 ] || fail "trnhost formats $item exited with $rc: $(cat "$s/err")"
  offered=$({ grep -o '"name":"[a-z0-9]*"' "$s/out" || true; } | sed 's/"name":"\(.*\)"/\1/')
  [ -n "$offered" ] || fail "trnhost formats $item offers nothing"
  for f in $offered; do
    path=$(url_of "$item" "$f" | sed "s|^$base||")
    grep -Fq "href=\"$path\"" "$s/index.html" || fail "the HTML index has no link $path"
    grep -Fq "\"url\":\"$path\"" "$s/index.json" || fail "the JSON index has no url $path"
    echo "$item|$f" >>"$s/pairs"
  done
  IFS='|'
done
unset IFS
links=$({ grep -o 'href="/media/' "$s/index.html" || true; } | wc -l)
[ "$links" = "$(wc -l <"$s/pairs")" ] || fail "the HTML index has $links links, $(wc -l <"$s/pairs") offered formats"

# Every item in every format: curl's bytes are trnhost stream's.
lpcm_features='DLNA.ORG_PN=LPCM;DLNA.ORG_OP=11;DLNA.ORG_CI=1;DLNA.ORG_FLAGS=01700000000000000000000000000000'
n=0
while IFS='|' read -r item f; do
  n=$((n + 1))
  reference "$s/ref$n" "$item" "$f"
  fetch "$s/got$n" "$(url_of "$item" "$f")"
  [ "$code" = 200 ] || { fail "GET $item $f answered $code"; continue; }
  cmp -s "$s/ref$n" "$s/got$n" || fail "GET $item $f: $(size_of "$s/got$n") bytes, not the $(size_of "$s/ref$n") bytes of trnhost stream"
  type=$(header "$s/got$n.h" content-type)
  features=$(header "$s/got$n.h" contentFeatures.dlna.org)
  case $f in
    lpcm44|lpcm48)
      rate=44100; [ "$f" = lpcm48 ] && rate=48000
      [ "$type" = "audio/L16;rate=$rate;channels=2" ] || fail "$item $f: Content-Type $type"
      [ -z "$(header "$s/got$n.h" transfer-encoding)" ] || fail "$item $f: chunks beside a length"
      [ "$(header "$s/got$n.h" content-length)" = "$(size_of "$s/got$n")" ] || fail "$item $f: Content-Length $(header "$s/got$n.h" content-length) for $(size_of "$s/got$n") bytes"
      [ "$features" = "$lpcm_features" ] || fail "$item $f: contentFeatures $features"
      [ "$(header "$s/got$n.h" accept-ranges)" = bytes ] || fail "$item $f: Accept-Ranges"
      # ffmpeg reading raw big-endian PCM from the URL gets the same samples.
      rm -f "$s/ff$n"
      ffmpeg -nostdin -v error -f s16be -ar $rate -ac 2 -i "$(url_of "$item" "$f")" -c copy -f s16be "$s/ff$n" ||
        fail "ffmpeg could not read $item $f"
      cmp -s "$s/ref$n" "$s/ff$n" || fail "ffmpeg on $item $f: $(size_of "$s/ff$n" 2>/dev/null) bytes, not trnhost stream's $(size_of "$s/ref$n")"
      ;;
    *)
      want=audio/mp4; [ "$f" = 3gpp ] && want=audio/3gpp
      [ "$type" = "$want" ] || fail "$item $f: Content-Type $type"
      [ "$(header "$s/got$n.h" content-length)" = "$(size_of "$media/$item")" ] || fail "$item $f: Content-Length"
      [ "$(header "$s/got$n.h" accept-ranges)" = bytes ] || fail "$item $f: Accept-Ranges"
      case $features in *DLNA.ORG_OP=01*) ;; *) fail "$item $f: contentFeatures $features" ;; esac
      ;;
  esac
done <"$s/pairs"
echo "fetched $n streams with curl"

# A time seek: the full stream from the byte of that time (this item is
# resampled from 22.05 kHz, so the resampler must have settled), answered with
# the range, its bytes and the length; by curl and by ffmpeg.
long="sub folder/long 40s.m4a"
full="$s/ref$(grep -n "^$long|lpcm44" "$s/pairs" | cut -d: -f1)"
total=$(size_of "$full")
x=$((12500 * 441 / 10 * 4))
tail -c +$((x + 1)) "$full" >"$s/seek.ref"
fetch "$s/seek" "$(url_of "$long" lpcm44)" -H 'TimeSeekRange.dlna.org: npt=12.5-'
[ "$code" = 200 ] || fail "time seek answered $code"
answer=$(header "$s/seek.h" TimeSeekRange.dlna.org)
[ "$answer" = "npt=12.500-40.000/40.000 bytes=$x-$((total - 1))/$total" ] || fail "time seek answered range $answer"
[ "$(header "$s/seek.h" content-length)" = $((total - x)) ] || fail "time seek: Content-Length $(header "$s/seek.h" content-length)"
[ "$(header "$s/seek.h" vary)" = TimeSeekRange.dlna.org ] || fail "time seek: Vary $(header "$s/seek.h" vary)"
cmp -s "$s/seek.ref" "$s/seek" || fail "time seek: $(size_of "$s/seek") bytes, not the full stream's from byte $x"
# (ffmpeg ends the header line itself.)
ffmpeg -nostdin -v error -headers 'TimeSeekRange.dlna.org: npt=00:00:12.500-' -f s16be -ar 44100 -ac 2 -i "$(url_of "$long" lpcm44)" -c copy -f s16be "$s/seek.ff" || fail "ffmpeg time seek"
cmp -s "$s/seek.ref" "$s/seek.ff" || fail "ffmpeg time seek: not the full stream's bytes from $x"
# With an end: as many whole frames as the span holds, from the same start.
fetch "$s/span" "$(url_of "$long" lpcm44)" -H 'TimeSeekRange.dlna.org: npt=12.5-14.5'
[ "$(size_of "$s/span")" = $((2 * 44100 * 4)) ] || fail "npt=12.5-14.5: $(size_of "$s/span") bytes"
head -c $((2 * 44100 * 4)) "$s/seek.ref" | cmp -s - "$s/span" || fail "npt=12.5-14.5: not the start of the seek"
[ "$(header "$s/span.h" TimeSeekRange.dlna.org)" = "npt=12.500-14.500/40.000 bytes=$x-$((x + 2 * 44100 * 4 - 1))/$total" ] || fail "npt=12.5-14.5 answered $(header "$s/span.h" TimeSeekRange.dlna.org)"
# An end past the duration is answered with the duration, and the stream runs to its end.
fetch "$s/over" "$(url_of "$long" lpcm44)" -H 'TimeSeekRange.dlna.org: npt=12.5-50'
[ "$code" = 200 ] && cmp -s "$s/seek.ref" "$s/over" || fail "npt=12.5-50: $code, $(size_of "$s/over") bytes"
[ "$(header "$s/over.h" TimeSeekRange.dlna.org)" = "npt=12.500-40.000/40.000 bytes=$x-$((total - 1))/$total" ] || fail "npt=12.5-50 answered $(header "$s/over.h" TimeSeekRange.dlna.org)"

# Byte ranges of the unchanged file: 206 with Content-Range, the tail that
# trnhost stream --start-byte writes, a closed range and a suffix.
item=tone48.mp4
size=$(size_of "$media/$item")
reference "$s/tail.ref" "$item" mp4 --start-byte 1000
fetch "$s/tail" "$(url_of "$item" mp4)" -r 1000-
[ "$code" = 206 ] || fail "Range bytes=1000- answered $code"
cmp -s "$s/tail.ref" "$s/tail" || fail "Range bytes=1000-: not trnhost stream --start-byte 1000's bytes"
[ "$(header "$s/tail.h" content-range)" = "bytes 1000-$((size - 1))/$size" ] || fail "Content-Range $(header "$s/tail.h" content-range)"
[ "$(header "$s/tail.h" content-length)" = $((size - 1000)) ] || fail "206 Content-Length"
fetch "$s/mid" "$(url_of "$item" mp4)" -r 100-199
[ "$code" = 206 ] && head -c 200 "$media/$item" | tail -c 100 | cmp -s - "$s/mid" || fail "Range bytes=100-199"
fetch "$s/suffix" "$(url_of "$item" mp4)" -r -300
[ "$code" = 206 ] && tail -c 300 "$media/$item" | cmp -s - "$s/suffix" || fail "Range bytes=-300"
[ "$(header "$s/suffix.h" content-range)" = "bytes $((size - 300))-$((size - 1))/$size" ] || fail "suffix Content-Range"
# ffmpeg's own "Range: bytes=0-" on LPCM is the whole stream, not a 206.
fetch "$s/zero" "$(url_of "$long" lpcm44)" -r 0-
[ "$code" = 200 ] && cmp -s "$s/zero" "$full" || fail "LPCM with bytes=0-: $code"
# Byte ranges on LPCM: the full stream's bytes exactly, even from inside a
# sample frame; a closed range, a suffix, and past the end.
fetch "$s/lr" "$(url_of "$long" lpcm44)" -r 1000003-
[ "$code" = 206 ] && tail -c +1000004 "$full" | cmp -s - "$s/lr" || fail "LPCM bytes=1000003-: $code, $(size_of "$s/lr") bytes"
[ "$(header "$s/lr.h" content-range)" = "bytes 1000003-$((total - 1))/$total" ] || fail "LPCM Content-Range $(header "$s/lr.h" content-range)"
fetch "$s/lm" "$(url_of "$long" lpcm44)" -r 2000001-2000100
[ "$code" = 206 ] && head -c 2000101 "$full" | tail -c 100 | cmp -s - "$s/lm" || fail "LPCM bytes=2000001-2000100: $code"
fetch "$s/ls" "$(url_of "$long" lpcm44)" -r -5
[ "$code" = 206 ] && tail -c 5 "$full" | cmp -s - "$s/ls" || fail "LPCM bytes=-5: $code"
fetch "$s/lp" "$(url_of "$long" lpcm44)" -r "$total-"
[ "$code" = 416 ] && [ "$(header "$s/lp.h" content-range)" = "bytes */$total" ] || fail "LPCM past the end: $code"

# HEAD: the headers of a GET, no body.
head_of() { # URL [curl options]: "status body-bytes", headers in $s/head.h
  curl -s --noproxy '*' -I -D "$s/head.raw" -o /dev/null -w '%{http_code} %{size_download}' "$@"
  tr -d '\r' <"$s/head.raw" >"$s/head.h"
}
[ "$(head_of "$(url_of "$item" mp4)")" = "200 0" ] || fail "HEAD mp4"
[ "$(header "$s/head.h" content-length)" = "$size" ] || fail "HEAD mp4 Content-Length"
# On LPCM, with and without a position, exactly the GET's headers.
for ask in "X-Plain: 1" "TimeSeekRange.dlna.org: npt=3-" "Range: bytes=1001-"; do
  got=$(head_of "$(url_of "$long" lpcm44)" -H "$ask")
  case $got in "200 0" | "206 0") ;; *) fail "HEAD with '$ask': $got" ;; esac
  fetch "$s/get" "$(url_of "$long" lpcm44)" -H "$ask"
  grep -v '^$' "$s/head.h" >"$s/head.a"
  grep -v '^$' "$s/get.h" >"$s/get.a"
  cmp -s "$s/head.a" "$s/get.a" || fail "HEAD with '$ask': not the GET's headers: $(diff "$s/head.a" "$s/get.a" | tr '\n' ' ')"
done
[ "$(head_of "$(url_of "$item" lpcm48)")" = "200 0" ] || fail "HEAD lpcm48"
[ "$(header "$s/head.h" content-type)" = "audio/L16;rate=48000;channels=2" ] || fail "HEAD lpcm48 Content-Type"
[ "$(head_of "$base/")" = "200 0" ] || fail "HEAD /"
[ "$(header "$s/head.h" content-length)" = "$(size_of "$s/index.html")" ] || fail "HEAD / Content-Length"

# HTTP/1.0 gets the same bytes and the same length, no chunks.
fetch "$s/old" "$(url_of "chord 44k.m4a" lpcm44)" -0
reference "$s/old.ref" "chord 44k.m4a" lpcm44
[ "$code" = 200 ] && cmp -s "$s/old.ref" "$s/old" || fail "HTTP/1.0 LPCM: $code"
[ -z "$(header "$s/old.h" transfer-encoding)" ] || fail "HTTP/1.0 got chunks"
[ "$(header "$s/old.h" content-length)" = "$(size_of "$s/old.ref")" ] || fail "HTTP/1.0 LPCM: Content-Length $(header "$s/old.h" content-length)"
# The DLNA requests a renderer adds: content features asked for, a transfer mode echoed.
fetch "$s/dl" "$(url_of "chord 44k.m4a" lpcm44)" -I -H 'getcontentFeatures.dlna.org: 1' -H 'transferMode.dlna.org: Background'
[ "$(header "$s/dl.h" contentFeatures.dlna.org)" = "$lpcm_features" ] || fail "getcontentFeatures: $(header "$s/dl.h" contentFeatures.dlna.org)"
[ "$(header "$s/dl.h" transferMode.dlna.org)" = Background ] || fail "transferMode not echoed: $(header "$s/dl.h" transferMode.dlna.org)"

# Several requests on one connection (curl reuses it for URLs in one call).
code=$(curl -s --noproxy '*' -o "$s/k1" "$(url_of "$item" mp4)" -o "$s/k2" "$(url_of mono16.3gp 3gpp)" \
         -w '%{http_code} %{num_connects}\n' | tr '\n' ' ') || true
cmp -s "$s/k1" "$media/$item" && cmp -s "$s/k2" "$media/mono16.3gp" || fail "keep-alive: $code"
case $code in "200 1 200 0 ") ;; *) fail "keep-alive: connections $code" ;; esac

# Streams the graph gave a little shorter or longer than stated: at most a
# frame or two each.
curl -s --noproxy '*' -o "$s/status" "$base/status" || true
differences=$(status_field lengthDifferences "$s/status")
frames=$(($(status_field paddedFrames "$s/status") + $(status_field cutFrames "$s/status")))
echo "length differences: $differences streams, $frames frames made up or cut"
[ "$frames" -le $((2 * differences)) ] || fail "$frames frames made up or cut over $differences streams"

stop_server
finish
