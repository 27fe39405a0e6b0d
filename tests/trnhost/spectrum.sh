#!/bin/bash
# spectrum: what stream --wav writes sounds like the source. Beside ffmpeg's
# decode of the same file: the bundled sample sample by sample; HE-AAC, whose
# core alone is decoded and converted by the wave fitter, at the output rate,
# as long as the track, and the same below the core's Nyquist frequency
# (ffmpeg adds SBR above it). Extra argument: the trn_wav_compare program.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
compare=$6
register_server
s=$scratch
samples=$(cd "$data/../samples" && pwd)
command -v ffmpeg >/dev/null 2>&1 || { fail "ffmpeg is not installed (scripts/setup.sh installs it)"; finish; }

# compare REF GOT BELOW_HZ: trn_wav_compare's figures as shell variables;
# false when it cannot read the files. It exits with 1 when their formats
# differ, which the figures show.
compare() {
  local code=0
  "$TRN_WINE" "$compare" "$(win "$1")" "$(win "$2")" "$3" </dev/null 2>"$s/compare.err" | tr -d '\r' >"$s/figures" ||
    code=$?
  trn_wine_faults "$s/compare.err"
  [ "$code" -le 1 ] || { echo "trn_wav_compare exited with $code: $(trn_wine_quiet <"$s/compare.err")"; return 1; }
  set -- $(awk '$1 == "ref" { r = $2 " " $3 " " $4 } $1 == "got" { g = $2 " " $3 " " $4 }
                $1 == "lag" || $1 == "snr" || $1 == "band-snr" || $1 == "level-worst" { v[$1] = $2 }
                $1 == "peak" { p = $2 " " $3 }
                END { print r, g, v["lag"], v["snr"], v["band-snr"], v["level-worst"], p }' "$s/figures")
  ref_rate=${1:-} ref_channels=${2:-} ref_frames=${3:-} rate=${4:-} channels=${5:-} frames=${6:-}
  lag=${7:-} snr=${8:-} band_snr=${9:-}
  shift $(($# < 9 ? $# : 9))
  level_worst=${1:-} ref_peak=${2:-} peak=${3:-}
}
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit (a != "" && a + 0 >= b) ? 0 : 1 }'; }
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit (a != "" && a - b <= d && b - a <= d) ? 0 : 1 }'; }

# The bundled sample: ffmpeg's decode applies the same edit list, so the
# samples line up unshifted and agree to well within the last bit.
file=$samples/chord-44100-stereo.m4a
th stream "$(win "$file")" lpcm44 --wav -o "$(win "$s/chord.wav")"
[ "$rc" = 0 ] || fail "stream chord lpcm44 exited with $rc: $(cat "$s/err")"
ffmpeg -hide_banner -loglevel error -y -i "$file" -f wav -acodec pcm_s16le "$s/chord-ref.wav" </dev/null ||
  { fail "ffmpeg cannot decode $file"; finish; }
compare "$s/chord-ref.wav" "$s/chord.wav" 20000 || { fail "chord: no figures"; finish; }
echo "chord: $(tr '\n' ' ' <"$s/figures")"
[ "$rate $channels" = "44100 2" ] || fail "chord: $rate Hz $channels channels"
[ "$frames" = 264600 ] || fail "chord: $frames frames, not the 6 s of the track"
[ "$lag" = 0 ] || fail "chord: shifted by $lag samples against ffmpeg's decode"
at_least "$snr" 60 || fail "chord: $snr dB SNR against ffmpeg's decode"
near "$level_worst" 0 0.5 || fail "chord: a band's level differs by $level_worst dB"
near "$peak" 440 25 || fail "chord: strongest frequency $peak Hz, not the left channel's A4"

# HE-AAC: the core at 22050 Hz mono (out at 44100) and at 24000 Hz stereo
# (out at 48000). ffmpeg's SBR delays its output by 962 samples.
for c in "aac-22050-heaac.mp4 lpcm44 44100 10000" "aac/heaac-24000-stereo.mp4 lpcm48 48000 11000"; do
  set -- $c
  name=$(basename "$1" .mp4)
  th stream "$(win "$data/$1")" "$2" --wav -o "$(win "$s/$name.wav")"
  [ "$rc" = 0 ] || { fail "stream $1 $2 exited with $rc: $(cat "$s/err")"; continue; }
  ffmpeg -hide_banner -loglevel error -y -i "$data/$1" -ar "$3" -ac 2 -f wav -acodec pcm_s16le "$s/$name-ref.wav" </dev/null ||
    { fail "ffmpeg cannot decode $1"; continue; }
  want=$3 below=$4
  compare "$s/$name-ref.wav" "$s/$name.wav" "$below" || { fail "$name: no figures"; continue; }
  echo "$name: $(tr '\n' ' ' <"$s/figures")"
  [ "$rate $channels" = "$want 2" ] || fail "$name: $rate Hz $channels channels, expected $want Hz 2"
  # 1.5 s of track, within one core frame at the output rate.
  near "$frames" $((want * 3 / 2)) $((1024 * want / (want / 2))) || fail "$name: $frames frames for 1.5 s at $want Hz"
  near "$lag" -962 2 || fail "$name: shifted by $lag samples against ffmpeg's decode"
  at_least "$band_snr" 40 || fail "$name: $band_snr dB below $below Hz against ffmpeg's decode"
  near "$level_worst" 0 1 || fail "$name: a band below $below Hz differs by $level_worst dB"
  # A core decode left at its own rate would put the tone an octave up.
  near "$peak" "$ref_peak" 1 && near "$peak" 440 25 || fail "$name: strongest frequency $peak Hz, ffmpeg's $ref_peak Hz"
done
finish
