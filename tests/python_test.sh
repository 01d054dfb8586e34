#!/usr/bin/env bash
# Runs the Python module's tests (tests/python) with pytest, on the module
# of a build. Usage: python_test.sh BUILD_DIR PYTHON [WHY_NOT_BUILT]
set -euo pipefail
build=$1 python=$2 why_not=${3:-}
[ -z "$why_not" ] || { echo "SKIPPED: the Python module is not built: $why_not"; exit 77; }
"$python" -c 'import pytest' 2>/dev/null || { echo "SKIPPED: pytest is not installed (Debian package python3-pytest)"; exit 77; }
# Nothing written beside the sources: no bytecode, no pytest cache.
export PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$build/python" TEMPS_COMMAND="$build/conversion/temps"
exec "$python" -m pytest -q -p no:cacheprovider "$(dirname "$0")/python"
