#!/bin/bash
# serve to real players: GStreamer's discoverer, ffprobe, mpv and VLC fetch
# LPCM from the server as renderers do, find its format, seekability and
# duration, and play what ffmpeg decodes from the same file after a seek;
# curl's HTTP/1.0, byte ranges and DLNA time seeks are the full stream from
# the byte they name. The items are tones that change every fraction of a
# second, so a seek that lands elsewhere shows.
# Extra argument: the pcm_snr helper.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
snr_tool=$6
need ffmpeg
need ffprobe
need gst-discoverer-1.0
need mpv
need cvlc
s=$scratch
seek=7.3      # where the players start, in seconds
min_snr=40    # dB, at the best alignment within one AAC frame

# A few tones per channel whose pitches change at unrelated intervals. No
# noise substitution: its noise would differ between any two decoders.
make_tones() { # OUT RATE SECONDS
  local left right
  left="0.25*sin(2*PI*t*(220+55*mod(floor(t/0.7)*5\,9)))+0.15*sin(2*PI*t*(330+41*mod(floor(t/1.1)*3\,7)))*(0.6+0.4*sin(2*PI*1.3*t))"
  right="0.25*sin(2*PI*t*(260+47*mod(floor(t/0.9)*4\,11)))+0.12*sin(2*PI*t*(523+30*mod(floor(t/0.6)\,5)))"
  ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=exprs='$left|$right':s=$2:d=$3" \
    -c:a aac -aac_pns 0 -b:a 160k -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$1"
}
mkdir -p "$media"
make_tones "$media/tones 44k.m4a" 44100 24
make_tones "$media/tones48.m4a" 48000 21.5

# ffmpeg's decode from a time, positioned after decoding (as a player that
# decodes continuously has it).
ffmpeg_pcm() { # OUT FILE RATE [SECONDS]
  ffmpeg -nostdin -v error -y -i "$2" ${4:+-ss "$4"} -f s16be -ar "$3" -ac 2 "$1"
}
# compare WHAT REF GOT RATE: SNR at the best alignment, printed; fails (and
# returns 1) under min_snr.
# compare_at LABEL REF GOT RATE: the same without counting a failure.
compare_at() {
  local result
  result=$("$snr_tool" --rate "$4" --seconds 2 --search 1024 "$2" "$3" 2>&1) || { echo "$1: $result"; return 1; }
  echo "$1: $result"
  awk -v r="$result" -v min=$min_snr 'BEGIN { split(r, f, /[= ]/); exit !(f[2] >= min) }'
}
compare() {
  local result
  if ! result=$("$snr_tool" --rate "$4" --seconds 2 --search 1024 "$2" "$3" 2>&1); then
    fail "$1: $result"
    return 1
  fi
  echo "$1: $result"
  awk -v r="$result" -v min=$min_snr 'BEGIN { split(r, f, /[= ]/); exit !(f[2] >= min) }' && return
  fail "$1: SNR under $min_snr dB ($result)"
  return 1
}
# The answers the server logged since line MARK of its log, on one line. A
# player may have left before the server logs its answer: wait a while for one.
answers_since() {
  local tries=0
  while [ "$(log_mark)" -le "$1" ] && [ "$tries" -lt 100 ]; do
    tries=$((tries + 1))
    sleep 0.1
  done
  tail -n +$(($1 + 1)) "$scratch/server.err" | tr -d '\r' | sed -n 's/^[^"]*"\([A-Z]*\) [^"]*" \(.*\)/\1 \2/p' |
    paste -sd, - | sed 's/,/, /g'
}
log_mark() { wc -l <"$scratch/server.err"; }
# Where a player's output starts, when it is not where it should: searched
# for 1.3 s either side of the seek in ffmpeg's decode.
started_at() { # FILE RATE GOT
  local from result
  from=$(awk -v t=$seek 'BEGIN { print (t > 1.3 ? t - 1.3 : 0) }')
  ffmpeg_pcm "$s/around" "$1" "$2" "$from"
  result=$("$snr_tool" --rate "$2" --seconds 0.3 --search $(awk -v r="$2" 'BEGIN { print int(1.3 * r) }') \
             "s16be:$s/around" "$3" 2>&1) || { echo "unknown ($result)"; return; }
  awk -v r="$result" -v from="$from" -v rate="$2" -v t=$seek -v min=$min_snr 'BEGIN { split(r, f, /[= ]/)
    if (f[2] >= min) printf "%.4f s (%s)\n", from + f[4] / rate, r; else printf "no place within 1.3 s of %s (%s)\n", t, r }'
}
seconds_of() { # H:MM:SS.fraction -> seconds
  awk -F: '{ printf "%.9f\n", $1 * 3600 + $2 * 60 + $3 }' <<<"$1"
}

