#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one for a bounded time,
# starting from its committed seed corpus and replaying the regression
# inputs (crashes found earlier) first.
# Usage: run_fuzzers.sh SOURCE_DIR BUILD_DIR TARGET SECONDS
# Exit status 77 (skipped) when clang++ is missing.
set -euo pipefail
src=$1 build=$2 target=$3 seconds=$4
if ! command -v clang++ >/dev/null; then
  echo "SKIPPED: clang++ is not installed; $target not fuzzed"
  exit 77
fi
out="$build/fuzz"
mkdir -p "$out/work-$target"
# clang installed without its runtime (--no-install-recommends) cannot link
# a fuzzer: say so instead of failing.
probe="$out/link-probe"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' > "$probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe.cpp" -o "$probe" 2>/dev/null; then
  echo "SKIPPED: clang++ cannot link a fuzzer (install libclang-rt-14-dev); $target not fuzzed"
  exit 77
fi
# The state file's reader is the watch's, the command's conversions the
# temps command's; the other targets are the library's.
extra=("$src/period/period.cpp")
[ "$target" = state ] && extra=("$src/availability/state.cpp" "$src/availability/record.cpp" "$src/availability/probe.cpp" "$src/availability/clock.cpp")
[ "$target" = command ] && extra=("$src"/conversion/{run,options,convert,lines}.cpp -I"$src/conversion"
                                   -DTEMPS_VERSION='"fuzz"' -DKORVANE_LEAP_SECONDS="\"$src/tests/data/leap-seconds.list\"")
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$src/temps/include/temps" -I"$src/temps/include" -I"$src/temps" -I"$src/period" -I"$src/availability" "$src/tests/fuzz/fuzz_$target.cpp" "$src"/temps/*.cpp \
  "${extra[@]}" -o "$out/fuzz_$target"
regressions="$src/tests/fuzz/regressions/$target"
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
  echo "== replaying $(ls "$regressions" | wc -l) regression inputs"
  "$out/fuzz_$target" -error_exitcode=1 "$regressions"/*
fi
echo "== fuzzing $target for $seconds s"
# New inputs go to a work corpus in the build tree; the committed seeds stay as they are.
"$out/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -error_exitcode=1 -timeout_exitcode=1 \
  -artifact_prefix="$out/crash-$target-" "$out/work-$target" "$src/tests/fuzz/corpus/$target"
