#!/usr/bin/env bash
# Times a full check_korvane_web run on a store where every file exists
# against probe_floor, which makes only the same access/stat calls and the
# same durable writes (one file per output and the state, of the same size).
# Prints both medians and their ratio (target: at most 1.10).
#
# Usage: bench/page.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-31}
# Absolute, as compiled into the bench copy: the floor must resolve the
# same paths, component by component.
work="$(cd "$build" && pwd)/bench-work"

cmake --build "$build" --target check_korvane_web_bench probe_floor make_demo_store >/dev/null
rm -rf "$work" && mkdir -p "$work/www" "$work/state"
"$build/tools/make_demo_store" --full "$work/DATA/" >/dev/null
sync  # let the new store reach the disk before timing, not during

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Warm the caches first, then alternate the two so that drift in the
# machine's load falls on both alike; each run is paired with the floor run
# just before it and the headline is the median of the pair ratios.
run_cmd=("$build/bench/check_korvane_web_bench")
"${run_cmd[@]}" >/dev/null
# One durable write per output file of the run, of the size it has.
floor_cmd=("$build/bench/probe_floor" "$work/DATA/")
for f in "$work"/www/* "$work"/state/*; do floor_cmd+=("$work/floor/$(basename "$f")" "$(stat -c %s "$f")"); done
mkdir -p "$work/floor"
"${floor_cmd[@]}" >/dev/null
floor_us=() run_us=() ratios=()
for _ in $(seq "$runs"); do
  t0=$(date +%s%N); "${floor_cmd[@]}" >/dev/null
  t1=$(date +%s%N); "${run_cmd[@]}" >/dev/null
  t2=$(date +%s%N)
  floor_us+=($(( (t1 - t0) / 1000 ))) run_us+=($(( (t2 - t1) / 1000 )))
  ratios+=("$(awk -v r=$((t2 - t1)) -v f=$((t1 - t0)) 'BEGIN {printf "%.4f", r / f}')")
done
floor=$(printf '%s\n' "${floor_us[@]}" | median)
run=$(printf '%s\n' "${run_us[@]}" | median)
ratio=$(printf '%s\n' "${ratios[@]}" | median)
echo "store: every file present, 14664 probes; $runs runs each, alternated"
awk -v f="$floor" 'BEGIN {printf "probe_floor (access/stat, durable writes): median %.2f ms\n", f / 1000}'
awk -v r="$run" 'BEGIN {printf "check_korvane_web full run:     median %.2f ms (every output replaced)\n", r / 1000}'
echo "ratio run/floor, median of paired runs: $ratio (target <= 1.10)"