# The helper sees a misplaced seek: ffmpeg's own decode 50 ms later is far
# below the threshold, and an exact copy is found at its offset.
ffmpeg_pcm "$s/probe.ref" "$media/tones 44k.m4a" 44100 $seek
ffmpeg_pcm "$s/probe.late" "$media/tones 44k.m4a" 44100 7.35
late=$("$snr_tool" --rate 44100 "s16be:$s/probe.ref" "s16be:$s/probe.late")
awk -v r="$late" 'BEGIN { split(r, f, /[= ]/); exit !(f[2] < 10) }' || fail "a 50 ms misplacement scores $late"
tail -c +1201 "$s/probe.ref" >"$s/probe.shifted"
case $("$snr_tool" --rate 44100 "s16be:$s/probe.ref" "s16be:$s/probe.shifted") in
  snr=999.0\ shift=300\ *) ;;
  *) fail "pcm_snr does not find a copy 300 frames on" ;;
esac

register_server
start_server

# VLC refuses to run as root: as an ordinary user, in a folder of its own.
vlc_dir=$(mktemp -d)
trap 'kill_server; rm -rf "$vlc_dir"' EXIT
chmod 777 "$vlc_dir"
as_player() {
  if [ "$(id -u)" = 0 ]; then runuser -u nobody -- env HOME="$vlc_dir" "$@"; else HOME="$vlc_dir" "$@"; fi
}

