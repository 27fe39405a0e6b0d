# Shared by the trnhost serve tests: sourced with the arguments
# ENVFILE TRNHOST_EXE SERVER_DLL TESTDATA SCRATCH. Builds a media folder,
# starts the server on a free port and fetches from it with Debian's curl.
# The scripts run under bash with -e, -u and pipefail: a step that fails
# unchecked ends the test with its line.
set -E
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: a step failed with status $?"' ERR
. "$1"
exe=$2
dll=$3
data=$4
scratch=$5
rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
server_pid=

win() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  if [ "$failures" -gt 0 ]; then echo "$failures failure(s)"; exit 1; fi
  echo "all passed"
}
size_of() { stat -c %s "$1"; }
need() { command -v "$1" >/dev/null 2>&1 || { echo "FAIL: $1 is not installed (scripts/setup.sh installs it)"; exit 1; }; }
need curl

register_server() {
  local code=0
  "$TRN_WINE" regsvr32 /s "$(win "$dll")" </dev/null >/dev/null 2>"$scratch/regsvr32.err" || code=$?
  trn_wine_faults "$scratch/regsvr32.err"
  [ "$code" = 0 ] || { echo "FAIL: regsvr32 on the server exited with $code"; exit 1; }
}

# The served folder: names with blanks, a subfolder, and files the server refuses.
media=$scratch/media
make_media() {
  mkdir -p "$media/sub folder"
  cp "$data/aac-44100-stereo.m4a" "$media/chord 44k.m4a"
  cp "$data/aac-48000-mp42.mp4" "$media/tone48.mp4"
  cp "$data/aac-16000-mono.3gp" "$media/mono16.3gp"
  cp "$data/aac-22050-mono.m4b" "$media/book#1.m4b"
  cp "$data/aac-22050-heaac.mp4" "$media/heaac.mp4"
  cp "$data/aac-32000-mp42.mp4" "$media/sub folder/rate32.mp4"
  cp "$data/aac-44100-stereo.mp4" "$media/sub folder/stereo44.mp4"
  cp "$data/aac-22050-mono-long.m4a" "$media/sub folder/long 40s.m4a"
  cp "$data/aac-96000-stereo.mp4" "$media/refused96.mp4"
  echo "not audio" >"$media/notes.txt"
}

# Runs trnhost directly (references); output in $scratch/out, code in $rc.
th() {
  rc=0
  "$TRN_WINE" "$exe" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null || rc=$?
  trn_wine_faults "$scratch/err"
}
# reference OUT FILE FORMAT [stream options]: what trnhost stream writes.
reference() {
  out=$1 file=$2 format=$3
  shift 3
  th stream "$(win "$media/$file")" "$format" "$@" -o "$(win "$out")"
  [ "$rc" = 0 ] || fail "trnhost stream $file $format $*: exit $rc $(cat "$scratch/err")"
}

# Starts the server on a free port; its standard input is a pipe that
# stop_server closes. Sets $base (http://127.0.0.1:PORT). Whatever the end,
# the fault reports in its standard error reach the test's output.
start_server() {
  mkfifo "$scratch/stdin"
  "$TRN_WINE" "$exe" serve "$(win "$media")" --port 0 <"$scratch/stdin" >"$scratch/server.out" 2>"$scratch/server.err" &
  server_pid=$!
  exec 3>"$scratch/stdin"
  trap 'kill_server' EXIT
  base=
  tries=0
  while [ -z "$base" ]; do
    base=$(sed -n 's|.* at \(http://127\.0\.0\.1:[0-9]*\)/.*|\1|p' "$scratch/server.out" 2>/dev/null | tr -d '\r')
    [ -n "$base" ] && break
    if ! kill -0 "$server_pid" 2>/dev/null || [ "$tries" -gt 1200 ]; then
      echo "FAIL: the server did not start: $(cat "$scratch/server.out" "$scratch/server.err")"
      exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
  done
  printf 'server: %s\n' "$(head -n 1 "$scratch/server.out" | tr -d '\r')"
}
kill_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  server_pid=
  trn_wine_faults "$scratch/server.err"
}
# Closes the server's standard input; it must stop by itself and exit 0.
stop_server() {
  exec 3>&-
  code=0
  wait "$server_pid" || code=$?
  server_pid=
  [ "$code" = 0 ] || fail "the server exited with $code: $(tail -n 5 "$scratch/server.err")"
  grep -q '^stopping after' "$scratch/server.out" || fail "no orderly stop: $(cat "$scratch/server.out")"
}

