#!/usr/bin/env bash
# Prints the cost of conversions through correlation tables of 1,877,
# 4,096 and 100,000 records against tb_to_tu with a single calibration,
# and their ratios with their targets: at most 1.5 times one calibration
# for tb_to_tu and 4 times for tu_to_tb up to 4,096 records; at 100,000,
# where a lookup must reach a record out of the cache, the same ratios to
# the memory floor (one calibration after one random read of a
# table-sized array, printed beside). Then the worst cases, tables no
# clock makes: tu_to_tb at most 2 us a lookup. Usage:
# bench/correlation.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target correlation_bench >/dev/null
"$build/bench/correlation_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ {gsub(/"/, "", $1); sub(/_median$/, "", $1); ns[$1] = $4; names[++n] = $1}
           END {single = ns["single_calibration"]
                printf "single calibration: %.1f ns\n", single
                for (i = 1; i <= n; i++) {
                  name = names[i]; split(name, part, "/")
                  if (part[1] == "memory_floor")
                    printf "memory floor/%-15s         %7.1f ns (one calibration after one random read of a table-sized array)\n", part[2], ns[name]
                }
                split("even uneven mixed overlapping", shape, " ")
                for (i = 1; i <= n; i++) {
                  name = names[i]; if (name == "single_calibration") continue
                  split(name, part, "/"); if (part[1] == "memory_floor") continue
                  kind = shape[part[3] + 1]
                  if (kind == "mixed" || kind == "overlapping") {
                    printf "%-28s %-11s %7.1f ns a lookup (target <= 2000 ns)\n", part[1] "/" part[2], kind, ns[name]
                    continue
                  }
                  base = single; against = "calibration"
                  if (part[2] == 100000) { base = ns["memory_floor/100000"]; against = "floor" }
                  target = part[1] == "tu_to_tb_table" ? 4.0 : 1.5
                  printf "%-28s %-11s %7.1f ns, ratio %.2f to the %s (target <= %.1f)\n", part[1] "/" part[2],
                         kind, ns[name], ns[name] / base, against, target
                }}'