check_item() { # FILE FORMAT RATE
  local name=$1 format=$2 rate=$3 file=$media/$1 url tag expected got length duration mark
  url=$(url_of "$name" "$format")
  tag="$name $format"

  # The whole stream over HTTP/1.1: the presented duration's bytes (ffmpeg
  # decodes the last frame's padding too), and ffmpeg's samples.
  duration=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 "$file")
  fetch "$s/full" "$url"
  [ "$code" = 200 ] || { fail "$tag: GET answered $code"; return; }
  length=$(size_of "$s/full")
  expected=$(awk -v d="$duration" -v r="$rate" 'BEGIN { printf "%.0f\n", d * r * 4 }')
  echo "$tag: $length bytes, ffprobe's duration $duration s"
  [ "$length" = "$expected" ] || fail "$tag: $length bytes, not the $expected of $duration s"
  ffmpeg_pcm "$s/ff.full" "$file" "$rate"
  compare "$tag: curl from 0" "s16be:$s/ff.full" "s16be:$s/full" "$rate" || true
  got=$(header "$s/full.h" content-length)
  if [ -n "$got" ]; then
    [ "$got" = "$length" ] || fail "$tag: HTTP/1.1 Content-Length $got, body $length"
    [ -z "$(header "$s/full.h" transfer-encoding)" ] || fail "$tag: both Content-Length and chunked"
  fi

  # HTTP/1.0: the same bytes, with their length stated.
  fetch "$s/old" "$url" --http1.0
  cmp -s "$s/full" "$s/old" || fail "$tag: HTTP/1.0 got $(size_of "$s/old") bytes, not HTTP/1.1's"
  got=$(header "$s/old.h" content-length)
  echo "$tag: HTTP/1.0 $code, Content-Length ${got:-none}, body $(size_of "$s/old")"
  [ "$got" = "$(size_of "$s/old")" ] || fail "$tag: HTTP/1.0 Content-Length '${got}', body $(size_of "$s/old")"

  # A byte range from inside a sample frame: the full stream from that byte.
  fetch "$s/range" "$url" -r 1000003-
  echo "$tag: bytes=1000003- answered $code, Content-Range '$(header "$s/range.h" content-range)'"
  if [ "$code" != 206 ]; then
    fail "$tag: bytes=1000003- answered $code"
  else
    [ "$(header "$s/range.h" content-range)" = "bytes 1000003-$((length - 1))/$length" ] ||
      fail "$tag: Content-Range $(header "$s/range.h" content-range)"
    tail -c +1000004 "$s/full" | cmp -s - "$s/range" || fail "$tag: bytes=1000003- is not the full stream from there"
  fi

  # A time seek: the full stream from the byte its answer states.
  fetch "$s/npt" "$url" -H 'TimeSeekRange.dlna.org: npt=5-'
  got=$(header "$s/npt.h" TimeSeekRange.dlna.org)
  echo "$tag: npt=5- answered $code, TimeSeekRange '$got', Content-Length '$(header "$s/npt.h" content-length)'"
  expected=$(printf '%.3f' "$duration")
  if [[ $got =~ ^npt=5\.000-([0-9]+\.[0-9]{3})/([0-9]+\.[0-9]{3})\ bytes=([0-9]+)-([0-9]+)/([0-9]+)$ ]]; then
    local x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]} total=${BASH_REMATCH[5]}
    [ "${BASH_REMATCH[1]}" = "$expected" ] && [ "${BASH_REMATCH[2]}" = "$expected" ] ||
      fail "$tag: npt=5- states the end and duration of a $expected s item as ${BASH_REMATCH[1]}/${BASH_REMATCH[2]}"
    [ "$total" = "$length" ] && [ "$y" = $((length - 1)) ] || fail "$tag: npt=5- states bytes=$x-$y/$total of $length"
    [ "$(header "$s/npt.h" content-length)" = $((y - x + 1)) ] || fail "$tag: npt=5- Content-Length"
    tail -c +$((x + 1)) "$s/full" | cmp -s - "$s/npt" || fail "$tag: npt=5- is not the full stream from byte $x"
  else
    fail "$tag: npt=5- answered $code with TimeSeekRange '$got', not npt=5.000-$expected/$expected bytes=x-y/L"
  fi

  # A time seek into the last second (past the last whole second of some
  # items): the rest of the stream.
  local near from
  near=$(awk -v d="$duration" 'BEGIN { printf "%.1f\n", d - 0.3 }')
  from=$(awk -v t="$near" -v r="$rate" 'BEGIN { printf "%.0f\n", t * r * 4 }')
  fetch "$s/end" "$url" -H "TimeSeekRange.dlna.org: npt=$near-"
  echo "$tag: npt=$near- answered $code, $(size_of "$s/end") bytes, TimeSeekRange '$(header "$s/end.h" TimeSeekRange.dlna.org)'"
  [ "$code" = 200 ] && [ "$(size_of "$s/end")" = $((length - from)) ] ||
    fail "$tag: npt=$near- answered $code with $(size_of "$s/end") bytes, not the last $((length - from))"

  # GStreamer's HTTP source: the caps, and seekable. (Debian 12's discoverer
  # stops at the unaligned raw caps and converts no byte length to time: it
  # prints 0 with a length and 99:99:99.999999999 without one. A duration it
  # does print must be the item's.)
  timeout 120 gst-discoverer-1.0 -v -t 60 "$url" >"$s/gst.out" 2>&1 || true
  got=$(sed -n 's/^ *Duration: *\([0-9:.]*\).*/\1/p' "$s/gst.out" | head -n 1) || true
  echo "$tag: gst-discoverer: duration ${got:-none}, $(grep -m 1 'Seekable:' "$s/gst.out" | sed 's/^ *//')"
  grep -q "audio/x-unaligned-raw, format=(string)S16BE, layout=(string)interleaved, channels=(int)2, rate=(int)$rate" \
    "$s/gst.out" || fail "$tag: gst-discoverer's caps: $(grep -m 1 'audio #0' "$s/gst.out")"
  grep -q '^ *Seekable: yes' "$s/gst.out" || fail "$tag: gst-discoverer finds the stream not seekable"
  case $got in
    '' | 0:00:00.000000000 | 99:99:*) ;;
    *)
      awk -v a="$(seconds_of "$got")" -v b="$duration" 'BEGIN { d = a - b; exit !(d <= 0.010 && d >= -0.010) }' ||
        fail "$tag: gst-discoverer's duration $got is not ffprobe's $duration"
      ;;
  esac
  # ffprobe reading the URL as raw PCM: the duration its length gives.
  got=$(timeout 120 ffprobe -v error -f s16be -ar "$rate" -ac 2 -show_entries format=duration -of csv=p=0 "$url") || true
  echo "$tag: ffprobe on the URL: duration $got, on the file $duration"
  awk -v a="$got" -v b="$duration" 'BEGIN { d = a - b; exit !(a ~ /^[0-9.]+$/ && d <= 0.010 && d >= -0.010) }' ||
    fail "$tag: ffprobe on the URL finds the duration '$got', not the file's $duration"

  ffmpeg_pcm "$s/ff.seek" "$file" "$rate" $seek

  # mpv: raw big-endian PCM, started at the seek, written as 16-bit WAV at the rate.
  rm -f "$s/mpv.wav"
  mark=$(log_mark)
  code=0
  timeout 120 mpv --no-config --no-terminal --vo=null --audio-display=no --ao=pcm --ao-pcm-file="$s/mpv.wav" \
    --audio-format=s16 --audio-samplerate="$rate" --audio-channels=stereo --demuxer=rawaudio \
    --demuxer-rawaudio-format=s16be --demuxer-rawaudio-rate="$rate" --demuxer-rawaudio-channels=2 \
    --start=$seek --length=3 --log-file="$s/mpv.log" "$url" >/dev/null 2>&1 || code=$?
  echo "$tag: mpv exited with $code; the server answered: $(answers_since "$mark"); mpv's errors: $(
    { grep '\]\[e\]\[' "$s/mpv.log" || true; } | sed 's/.*\]\[e\]\[[a-z]*\] //' | head -n 3 | paste -sd' ' -)"
  if [ -s "$s/mpv.wav" ]; then
    compare "$tag: mpv --start=$seek" "s16be:$s/ff.seek" "wav:$s/mpv.wav" "$rate" ||
      echo "$tag: mpv's output starts at $(started_at "$file" "$rate" "wav:$s/mpv.wav")"
  else
    fail "$tag: mpv wrote nothing"
  fi

  # VLC: the same, through its file audio output.
  rm -f "$vlc_dir/vlc.wav"
  mark=$(log_mark)
  code=0
  as_player timeout 120 cvlc -I dummy --no-sub-autodetect-file --aout=afile --audiofile-file="$vlc_dir/vlc.wav" \
    --audiofile-format=s16 --audiofile-wav --play-and-exit --start-time=$seek --stop-time=$(awk -v t=$seek 'BEGIN { print t + 3 }') \
    --demux=rawaud --rawaud-fourcc=s16b --rawaud-channels=2 --rawaud-samplerate="$rate" "$url" \
    >"$s/vlc.log" 2>&1 </dev/null || code=$?
  echo "$tag: VLC exited with $code; the server answered: $(answers_since "$mark")"
  if [ -s "$vlc_dir/vlc.wav" ]; then
    cp "$vlc_dir/vlc.wav" "$s/vlc.wav"
    # VLC positions its raw demuxer in 50 ms blocks and now and then plays
    # from the block before the asked time, although it asked for the exact
    # byte: its output is then the right audio from up to 50 ms earlier.
    if ! compare_at "$tag: VLC --start-time=$seek" "s16be:$s/ff.seek" "wav:$s/vlc.wav" "$rate"; then
      at=$(started_at "$file" "$rate" "wav:$s/vlc.wav")
      echo "$tag: VLC's output starts at $at"
      awk -v a="${at%% *}" -v t=$seek 'BEGIN { exit !(a ~ /^[0-9.]+$/ && a >= t - 0.0505 && a <= t) }' ||
        fail "$tag: VLC --start-time=$seek: not the audio from there, nor from up to one block before"
    fi
  else
    fail "$tag: VLC wrote nothing: $(grep -i 'error' "$s/vlc.log" | head -n 3 | paste -sd' ' -)"
  fi
  mkdir -p "$s/$format"
  mv "$s"/{full,old,range,npt,end,gst,ff,mpv,vlc,around}* "$s/$format/" 2>/dev/null || true
}

started=$(date +%s)
check_item "tones 44k.m4a" lpcm44 44100
check_item tones48.m4a lpcm48 48000
echo "players took $(($(date +%s) - started)) s"

stop_server
finish