# fetch OUT URL [curl options]: body to OUT, headers to OUT.h, status in $code.
fetch() {
  out=$1 url=$2
  shift 2
  code=$(curl -s --noproxy '*' -o "$out" -D "$out.h" -w '%{http_code}' "$@" "$url") || true
  touch "$out.h"
  tr -d '\r' <"$out.h" >"$out.hh"
  mv "$out.hh" "$out.h"
}
# header FILE.h NAME: the value of a response header (the last response's).
header() { awk -v n="$2" 'BEGIN { IGNORECASE = 1 } tolower($0) ~ "^" tolower(n) ":" { sub(/^[^:]*: */, ""); v = $0 } END { print v }' "$1"; }
# The media URL of an item in a format.
url_of() { printf '%s/media/%s/%s' "$base" "$2" "$(printf '%s' "$1" | sed 's/%/%25/g; s/ /%20/g; s/#/%23/g')"; }
# status field of /status
status_field() { sed -n "s/.*\"$1\":\([0-9]*\).*/\1/p" "$2"; }

# Eight items in as many formats, LPCM and unchanged, for the load runs: the
# list in $scratch/pairs, trnhost stream's bytes of line N in $scratch/refN.
load_pairs() {
  local n=0 item f
  printf '%s\n' "chord 44k.m4a|lpcm44" "tone48.mp4|lpcm48" "mono16.3gp|3gpp" "book#1.m4b|lpcm44" "heaac.mp4|lpcm44" \
    "sub folder/rate32.mp4|mp4" "sub folder/stereo44.mp4|lpcm44" "sub folder/long 40s.m4a|lpcm44" >"$scratch/pairs"
  while IFS='|' read -r item f; do
    n=$((n + 1))
    reference "$scratch/ref$n" "$item" "$f"
  done <"$scratch/pairs"
}
# 16 clients at once on the load pairs, as a media server sees them: the
# first six take their item whole (body in $scratch/mixN), the next two ask
# HEAD, the other eight walk away at a random byte. Statuses of the first
# eight in $scratch/mixcodeN. Returns when all have ended.
mixed_round() {
  local pids= n i pair url at
  for n in $(seq 16); do
    i=$(((n - 1) % 8 + 1))
    pair=$(sed -n "${i}p" "$scratch/pairs")
    url=$(url_of "${pair%|*}" "${pair#*|}")
    if [ "$n" -le 6 ]; then
      curl -s --noproxy '*' -o "$scratch/mix$n" -w '%{http_code}' "$url" >"$scratch/mixcode$n" &
    elif [ "$n" -le 8 ]; then
      curl -s --noproxy '*' -I -o /dev/null -w '%{http_code}' "$url" >"$scratch/mixcode$n" &
    else
      at=$(((RANDOM * 32768 + RANDOM) % $(size_of "$scratch/ref$i") + 1))
      { { curl -s --noproxy '*' "$url" || true; } | head -c "$at" >/dev/null; } &
    fi
    pids="$pids $!"
  done
  for n in $pids; do wait "$n" || true; done # mixed_wrong checks the answers
}
# The answers of the last mixed round that were wrong, a line each: not 200,
# or a whole body that is not trnhost stream's bytes.
mixed_wrong() {
  local n pair
  for n in $(seq 8); do
    pair=$(sed -n "${n}p" "$scratch/pairs")
    if [ "$(cat "$scratch/mixcode$n")" != 200 ]; then
      echo "mixed client $n (${pair%|*} ${pair#*|}) answered $(cat "$scratch/mixcode$n")"
    elif [ "$n" -le 6 ] && ! cmp -s "$scratch/ref$n" "$scratch/mix$n"; then
      echo "mixed client $n (${pair%|*} ${pair#*|}): $(size_of "$scratch/mix$n") bytes, not $(size_of "$scratch/ref$n")"
    fi
  done
}
