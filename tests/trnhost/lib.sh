# Shared by the trnhost end-to-end tests: sourced with the arguments
# ENVFILE TRNHOST_EXE SERVER_DLL TESTDATA SCRATCH.
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
# (without the platform's ALSA chatter) in $scratch/err, the exit code in $rc.
th() {
  rc=0
  "$TRN_WINE" "$exe" "$@" >"$scratch/out" 2>"$scratch/err.raw" </dev/null || rc=$?
  grep -v '^ALSA lib' "$scratch/err.raw" | tr -d '\r' >"$scratch/err" || true
}
register_server() {
  "$TRN_WINE" regsvr32 /s "$(win "$dll")" </dev/null >/dev/null 2>&1 || { echo "FAIL: regsvr32 on the server"; exit 1; }
}
# Fields of ffprobe's record for a sample: rate channels timescale ticks seconds.
record() { awk -v f="$1" '$1 == f { print $2, $3, $4, $5, $6 }' "$data/ffprobe.txt" "$data/ffprobe-derived.txt"; }
size_of() { stat -c %s "$1"; }
