#!/bin/sh
# Runs each fuzz target in turn for SECONDS (one fuzzing process at a time,
# so that the machine keeps a core for others), then minimises its corpus
# with -merge=1 and prints the executions and coverage:
#
#   fuzz/run-all.sh [SECONDS [TARGET...]]
#
# Targets: mp4file esds dsi pcmformat properties frames (default: all).
# TRN_FUZZ_BUILD is the clang tree (default build/fuzz, configured and built
# here when missing); TRN_FUZZ_CORPUS keeps the corpora, the crash files and
# the running count of executions (default TRN_FUZZ_BUILD/corpus).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TRN_FUZZ_BUILD:-$root/build/fuzz}
corpus=${TRN_FUZZ_CORPUS:-$build/corpus}
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-mp4file esds dsi pcmformat properties frames}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DTRN_FUZZ=ON -DTRN_SANITIZE=ON -DTRN_BUILD_TESTS=OFF >/dev/null
fi
binaries=trn_fuzz_seeds
for t in $targets; do binaries="$binaries trn_fuzz_$t"; done
cmake --build "$build" -j "${TRN_JOBS:-2}" --target $binaries

mkdir -p "$corpus"
"$build/fuzz/trn_fuzz_seeds" "$corpus/seeds" "$root"/testdata/*.mp4 "$root"/testdata/*.m4a \
  "$root"/testdata/*.m4b "$root"/testdata/*.3gp

status=0
summary=
for t in $targets; do
  bin=$build/fuzz/trn_fuzz_$t
  log=$corpus/$t.log
  mkdir -p "$corpus/$t" "$corpus/artifacts/$t" "$corpus/seeds/$t"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=20000 \
         -dict="$root/fuzz/mp4.dict" -artifact_prefix="$corpus/artifacts/$t/" -print_final_stats=1 \
         "$corpus/$t" "$corpus/seeds/$t" >"$log" 2>&1; then
    status=1
    echo "$t: FINDING, see $log and $corpus/artifacts/$t/"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '#[0-9]+.*cov: ' "$log" | tail -n 1)
  cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')

  rm -rf "$corpus/$t.min"
  mkdir -p "$corpus/$t.min"
  "$bin" -merge=1 -timeout=10 -rss_limit_mb=2048 -max_len=20000 \
    "$corpus/$t.min" "$corpus/$t" "$corpus/seeds/$t" >>"$log" 2>&1
  rm -rf "$corpus/$t"
  mv "$corpus/$t.min" "$corpus/$t"

  total=$(( $(cat "$corpus/$t.execs" 2>/dev/null || echo 0) + ${runs:-0} ))
  echo "$total" >"$corpus/$t.execs"
  line="$t: ${runs:-0} executions now, $total in all; cov ${cov:-?} ft ${ft:-?}; corpus $(ls "$corpus/$t" | wc -l) files"
  echo "$line"
  summary="$summary$line
"
done
echo "== fuzz summary ($seconds s per target)"
printf '%s' "$summary"
exit $status
