#!/usr/bin/env bash
# The time library as another program uses it: installed with DESTDIR from
# this build, then the example built once with find_package(temps) and
# once with pkg-config and a plain compiler line, run, its output checked.
# Usage: consumer_test.sh SOURCE_DIR BUILD_DIR   (77: pkg-config missing)
set -euo pipefail
src=$(cd "$1" && pwd) build=$(cd "$2" && pwd)
command -v pkg-config >/dev/null || { echo "SKIPPED: not installed: pkg-config"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
stage="$tmp/stage"
DESTDIR="$stage" cmake --install "$build" >/dev/null
want='2004-07-05 is day 2453192
TU 1467721815250 is 2004-07-05 12:30:15.250
std::chrono says 2004-07-05
reading 87400.5 at rate 1 is 2004-07-06 00:00:00.500
reading 87400.5 at rate 65536 is 2008-01-01 12:00:01.333
partition 1 reading 86400000 is 2004-07-06 00:00:00.002
partition 2 reading 1024 is 2008-01-01 00:00:01.000
partition 1 reading 200000000: no calibration covers it'

for f in "$libdir/libtemps.so.4" "$libdir/libtemps.a" include/temps/temps.h \
         "$libdir/cmake/temps/tempsConfigVersion.cmake" "$libdir/pkgconfig/temps.pc"; do
  [ -e "$stage$prefix/$f" ] || fail "not installed: $f"
done
soname=$(objdump -p "$stage$prefix/$libdir/libtemps.so.4" 2>/dev/null | awk '/SONAME/ {print $2}')
[ "$soname" = libtemps.so.4 ] || fail "SONAME '$soname'"
version=$(PKG_CONFIG_PATH="$stage$prefix/$libdir/pkgconfig" pkg-config --modversion temps)
[ "$version" = 4.0.0 ] || fail "pkg-config --modversion temps: $version"

echo "== every installed header alone"
# Each compiles on its own, warnings on, whatever else a program includes.
for h in "$stage$prefix"/include/temps/*.h; do
  printf '#include <temps/%s>\n' "$(basename "$h")" |
    g++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$stage$prefix/include" -x c++ - ||
    fail "<temps/$(basename "$h")> does not compile alone"
done

echo "== find_package(temps)"
cmake -S "$src/examples" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$stage$prefix" >/dev/null &&
  cmake --build "$tmp/cmake-build" >/dev/null || fail "find_package build"
got=$(LD_LIBRARY_PATH="$stage$prefix/$libdir" "$tmp/cmake-build/convert" "$src/examples/clock.correlation") || fail "cmake example run"
[ "$got" = "$want" ] || fail "cmake example printed:"$'\n'"$got"
# The labels example: a label read, written back and converted; a leap
# second; a label refused, with the library's reason.
got=$(LD_LIBRARY_PATH="$stage$prefix/$libdir" "$tmp/cmake-build/labels" "$src/tests/data/leap-seconds.list" \
      2016-12-31T23:59:60.5 2004-07-05T12:00:00Z 2016-12-30T23:59:60 2>&1) && fail "labels: a refused label gave status 0"
want_labels='2016-12-31T23:59:60.500000000 2017-01-01T00:00:36.500 536500868684000000 (a leap second, which POSIX time has not)
2004-07-05T12:00:00.000000000 2004-07-05T12:00:32.000 142300864184000000 1089028800.000000000
2016-12-30T23:59:60.000000000 (no leap second at this time) (no leap second at this time) (no leap second at this time)'
[ "$got" = "$want_labels" ] || fail "labels example printed:"$'\n'"$got"
# Version 4 does not satisfy a request for version 3 (SameMajorVersion): its
# ABI changed.
echo 'find_package(temps 3 CONFIG REQUIRED)' > "$tmp/v3.cmake"
if cmake -DCMAKE_PREFIX_PATH="$stage$prefix" -P "$tmp/v3.cmake" >/dev/null 2>&1; then
  fail "find_package(temps 3) accepted version 4"
fi

echo "== pkg-config and a plain compiler line"
flags=$(PKG_CONFIG_PATH="$stage$prefix/$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$stage" \
        pkg-config --cflags --libs temps)
# The flags name no language standard, so that a newer -std of the user's
# stands; below C++20 the headers say what they need.
case " $flags " in *" -std="*) fail "pkg-config --cflags temps sets the standard: $flags" ;; esac
echo "g++ -std=c++23 convert.cpp $flags"
g++ -std=c++23 "$src/examples/convert.cpp" $flags -o "$tmp/convert" || fail "pkg-config build"
if g++ -std=c++17 -fsyntax-only "$src/examples/convert.cpp" $flags 2> "$tmp/cxx17"; then
  fail "the headers compile below C++20"
fi
grep -q 'needs C++20' "$tmp/cxx17" || fail "below C++20, no word of it: $(head -3 "$tmp/cxx17")"
got=$(LD_LIBRARY_PATH="$stage$prefix/$libdir" "$tmp/convert" "$src/examples/clock.correlation") || fail "pkg-config example run"
[ "$got" = "$want" ] || fail "pkg-config example printed:"$'\n'"$got"

if [ "$failures" -gt 0 ]; then echo "$failures failures"; exit 1; fi
echo "consumer: all checks passed"
