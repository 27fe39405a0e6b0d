#!/bin/bash
# serve-soak.sh [MINUTES]: a long run of trnhost serve under the load a
# media server's renderers make (default 5 minutes). Rounds of 16 clients at
# once: six take an item whole (compared with trnhost stream's bytes), two
# ask HEAD, eight walk away at a random byte. After every 100 streams it
# prints the requests served, wrong answers, crashes (fault reports, or a
# server that died and was started again), and the server's threads,
# handles and committed private memory as its /status gives them. Uses the tree
# scripts/trnhost picks (TRN_TREE=DIR for another); TRN_LOAD_SEED repeats a
# run's random points.
set -eu -o pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-5}
case $minutes in '' | *[!0-9]*) echo "usage: serve-soak.sh [MINUTES]" >&2; exit 2 ;; esac

# scripts/trnhost makes the prefix and registers the host's classes and the
# server; its first call also says which tree it uses.
"$root/scripts/trnhost" formats "$root/testdata/aac-44100-stereo.m4a" >/dev/null
if [ -n "${TRN_TREE:-}" ]; then
  case $TRN_TREE in /*) tree=$TRN_TREE ;; *) tree=$root/$TRN_TREE ;; esac
else
  tree=${TRN_BUILD_ROOT:-$root/build}/win64
  [ -f "${TRN_BUILD_ROOT:-$root/build}/win32/wine-env.sh" ] && tree=${TRN_BUILD_ROOT:-$root/build}/win32
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/serve-soak.XXXXXX")
export TRN_WINEDEBUG=-all,warn+seh
# shellcheck source=../tests/serve/lib.sh
. "$root/tests/serve/lib.sh" "$tree/wine-env.sh" "$tree/tools/trnhost.exe" "$tree/module/TrnM4aTranscoder.dll" \
  "$root/testdata" "$scratch"
trap 'kill_server; rm -rf "$scratch"' EXIT
make_media
s=$scratch
load_pairs

faults_seen=0
crashes=0
faults() { grep -cE "$TRN_WINE_FAULTS" "$s/server.err" 2>/dev/null || true; }
# A fresh server; the one before it (if any) died, and its fault reports count.
serve() {
  [ -f "$s/server.err" ] && cat "$s/server.err" >>"$s/server.err.all"
  rm -f "$s/stdin"
  start_server >/dev/null
  trap 'kill_server; rm -rf "$scratch"' EXIT
}

seed=${TRN_LOAD_SEED:-$$}
RANDOM=$seed
serve
echo "trnhost serve from $tree for $minutes minute(s), seed $seed"
printf '%8s %9s %6s %8s %8s %8s %12s\n' streams requests wrong crashes threads handles "private KB"
streams=0 wrong=0 next_report=100
end=$(($(date +%s) + minutes * 60))
while [ "$(date +%s)" -lt "$end" ]; do
  mixed_round
  wrong=$((wrong + $(mixed_wrong | wc -l)))
  streams=$((streams + 14))
  if ! kill -0 "$server_pid" 2>/dev/null; then
    crashes=$((crashes + 1))
    faults_seen=$((faults_seen + $(faults)))
    curl -s --noproxy '*' -o /dev/null "$base/status" || true
    server_pid=
    serve
    continue
  fi
  if [ "$streams" -ge "$next_report" ]; then
    curl -s --noproxy '*' -o "$s/status" "$base/status" || true
    printf '%8s %9s %6s %8s %8s %8s %12s\n' "$streams" "$(status_field requests "$s/status")" "$wrong" \
      "$((crashes + faults_seen + $(faults)))" "$(status_field threads "$s/status")" \
      "$(status_field handles "$s/status")" "$(($(status_field privateBytes "$s/status") / 1024))"
    next_report=$((next_report + 100))
  fi
done
stop_server
total_faults=$((faults_seen + $(faults)))
echo "done: $streams streams, $wrong wrong answers, $crashes servers died, $total_faults fault reports"
[ "$wrong" = 0 ] && [ "$crashes" = 0 ] && [ "$total_faults" = 0 ]
