#!/usr/bin/env bash
# Times PERIODE over 911,280 dates against seq writing as many eight-digit
# lines (the floor for writing that much) and against dateutils' dseq (a
# general date-sequence tool), checks that PERIODE's output equals dseq's,
# and shows that memory stays flat whatever the period's length.
#
# Usage: bench/period.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-21}
periode="$build/period/PERIODE"
cmake --build "$build" --target PERIODE >/dev/null

if ! command -v dateutils.dseq >/dev/null; then
  if [ "$(id -u)" = 0 ]; then
    (export DEBIAN_FRONTEND=noninteractive
     apt-get install -y -q dateutils >/dev/null 2>&1 ||
       { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q dateutils >/dev/null 2>&1; }) || true
  fi
fi
dseq=$(command -v dateutils.dseq || true)

median_ms() {  # median_ms CMD...: median wall time of $runs runs, output dropped
  for _ in $(seq "$runs"); do
    t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000 ))
  done | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)] / 1000}'
}

echo "911,280 lines; median of $runs runs, output to /dev/null"
p=$(median_ms "$periode" 16010101 40951231)
s=$(median_ms seq 16010101 16921380)
echo "PERIODE 16010101 40951231:  $p ms"
echo "seq 16010101 16921380:      $s ms"
awk -v p="$p" -v s="$s" 'BEGIN {printf "PERIODE / seq: %.2f (target <= 1.5)\n", p / s}'

if [ -n "$dseq" ]; then
  d=$(median_ms "$dseq" 1601-01-01 4095-12-31 -f %Y%m%d)
  echo "dateutils.dseq 1601-01-01 4095-12-31: $d ms"
  awk -v p="$p" -v d="$d" 'BEGIN {printf "dseq / PERIODE: %.1f times faster (target >= 5)\n", d / p}'
  # dseq's own range ends at 4094-05-04; compare up to there.
  if cmp -s <("$periode" 16010101 40940504) <("$dseq" 1601-01-01 4094-05-04 -f %Y%m%d); then
    echo "output 16010101..40940504: identical to dseq"
  else
    echo "output 16010101..40940504: DIFFERS from dseq"
    exit 1
  fi
else
  echo "dateutils.dseq: not installed and could not be installed; comparison skipped"
fi

rss() { /usr/bin/env time -f %M "$@" 2>&1 >/dev/null | tail -1; }
if /usr/bin/env time -f %M true >/dev/null 2>&1; then
  echo "peak memory: one day $(rss "$periode" 20040101 20040101) KiB," \
       "911,280 days $(rss "$periode" 16010101 40951231) KiB," \
       "3,652,059 days $(rss "$periode" 00010101 99991231) KiB"
fi
