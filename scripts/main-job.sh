#!/bin/sh
# The main job: what a media server does with the bundled samples, through
# trnhost and the registered server. It scans the samples as a server
# building its library does, then streams the bundled .m4a to LPCM (as a WAV
# file) and unchanged, and says where the outputs are and how long they play.
# Runs against the tree scripts/trnhost picks (TRN_TREE=DIR for another);
# the outputs go to build/main-job (TRN_BUILD_ROOT moves it with the trees).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
out=$build/main-job
mkdir -p "$out"
trnhost=$root/scripts/trnhost
sample=$root/samples/chord-44100-stereo.m4a
wav=$out/chord-44100-stereo.wav
copy=$out/chord-44100-stereo.m4a

echo "== trnhost scan samples/ (the bundled sample)"
"$trnhost" scan "$root/samples"
echo "== trnhost scan testdata/ (the test samples: rates, channels, brands, refusals)"
"$trnhost" scan "$root/testdata"
echo "== trnhost formats and props of the bundled sample"
"$trnhost" formats "$sample"
"$trnhost" props "$sample" lpcm44
"$trnhost" props "$sample" mp4
echo "== trnhost stream to LPCM, as a WAV file"
"$trnhost" stream "$sample" lpcm44 --wav -o "$wav" | tee "$out/wav.txt"
echo "== trnhost stream unchanged (pass-through)"
"$trnhost" stream "$sample" mp4 -o "$copy" | tee "$out/copy.txt"
cmp -s "$sample" "$copy" || { echo "main job: the pass-through copy differs from the sample" >&2; exit 1; }

plays() { sed -n 's/.*plays \([0-9:.]*\).*/\1/p' "$1"; }
echo "== outputs"
echo "  $wav"
printf '    LPCM 44100 Hz, 2 channels, 16 bit as WAV; plays %s' "$(plays "$out/wav.txt")"
if command -v soxi >/dev/null 2>&1; then printf ' (sox reads %s s)' "$(soxi -D "$wav")"; fi
echo
echo "  $copy"
echo "    the sample unchanged (audio/mp4, byte-identical); plays $(plays "$out/copy.txt")"
