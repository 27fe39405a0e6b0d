#!/bin/bash
# stream: the bytes a server sends. Pass-through is the file itself (also
# from a byte offset); LPCM is big-endian, as long as the audio, and a time
# seek gives the tail of the full stream; --wav is a WAV file that sox (or
# ffprobe) reads back with the right rate, channels and duration.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
register_server
s=$scratch

# Pass-through: mp4 and 3gpp, several block sizes, from a byte offset.
for c in "aac-48000-mp42.mp4 mp4 65536" "aac-16000-mono.3gp 3gpp 1000" "aac-44100-stereo.m4a x 0"; do
  set -- $c
  [ "$2" = x ] && continue
  th stream "$(win "$data/$1")" "$2" --block "$3" -o "$(win "$s/pass.bin")"
  [ "$rc" = 0 ] || fail "stream $1 $2 exited with $rc: $(cat "$s/err")"
  cmp -s "$data/$1" "$s/pass.bin" || fail "stream $1 $2: not the file's bytes"
  th stream "$(win "$data/$1")" "$2" --start-byte 1000 -o "$(win "$s/pass.bin")"
  [ "$rc" = 0 ] || fail "stream $1 $2 --start-byte 1000 exited with $rc: $(cat "$s/err")"
  tail -c +1001 "$data/$1" | cmp -s - "$s/pass.bin" || fail "stream $1 $2 --start-byte 1000: not the file's tail"
done
# To standard output, the same bytes.
th stream "$(win "$data/aac-48000-mp42.mp4")" mp4 -o -
[ "$rc" = 0 ] || fail "stream -o - exited with $rc: $(cat "$s/err")"
cmp -s "$data/aac-48000-mp42.mp4" "$s/out" || fail "stream -o -: not the file's bytes"

# Mean step between neighbouring left samples read in one byte order: a
# tone is smooth only in its own.
mean_step() { # file offset endianness(be|le)
  od -A n -v -t u1 -j "$2" -N 40000 "$1" | tr -s ' ' '\n' | awk -v be="$3" 'NF {
      b[n++] = $1 } END { for (i = 4; i + 1 < n; i += 4) {
        s = be == "be" ? b[i] * 256 + b[i + 1] : b[i + 1] * 256 + b[i]; if (s >= 32768) s -= 65536
        p = be == "be" ? b[i - 4] * 256 + b[i - 3] : b[i - 3] * 256 + b[i - 4]; if (p >= 32768) p -= 65536
        d = s - p; sum += d < 0 ? -d : d; k++ }
      printf "%d\n", k ? sum / k : 0 }'
}
# LPCM length: the track's duration at the output rate, within one frame
# above and two below (a decoder may drop the encoder's priming frame, which
# the record counts).
for c in "aac-48000-mp42.mp4 lpcm48 48000" "aac-22050-mono.mp4 lpcm44 44100" "aac-16000-mono.3gp lpcm44 44100" \
         "aac-22050-mono.m4b lpcm44 44100" "aac-44100-stereo.m4a lpcm44 44100" "aac-22050-heaac.mp4 lpcm44 44100"; do
  set -- $c
  set -- "$@" $(record "$1")  # rate channels timescale ticks seconds
  th stream "$(win "$data/$1")" "$2" -o "$(win "$s/pcm.l16")"
  [ "$rc" = 0 ] || { fail "stream $1 $2 exited with $rc: $(cat "$s/err")"; continue; }
  got=$(size_of "$s/pcm.l16")
  # One frame of the source (1024 samples, 2048 with SBR) at the output rate.
  ok=$(awk -v got="$got" -v ticks="$7" -v ts="$6" -v out="$3" -v src="$4" 'BEGIN {
         want = ticks / ts * out * 4; frame = 2048 * out / src * 4
         print (got % 4 == 0 && got > want - 2 * frame && got < want + frame) ? "yes" : "no " want }')
  [ "$ok" = yes ] || fail "stream $1 $2: $got bytes, expected ${ok#no }"
  be=$(mean_step "$s/pcm.l16" 40000 be)
  le=$(mean_step "$s/pcm.l16" 40000 le)
  [ "$((be * 4))" -lt "$le" ] || fail "stream $1 $2: not big-endian (step $be as BE, $le as LE)"
done

# A time seek gives the tail of the full stream, starting at the frame that
# holds the position (or at the position itself). A real decoder restarted
# there rounds a little differently, so the samples must agree within a few
# steps of the last bit; one sample of misalignment would differ by hundreds.
file=$(win "$data/aac-48000-mp42.mp4")
th stream "$file" lpcm48 -o "$(win "$s/full.l16")"
[ "$rc" = 0 ] || fail "stream lpcm48 exited with $rc: $(cat "$s/err")"
th stream "$file" lpcm48 --start-ms 500 -o "$(win "$s/tail.l16")"
[ "$rc" = 0 ] || fail "stream --start-ms 500 exited with $rc: $(cat "$s/err")"
full=$(size_of "$s/full.l16")
part=$(size_of "$s/tail.l16")
offset=$((full - part))
nominal=$((500 * 48 * 4))
[ "$offset" -le "$nominal" ] && [ $((offset + 4096)) -gt "$nominal" ] ||
  fail "--start-ms 500: stream starts $offset bytes in, the position is at $nominal"
