#!/bin/sh
# probe-compare.sh [N]: wall time of one whole process of the native trnprobe,
# ffprobe and mediainfo on each reference file of make-bench-files.sh (made
# first when missing), N runs each (default 20), median in milliseconds, with
# mediainfo's time over trnprobe's beside the aim of at least 8x (timed by
# trn_bench_spawn, from the spawn to the end of the wait; the processor time
# of the same runs is printed beneath). TREE as for
# make-bench-files.sh ($BENCH_TREE, default build/bench).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${BENCH_TREE:-$root/build/bench}
case $tree in /*) ;; *) tree=$(pwd)/$tree ;; esac
n=${1:-20}
for tool in ffprobe mediainfo; do
  command -v $tool >/dev/null 2>&1 || { echo "$tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
BENCH_TREE=$tree "$root/bench/make-bench-files.sh" >/dev/null
files="$tree/bench-files"
probe="$tree/tools/trnprobe"
spawn="$tree/bench/trn_bench_spawn"
out=$(mktemp "${TMPDIR:-/tmp}/probe-compare.XXXXXX")
trap 'rm -f "$out" "$out.line"' EXIT

echo "load: $(uptime | sed 's/.*load average/load average/')"
printf '%-12s %11s %11s %13s %10s %10s  %s\n' file "trnprobe ms" "ffprobe ms" "mediainfo ms" "ffprobe/t" "mediainfo/t" "(aim: mediainfo/t >= 8x)"
missed=0
for name in typical.m4a long.m4b tags.m4a; do
  f="$files/$name"
  "$probe" "$f" | grep -q '"hr":"0x00000000"' || { echo "$name: trnprobe does not open it" >&2; exit 1; }
  # The tools take turns, so that the load of the machine falls on all alike.
  "$spawn" "$n" true -- "$probe" "$f" -- ffprobe -v error -show_format -show_streams "$f" -- mediainfo "$f" >"$out"
  awk -v name="$name" '
    { us[NR] = $1; cpu[NR] = $2; failed += $3 }
    END {
      t = us[2] / 1000; p = us[3] / 1000; m = us[4] / 1000
      printf "%-12s %11.2f %11.2f %13.2f %9.1fx %10.1fx  %s%s\n", name, t, p, m, p / t, m / t,
             (m / t >= 8) ? "met" : "MISSED", failed ? " (some runs failed)" : ""
      t = cpu[2] / 1000; p = cpu[3] / 1000; m = cpu[4] / 1000
      printf "%-12s %11.2f %11.2f %13.2f %9.1fx %10.1fx  processor time (user + system)\n", "", t, p, m,
             p / t, m / t
      printf "%-12s %11.2f ms for a process that does nothing (true)\n", "", us[1] / 1000
    }' "$out" | tee "$out.line"
  grep -q MISSED "$out.line" && missed=1
done
echo "runs: $n per tool and file, median; load after: $(uptime | sed 's/.*load average: //')"
exit $missed
