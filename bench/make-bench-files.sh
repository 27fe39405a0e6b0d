#!/bin/sh
# make-bench-files.sh: writes the reference files of the open benchmarks into
# TREE/bench-files (TREE: $BENCH_TREE, default build/bench, a Release tree
# that is configured here when it is missing):
#   typical.m4a   4 minutes of AAC-LC, 44.1 kHz stereo, 128 kbit/s (ffmpeg)
#   long.m4b      20 hours of AAC-LC, 24 kHz mono, 1.7 million samples: a short
#                 ffmpeg piece repeated by trn_bench_mkfile, full-size tables
#   tags.m4a      20 s with 3GPP user data, 200 chapters, an item list of
#                 more than 400 items and a cover of about 1 MB
# Files already there are kept (FORCE=1 writes them again).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${BENCH_TREE:-$root/build/bench}
case $tree in /*) ;; *) tree=$(pwd)/$tree ;; esac
command -v ffmpeg >/dev/null 2>&1 || { echo "ffmpeg is missing (apt-get install ffmpeg)" >&2; exit 1; }
if [ ! -f "$tree/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$tree" -j2 --target trn_bench_mkfile trn_open_bench trn_bench_spawn trnprobe >/dev/null
out="$tree/bench-files"
mkdir -p "$out"
mkfile="$tree/bench/trn_bench_mkfile"
ff() { ffmpeg -nostdin -v error -y "$@"; }
need() { [ "${FORCE:-0}" = 1 ] || [ ! -s "$out/$1" ]; }

if need typical.m4a; then
  ff -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=240" \
     -f lavfi -i "anoisesrc=color=pink:sample_rate=44100:amplitude=0.05:duration=240" \
     -filter_complex "[0][1]amix=inputs=2,pan=stereo|c0=c0|c1=c0" \
     -c:a aac -b:a 128k "$out/typical.m4a"
fi
if need piece.aac; then
  ff -f lavfi -i "sine=frequency=220:sample_rate=24000:duration=20" \
     -f lavfi -i "anoisesrc=color=brown:sample_rate=24000:amplitude=0.02:duration=20" \
     -filter_complex "[0][1]amix=inputs=2" -ac 1 -c:a aac -b:a 12k -f adts "$out/piece.aac"
fi
if need long.m4b; then
  "$mkfile" long "$out/piece.aac" 20 "$out/long.m4b"
fi
if need cover.jpg; then
  ff -f lavfi -i "cellauto=s=1400x1400:rule=18" -frames:v 1 -q:v 1 "$out/cover.jpg"
fi
if need tags.m4a; then
  "$mkfile" tags "$out/piece.aac" "$out/cover.jpg" "$out/tags.m4a"
fi
ls -l "$out"/typical.m4a "$out"/long.m4b "$out"/tags.m4a
