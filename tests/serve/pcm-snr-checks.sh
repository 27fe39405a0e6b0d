#!/bin/bash
# The players test's PCM comparison: it finds a copy at its offset, scores a
# known gain error as such, sees a misplaced start, and refuses malformed or
# short input with a message rather than a crash. Usage: pcm-snr-checks.sh PCM_SNR
set -eu -o pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
command -v ffmpeg >/dev/null 2>&1 || { echo "FAIL: ffmpeg is not installed (scripts/setup.sh installs it)"; exit 1; }

tones() { # OUT FORMAT [filter]: 4 s of changing tones at 44.1 kHz
  ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc=exprs='0.3*sin(2*PI*t*(300+40*floor(t/0.3)))|0.3*sin(2*PI*t*(500-30*floor(t/0.4)))':s=44100:d=4" \
    ${3:+-af "$3"} -f "$2" -ac 2 "$1"
}
# expect NAME PATTERN REF GOT [options]: the tool succeeds and prints PATTERN.
expect() {
  local name=$1 pattern=$2 out
  shift 2
  out=$("$tool" --rate 44100 "$@" 2>&1) || { fail "$name: exit $?: $out"; return; }
  [[ $out =~ $pattern ]] || fail "$name: $out"
}
# refused NAME MESSAGE GOT: the tool exits 1 with MESSAGE and no sanitizer report.
refused() {
  local code=0 out
  out=$("$tool" --rate 44100 "s16be:$work/ref" "$3" 2>&1) || code=$?
  [ "$code" = 1 ] && [[ $out == *"$2"* ]] && [[ $out != *Sanitizer* && $out != *"runtime error"* ]] ||
    fail "$1: exit $code: $out"
}

tones "$work/ref" s16be
tail -c +1201 "$work/ref" >"$work/late"
expect "a copy 300 frames on" '^snr=999\.0 shift=300 frames=88200$' "s16be:$work/ref" "s16be:$work/late"
head -c 1200 /dev/zero | cat - "$work/ref" >"$work/early"
expect "a copy 300 frames back" '^snr=999\.0 shift=-300 frames=88200$' "s16be:$work/ref" "s16be:$work/early"
tones "$work/ref.wav" wav
expect "WAV, little-endian" '^snr=999\.0 shift=0 ' "s16be:$work/ref" "wav:$work/ref.wav"
tones "$work/le" s16le
expect "headerless little-endian" '^snr=999\.0 shift=0 ' "s16be:$work/ref" "s16le:$work/le"
# Half the amplitude: 20 log10(2) = 6.0 dB, whatever the alignment search.
tones "$work/half.wav" wav volume=0.5
expect "half amplitude" '^snr=6\.0 shift=0 ' "s16be:$work/ref" "wav:$work/half.wav"
# 1500 frames late: outside the search, far below any pass mark.
tail -c +6001 "$work/ref" >"$work/far"
out=$("$tool" --rate 44100 "s16be:$work/ref" "s16be:$work/far")
awk -v r="$out" 'BEGIN { split(r, f, /[= ]/); exit !(f[2] < 10) }' || fail "1500 frames late scores $out"

code=0; out=$("$tool" --rate 48000 "s16be:$work/ref" "wav:$work/ref.wav" 2>&1) || code=$?
[ "$code" = 1 ] && [[ $out == *"is at 44100 Hz"* ]] || fail "a WAV at another rate: exit $code: $out"
head -c 100000 "$work/ref" >"$work/short"
refused "short" "too short" "s16be:$work/short"
printf 'RIFF\377\377\377\377WAVEfmt \020\000\000\000' >"$work/cut.wav"
refused "fmt chunk cut short" "short fmt chunk" "wav:$work/cut.wav"
printf 'RIFF\000\000\000\000WAVEdata\010\000\000\000\000\000\000\000\000\000\000\000' >"$work/nofmt.wav"
refused "data before fmt" "data before fmt" "wav:$work/nofmt.wav"
printf 'RIFF\000\000\000\000WAVEjunk\003\000\000\000abc' >"$work/odd.wav"
refused "odd chunk at the end" "no data chunk" "wav:$work/odd.wav"
cat <(head -c 34 "$work/ref.wav") <(printf '\010\000') <(tail -c +37 "$work/ref.wav") >"$work/pcm8.wav"
refused "8-bit" "not 16-bit PCM" "wav:$work/pcm8.wav"
refused "not WAV" "not a RIFF WAVE file" "wav:$work/ref"
refused "no file" "cannot be read" "wav:$work/missing"
code=0; "$tool" --rate 44100 "s16be:$work/ref" >/dev/null 2>&1 || code=$?
[ "$code" = 2 ] || fail "one file: exit $code"

if [ "$failures" != 0 ]; then echo "$failures failed"; exit 1; fi
echo "pcm_snr checks: all passed"
