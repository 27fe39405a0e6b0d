#!/bin/bash
# formats, props and scan against ffprobe's record of every committed sample:
# which formats a server is offered (from the rate, channels, brands and a
# video track) and what their properties say.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
register_server

# The native entry follows the file's brands: 3GPP first, else MP4.
native_of() {
  brands=$(od -A n -v -t c -j 8 -N 24 "$1" | tr -d ' \n')
  case $brands in *3gp4*|*3gp5*|*3gp6*) echo 3gpp; return ;; esac
  size=$(od -A n -t u1 -j 0 -N 4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
  list=$(od -A n -v -t c -j 8 -N $((size - 8)) "$1" | tr -d ' \n')
  case $list in *mp42*|*avc1*|*mp4m*|*mpa2*) echo mp4 ;; *3gp4*|*3gp5*|*3gp6*) echo 3gpp ;; *) echo none ;; esac
}
has_video() { grep -q vide "$1"; }
# What a server must be offered for a sample, short names in order.
expected_formats() { # file rate channels
  has_video "$data/$1" && return
  lpcm=
  case $2 in 8000|11025|12000|16000|22050|24000|32000|44100|48000)
    if [ "$3" -le 2 ]; then if [ "$2" -gt 44100 ]; then lpcm=lpcm48; else lpcm=lpcm44; fi; fi ;;
  esac
  native=$(native_of "$data/$1")
  # Without supported audio the native entry is all.
  [ -n "$lpcm" ] && printf '%s ' $lpcm
  if [ "$native" != none ]; then printf '%s ' "$native"; fi
}
duration_text() { # ticks timescale -> whole seconds as the server gives them
  awk -v t="$1" -v s="$2" 'BEGIN { d = int(t / s); printf "%02d:%02d:%02d.000", d / 3600, (d % 3600) / 60, d % 60 }'
}
# Properties object of one format in a scan line; then one value of it.
props_of() { printf '%s' "$1" | sed -n "s/.*\"name\":\"$2\"[^{]*\"properties\":{\([^}]*\)}.*/\1/p"; }
prop() { printf '%s' "$1" | tr ',' '\n' | sed -n "s/^\"$2\":\"\(.*\)\"\$/\1/p"; }

th scan --json "$(win "$data")"
[ "$rc" = 0 ] || fail "scan exited with $rc: $(cat "$scratch/err")"
cp "$scratch/out" "$scratch/scan.json"
grep -q 'files/s' "$scratch/err" || fail "scan --json: no summary with files/s on standard error"
records=$(cat "$data/ffprobe.txt" "$data/ffprobe-derived.txt" | wc -l)
[ "$records" -ge 17 ] || fail "only $records records"
cat "$data/ffprobe.txt" "$data/ffprobe-derived.txt" | while read -r name rate channels timescale ticks seconds; do
  line=$(grep -F "\\\\$name\"" "$scratch/scan.json" || true)
  [ -n "$line" ] || { echo "FAIL: $name missing from the scan"; continue; }
  want=$(expected_formats "$name" "$rate" "$channels")
  got=$(printf '%s' "$line" | { grep -o '"name":"[^"]*"' || true; } | sed 's/"name":"\(.*\)"/\1/' | tr '\n' ' ')
  if [ "$want" != "$got" ]; then echo "FAIL: $name: formats '$got', expected '$want'"; continue; fi
  if [ -z "$want" ]; then
    printf '%s' "$line" | grep -q '"status":"refused","reason":"no format offered"' ||
      echo "FAIL: $name: not refused for want of a format: $line"
    continue
  fi
  duration=$(duration_text "$ticks" "$timescale")
  for f in $want; do
    p=$(props_of "$line" "$f")
    if [ "$duration" = "00:00:00.000" ]; then
      [ -z "$(prop "$p" duration)" ] || echo "FAIL: $name/$f: a duration under a second is given: $p"
    else
      [ "$(prop "$p" duration)" = "$duration" ] || echo "FAIL: $name/$f: duration in '$p', expected $duration"
    fi
    case $f in
    lpcm*)
      r=44100; [ "$f" = lpcm48 ] && r=48000
      [ "$(prop "$p" nrAudioChannels)/$(prop "$p" bitPerSample)/$(prop "$p" sampleFrequency)" = "2/16/$r" ] ||
        echo "FAIL: $name/$f: LPCM properties '$p'"
      [ -z "$(prop "$p" size)$(prop "$p" bitrate)" ] || echo "FAIL: $name/$f: size or bitrate given for LPCM: $p"
      ;;
    *)
      [ "$(prop "$p" size)" = "$(size_of "$data/$name")" ] || echo "FAIL: $name/$f: size in '$p'"
      [ "$(prop "$p" nrAudioChannels)" = "$channels" ] || echo "FAIL: $name/$f: channels in '$p', expected $channels"
      [ "$(prop "$p" sampleFrequency)" = "$rate" ] || echo "FAIL: $name/$f: rate in '$p', expected $rate"
      b=$(prop "$p" bitrate)
      [ "${b:-0}" -gt 0 ] 2>/dev/null || echo "FAIL: $name/$f: no bitrate in '$p'"
      ;;
    esac
  done
