#!/usr/bin/env bash
# temps.convert against astropy on the same values (bench/python_bench.py),
# on the module of a build. Usage: bench/python.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target _temps >/dev/null
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$build/python" /usr/bin/python3 "$(dirname "$0")/python_bench.py" \
  "$(dirname "$0")/../tests/data/leap-seconds.list"
