#!/bin/sh
# One bounded run of a fuzz target for CTest:
#   brief-run.sh TARGET SECONDS DICT WORKDIR SEEDDIR
# New inputs and any crash file stay in WORKDIR, never in the seed folder.
set -e
target=$1 seconds=$2 dict=$3 work=$4 seeds=$5
mkdir -p "$work/corpus" "$work/artifacts" "$seeds"
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=20000 \
     -dict="$dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
     "$work/corpus" "$seeds"