done >"$scratch/formats.log"
cat "$scratch/formats.log"
failures=$((failures + $(grep -c '^FAIL' "$scratch/formats.log" || true)))

# Only the MP4 audio extensions are considered: the folder's other files get
# no line and are counted apart; the summary counts what the lines say.
grep -qF '\\README"' "$scratch/scan.json" && fail "README is listed"
n_others=$(find "$data" -type f ! -name '*.mp4' ! -name '*.m4a' ! -name '*.m4b' ! -name '*.3gp' | wc -l)
grep -Eq "^  other files, not considered +$n_others\$" "$scratch/err" ||
  fail "summary other files != $n_others: $(cat "$scratch/err")"
grep -q '"status":"refused".*"hr":"0x8' <<<"$(grep -F 'truncated.m4a"' "$scratch/scan.json" || true)" ||
  fail "the truncated file is not refused with its HRESULT"
n_files=$(wc -l <"$scratch/scan.json")
n_supported=$(grep -c '"status":"supported"' "$scratch/scan.json" || true)
grep -Eq "^  files +$n_files\$" "$scratch/err" || fail "summary files != $n_files: $(cat "$scratch/err")"
grep -Eq "^  supported \(LPCM offered\) +$n_supported\$" "$scratch/err" || fail "summary supported != $n_supported"

# One worker gives the same lines in the same order as several.
th scan --json --jobs 1 "$(win "$data")"
[ "$rc" = 0 ] || fail "scan --jobs 1 exited with $rc: $(cat "$scratch/err")"
cmp -s "$scratch/out" "$scratch/scan.json" || fail "scan --jobs 1 differs from the scan with several workers"
grep -q '(1 workers)' "$scratch/err" || fail "scan --jobs 1: $(cat "$scratch/err")"

# The text scan gives the same table on standard output.
th scan "$(win "$data")"
[ "$rc" = 0 ] || fail "text scan exited with $rc: $(cat "$scratch/err")"
grep -Eq "^  files +$n_files\$" "$scratch/out" || fail "text scan summary"
grep -Eq "^  refused +[0-9]+\$" "$scratch/out" || fail "text scan: no refused row"

# formats and props agree with the scan for single files.
for name in aac-48000-mp42.mp4 aac-16000-mono.3gp aac-22050-mono.m4b aac-48000-6ch-mp42.mp4 aac-22050-heaac.mp4; do
  th formats --json "$(win "$data/$name")"
  [ "$rc" = 0 ] || fail "formats $name exited with $rc"
  got=$({ grep -o '"name":"[^"]*"' "$scratch/out" || true; } | tr '\n' ' ')
  want=$({ grep -F "\\\\$name\"" "$scratch/scan.json" || true; } | { grep -o '"name":"[^"]*"' || true; } | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "formats $name: '$got' against the scan's '$want'"
  first=$(printf '%s' "$got" | sed 's/"name":"\([^"]*\)".*/\1/')
  th props --json "$(win "$data/$name")" 0
  [ "$rc" = 0 ] || fail "props $name 0 exited with $rc"
  want=$(props_of "$(grep -F "\\\\$name\"" "$scratch/scan.json")" "$first")
  grep -qF "\"properties\":{$want}" "$scratch/out" || fail "props $name 0: $(cat "$scratch/out") against '$want'"
done
# The text forms: the flags by name, properties by key.
th formats "$(win "$data/aac-48000-mp42.mp4")"
[ "$rc" = 0 ] || fail "formats text exited with $rc: $(cat "$scratch/err")"
grep -Eq '^  0  lpcm48  LPCM +audio/L16;rate=48000;channels=2 +true +true +false$' "$scratch/out" ||
  fail "formats text, LPCM row: $(cat "$scratch/out")"
grep -Eq '^  1  mp4  +- +audio/mp4 +false +false +true$' "$scratch/out" || fail "formats text, native row"
th props "$(win "$data/aac-48000-mp42.mp4")" mp4
[ "$rc" = 0 ] || fail "props text exited with $rc: $(cat "$scratch/err")"
grep -Eq '^sampleFrequency +48000$' "$scratch/out" || fail "props text: $(cat "$scratch/out")"
# The ProgID reaches the same server.
th --progid formats --json "$(win "$data/aac-16000-mono.3gp")"
[ "$rc" = 0 ] && grep -q '"name":"3gpp"' "$scratch/out" || fail "--progid formats: $rc $(cat "$scratch/err")"
finish