od -A n -v -t d2 --endian=big -w2 "$s/tail.l16" >"$s/tail.txt"
od -A n -v -t d2 --endian=big -w2 -j "$offset" "$s/full.l16" >"$s/full.txt"
worst=$(paste "$s/tail.txt" "$s/full.txt" | awk '{ d = $1 - $2; if (d < 0) d = -d; if (d > m) m = d } END { print m + 0 }')
[ "$worst" -le 32 ] || fail "--start-ms 500: not the tail of the full stream (samples differ by up to $worst)"
grep -q 'from 500 ms' "$s/out" || fail "--start-ms: summary $(cat "$s/out")"

# --wav: the same samples little-endian behind a header the tools read back.
for c in "aac-48000-mp42.mp4 lpcm48 48000" "aac-22050-mono-long.m4a lpcm44 44100"; do
  set -- $c
  th stream "$(win "$data/$1")" "$2" -o "$(win "$s/raw.l16")"
  [ "$rc" = 0 ] || { fail "stream $1 $2 exited with $rc"; continue; }
  th stream "$(win "$data/$1")" "$2" --wav -o "$(win "$s/out.wav")"
  [ "$rc" = 0 ] || { fail "stream --wav $1 exited with $rc"; continue; }
  tail -c +45 "$s/out.wav" | dd conv=swab status=none | cmp -s - "$s/raw.l16" ||
    fail "--wav $1: the data is not the LPCM stream byte-swapped"
  [ "$(size_of "$s/out.wav")" = $(($(size_of "$s/raw.l16") + 44)) ] || fail "--wav $1: not a 44-byte header"
  want_seconds=$(awk -v b="$(size_of "$s/raw.l16")" -v r="$3" 'BEGIN { printf "%.3f", b / 4 / r }')
  if command -v soxi >/dev/null 2>&1; then
    rate=$(soxi -r "$s/out.wav") && channels=$(soxi -c "$s/out.wav") && seconds=$(soxi -D "$s/out.wav") ||
      { fail "--wav $1: soxi cannot read it"; continue; }
    got="$rate $channels $seconds"
  elif command -v ffprobe >/dev/null 2>&1; then
    got=$(ffprobe -v error -show_entries stream=sample_rate,channels,duration -of csv=p=0 "$s/out.wav" |
          awk -F, '{print $1, $2, $3}') || { fail "--wav $1: ffprobe cannot read it"; continue; }
  else
    fail "neither sox nor ffprobe is installed (scripts/setup.sh installs sox)"
    continue
  fi
  echo "$got" | awk -v r="$3" -v d="$want_seconds" -v rec="$(record "$1")" '{
      split(rec, f, " "); track = f[4] / f[3]
      ok = $1 == r && $2 == 2 && ($3 - d < 0.002 && d - $3 < 0.002) && ($3 - track < 0.1 && track - $3 < 0.1)
      exit ok ? 0 : 1 }' || fail "--wav $1: read back as '$got', expected $3 Hz, 2 channels, ${want_seconds} s"
done
# WAV to a pipe: the header claims the largest size, the samples follow.
th stream "$(win "$data/aac-48000-mp42.mp4")" lpcm48 --wav -o -
[ "$rc" = 0 ] || fail "stream --wav -o - exited with $rc: $(cat "$s/err")"
[ "$(head -c 4 "$s/out")" = RIFF ] || fail "--wav -o -: no RIFF header"
[ "$(size_of "$s/out")" = $((full + 44)) ] || fail "--wav -o -: $(size_of "$s/out") bytes"

# No progress line when standard error is not a terminal; one on a terminal.
th stream "$(win "$data/aac-22050-mono-long.m4a")" lpcm44 -o "$(win "$s/long.l16")"
[ "$rc" = 0 ] || fail "stream of the long sample exited with $rc: $(cat "$s/err")"
[ ! -s "$s/err" ] || fail "progress or other text on a non-terminal: $(cat "$s/err")"
if command -v script >/dev/null 2>&1; then
  # on_tty [OPTION]: trnhost streams the long sample with a terminal as its
  # standard error; what the terminal showed lands in $s/tty.
  on_tty() {
    rc=0
    script -qec "\"$TRN_WINE\" \"$exe\" stream \"$(win "$data/aac-22050-mono-long.m4a")\" lpcm44 $* -o \"$(win "$s/long.l16")\"" \
      /dev/null </dev/null >"$s/tty" 2>&1 || rc=$?
    trn_wine_faults "$s/tty"
  }
  on_tty
  [ "$rc" = 0 ] || fail "stream on a terminal exited with $rc: $(cat -v "$s/tty")"
  grep -aq 'bytes  00:00:40\.[0-9]* / 00:00:40\.000' "$s/tty" || fail "no progress line on a terminal: $(cat -v "$s/tty")"
  on_tty --quiet
  [ "$rc" = 0 ] || fail "stream --quiet on a terminal exited with $rc: $(cat -v "$s/tty")"
  if grep -aq 'bytes  00:00:' "$s/tty"; then fail "a progress line with --quiet: $(cat -v "$s/tty")"; fi
fi
finish
