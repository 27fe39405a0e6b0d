# Shared by the trnhost end-to-end tests: sourced with the arguments
# ENVFILE TRNHOST_EXE SERVER_DLL TESTDATA SCRATCH, by scripts that run
# under bash with -e, -u and pipefail: a step that fails unchecked ends the
# test with its line.
set -E
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: a step failed with status $?"' ERR
. "$1"
exe=$2
dll=$3
data=$4
scratch=$5
mkdir -p "$scratch"
failures=0

win() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  if [ "$failures" -gt 0 ]; then echo "$failures failure(s)"; exit 1; fi
  echo "all passed"
}
# Runs trnhost; its standard output lands in $scratch/out, standard error
# (without the platform's ALSA chatter and Wine's debug lines) in
# $scratch/err, the exit code in $rc. Fault reports go to the test's output.
th() {
  rc=0
  "$TRN_WINE" "$exe" "$@" >"$scratch/out" 2>"$scratch/err.raw" </dev/null || rc=$?
  trn_wine_faults "$scratch/err.raw"
  { grep -v '^ALSA lib' "$scratch/err.raw" || true; } | trn_wine_quiet | tr -d '\r' >"$scratch/err"
}
register_server() {
  local code=0
  "$TRN_WINE" regsvr32 /s "$(win "$dll")" </dev/null >/dev/null 2>"$scratch/regsvr32.err" || code=$?
  trn_wine_faults "$scratch/regsvr32.err"
  [ "$code" = 0 ] || { echo "FAIL: regsvr32 on the server exited with $code"; exit 1; }
}
# Fields of ffprobe's record for a sample: rate channels timescale ticks seconds.
record() { awk -v f="$1" '$1 == f { print $2, $3, $4, $5, $6 }' "$data/ffprobe.txt" "$data/ffprobe-derived.txt"; }
size_of() { stat -c %s "$1"; }
