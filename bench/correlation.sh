#!/usr/bin/env bash
# Prints the cost of a reading -> TU conversion through a 4096-record
# correlation table and with a single calibration, and their ratio
# (target: at most 1.5), for records of even spans (calibrations at a
# steady pace) and of uneven ones. Usage: bench/correlation.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target correlation_bench >/dev/null
"$build/bench/correlation_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ {gsub(/"/, "", $1); ns[$1] = $4; print $1 ": " $4 " ns"}
           END {single = ns["single_calibration_median"]
                printf "ratio table/single, records of even spans:   %.2f (target <= 1.5)\n", ns["table_of_4096/0_median"] / single
                printf "ratio table/single, records of uneven spans: %.2f\n", ns["table_of_4096/1_median"] / single}'
