#!/usr/bin/env bash
# Prints the cost of conversions through correlation tables of 1,877,
# 4,096 and 100,000 records against tb_to_tu with a single calibration,
# and their ratios with their targets: tb_to_tu at most 1.5 times up to
# 4,096 records and 2.0 times at 100,000; tu_to_tb at most 4 times, at
# every size. Usage: bench/correlation.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target correlation_bench >/dev/null
"$build/bench/correlation_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ {gsub(/"/, "", $1); sub(/_median$/, "", $1); ns[$1] = $4; names[++n] = $1}
           END {single = ns["single_calibration"]
                printf "single calibration: %.1f ns\n", single
                for (i = 1; i <= n; i++) {
                  name = names[i]; if (name == "single_calibration") continue
                  split(name, part, "/")
                  target = part[1] == "tu_to_tb_table" ? 4.0 : (part[2] == 100000 ? 2.0 : 1.5)
                  printf "%-28s %-6s spans: %7.1f ns, ratio %.2f (target <= %.1f)\n", part[1] "/" part[2],
                         part[3] == 1 ? "uneven" : "even", ns[name], ns[name] / single, target
                }}'
