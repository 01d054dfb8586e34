#!/bin/sh
# A caller that drops a status of the time library does not compile under
# -Werror=unused-result; one that looks at each does.
# Usage: dropped_status_test.sh CXX INCLUDE_DIR
set -eu
cxx=$1 include=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
calls='temps::julday(1, 1, 2000, &jd)
temps::tb_en_tu(0.0, &d)
temps::tb_to_tu(temps::calibration{}, 0.0, &d)
temps::tu_to_tb(temps::calibration{}, d, &tb)
temps::tb_to_tu(c, 1, 0.0, &d)
temps::tu_to_tb(c, d, &p, &tb)
temps::read_correlation("c", &c, e, 8)
temps::index_correlation(&c)'
program() {  # program FORMAT: each call formatted into main
  echo '#include "temps.h"'
  echo 'int main() { int jd = 0, p = 0; double tb = 0; char e[8]; temps::date_heure d{}; temps::correlation c;'
  echo "$calls" | while IFS= read -r call; do printf "$1\n" "$call"; done
  echo '}'
}
flags="-std=c++20 -fsyntax-only -Werror=unused-result -I$include"
program 'if (%s != 0) return 1;' > "$tmp/kept.cpp"
program '%s;' > "$tmp/dropped.cpp"
"$cxx" $flags "$tmp/kept.cpp" || { echo "FAIL: statuses looked at, yet no compile"; exit 1; }
if "$cxx" $flags "$tmp/dropped.cpp" 2> "$tmp/errors"; then
  echo "FAIL: dropped statuses compile"; exit 1
fi
flagged=$(grep -c 'unused-result' "$tmp/errors" || true)
want=$(echo "$calls" | wc -l)
[ "$flagged" = "$want" ] || { echo "FAIL: $flagged of $want dropped statuses flagged"; cat "$tmp/errors"; exit 1; }
echo "dropped statuses: all $want flagged"
