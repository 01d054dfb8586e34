#!/usr/bin/env bash
# The install tree, the manual pages, the systemd units and the Debian
# package of a build. Usage: packaging_test.sh BUILD_DIR
# Exit status 77 (skipped) when dpkg-deb or dpkg-shlibdeps is missing.
set -euo pipefail
build=$(cd "$1" && pwd)
missing=()
for tool in dpkg-deb dpkg-shlibdeps; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[ ${#missing[@]} = 0 ] || { echo "SKIPPED: not installed: ${missing[*]} (Debian package dpkg-dev)"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
want_dates=$'20040227\n20040228\n20040229\n20040301\n20040302'

echo "== install tree"
DESTDIR="$tmp/stage" cmake --install "$build" >/dev/null
got=$(cd "$tmp/stage$prefix" && find . -type f -printf '%m %p\n' | sort)
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
want=$(sort <<EOF2
755 ./bin/PERIODE
755 ./bin/check_korvane_web
755 ./bin/temps
644 ./include/temps/temps.h
644 ./include/temps/calendar.h
644 ./include/temps/tu.h
644 ./include/temps/calibration.h
644 ./include/temps/correlation.h
644 ./include/temps/legacy.h
644 ./include/temps/timescales.h
644 ./include/temps/day_memo.h
644 ./include/temps/ccsds.h
644 ./include/temps/cdf.h
644 ./include/temps/labels.h
644 ./include/temps/convert.h
644 ./include/temps/spice.h
644 ./$libdir/libtemps.so.4.0.0
644 ./$libdir/libtemps.a
644 ./$libdir/pkgconfig/temps.pc
644 ./$libdir/cmake/temps/tempsConfig.cmake
644 ./$libdir/cmake/temps/tempsConfigVersion.cmake
644 ./$libdir/cmake/temps/tempsTargets.cmake
644 ./$libdir/cmake/temps/tempsTargets-relwithdebinfo.cmake
644 ./share/man/man3/temps.3.gz
644 ./share/man/man5/temps_correlation.5.gz
644 ./lib/systemd/system/check-korvane-web.service
644 ./lib/systemd/system/check-korvane-web.timer
644 ./lib/sysusers.d/korvane-watch.conf
644 ./lib/tmpfiles.d/korvane-watch.conf
644 ./share/doc/korvane-watch/examples/check_korvane_web.conf
644 ./share/korvane-watch/korvane_l2.rules.yml
644 ./share/man/man1/PERIODE.1.gz
644 ./share/man/man1/temps.1.gz
644 ./share/man/man1/check_korvane_web.1.gz
644 ./share/doc/libtemps-dev/examples/CMakeLists.txt
644 ./share/doc/libtemps-dev/examples/convert.cpp
644 ./share/doc/libtemps-dev/examples/labels.cpp
644 ./share/doc/libtemps-dev/examples/clock.correlation
$(for p in korvane-watch libtemps4 libtemps-dev temps; do
    printf '644 ./share/doc/%s/copyright\n644 ./share/doc/%s/changelog.gz\n' "$p" "$p"; done)
$(if [ -f "$build/python/temps/__init__.py" ]; then
    printf '644 ./lib/python3/dist-packages/temps/%s\n' __init__.py "$(cd "$build/python/temps" && ls _temps.*.so)"
    printf '644 ./share/doc/python3-temps/%s\n' copyright changelog.gz
  fi)
EOF2
)
[ "$got" = "$want" ] || fail "install tree differs:"$'\n'"$(diff <(echo "$want") <(echo "$got"))"
[ "$("$tmp/stage$prefix/bin/PERIODE" 20040227 20040302)" = "$want_dates" ] || fail "installed PERIODE"

echo "== manual pages"
for page in "$tmp/stage$prefix"/share/man/man*/*.gz; do
  if command -v mandoc >/dev/null; then
    out=$(zcat "$page" | mandoc -T lint -W warning 2>&1) || fail "mandoc: $page"
  else
    out=$(zcat "$page" | groff -man -t -ww -z 2>&1) || fail "groff: $page"
  fi
  [ -z "$out" ] || fail "$(basename "$page"): $out"
done

echo "== systemd units"
if command -v systemd-analyze >/dev/null; then
  units="$tmp/units"
  mkdir -p "$units"
  # verify wants ExecStart to exist: point it at the staged program.
  sed "s|^ExecStart=.*|ExecStart=$tmp/stage$prefix/bin/check_korvane_web|" \
    "$tmp/stage$prefix/lib/systemd/system/check-korvane-web.service" > "$units/check-korvane-web.service"
  cp "$tmp/stage$prefix/lib/systemd/system/check-korvane-web.timer" "$units/"
  systemd-analyze verify --man=no "$units/check-korvane-web.service" "$units/check-korvane-web.timer" ||
    fail "systemd-analyze verify"
else
  echo "SKIPPED: systemd-analyze is not installed; units not verified"
fi

echo "== Debian package"
# Packaged under /usr, as the Debian package is (lintian looks for each
# package's copyright and changelog in /usr/share/doc).
(cd "$build" && cpack -G DEB -D CPACK_PACKAGING_INSTALL_PREFIX=/usr -B "$tmp/pkg" >/dev/null)
deb=$(ls "$tmp"/pkg/korvane-watch_*.deb)
lib=$(ls "$tmp"/pkg/libtemps4_*.deb) dev=$(ls "$tmp"/pkg/libtemps-dev_*.deb)
lib_files=$(dpkg-deb --contents "$lib") dev_files=$(dpkg-deb --contents "$dev")
grep -q 'libtemps.so.4 -> libtemps.so.4.0.0$' <<<"$lib_files" || fail "libtemps4: no SONAME link"
grep -q 'include/\|\.a$' <<<"$lib_files" && fail "libtemps4 holds development files"
dpkg-deb --info "$lib" > "$tmp/lib-info"
grep -q ' shlibs *$' "$tmp/lib-info" || fail "libtemps4: no shlibs file"
grep -q ' triggers *$' "$tmp/lib-info" || fail "libtemps4: no ldconfig trigger"
grep -q "^ Depends: libtemps4 (= 4.0.0)" <(dpkg-deb --info "$dev") || fail "libtemps-dev: not tied to its libtemps4"
for file in include/temps/temps.h include/temps/legacy.h libtemps.a libtemps.so temps.pc tempsConfig.cmake man3/temps.3.gz \
            examples/clock.correlation examples/convert.cpp; do
  grep -q "$file\( -> .*\)\?$" <<<"$dev_files" || fail "not in libtemps-dev: $file"
done
if command -v lintian >/dev/null; then
  # What lintian still reports of a build for the tests is listed in
  # packaging/lintian-expected. A build tree under /tmp (a CI clone) also
  # puts its state file there, which purge removes.
  cp "$(dirname "$0")/../packaging/lintian-expected" "$tmp/expected"
  case "$(sed -n 's/^KORVANE_STATE_PATH:STRING=//p' "$build/CMakeCache.txt")" in
    /tmp/*) echo possibly-insecure-handling-of-tmp-files-in-maintainer-script >> "$tmp/expected" ;;
  esac
  lintian "$tmp"/pkg/*.deb 2>/dev/null | awk '/^[EW]: / {print $3}' | sort -u |
    grep -vxF -f "$tmp/expected" > "$tmp/lintian" || true
  [ -s "$tmp/lintian" ] && fail "lintian reports:"$'\n'"$(cat "$tmp/lintian")"
else
  echo "SKIPPED lintian: not installed"
fi
info=$(dpkg-deb --info "$deb")
for field in "Package: korvane-watch" "Version: " "Maintainer: KORVANE operations" \
             "Depends: .*libc6" "Depends: .*acl" "Section: utils" "Description: KORVANE"; do
  grep -q "^ $field" <<<"$info" || fail "control field missing: $field"
done
contents=$(dpkg-deb --contents "$deb")
for file in bin/PERIODE bin/check_korvane_web man1/PERIODE.1.gz man1/check_korvane_web.1.gz \
            system/check-korvane-web.service system/check-korvane-web.timer; do
  grep -q "$file\$" <<<"$contents" || fail "not in the package: $file"
done
# The maintainer scripts make the page's folder and its grant, and purge
# takes the grant back.
dpkg-deb -e "$deb" "$tmp/control"
grep -q 'systemd-tmpfiles --create korvane-watch.conf$' "$tmp/control/postinst" || fail "postinst: no tmpfiles run"
# The grant, as postinst makes it and postrm takes it back, on folders of
# the test's own: the account (uid 65534 here) may write, no other entry
# gains a right, and purge puts each ACL back exactly as it was.
if command -v getfacl >/dev/null; then
  acl_code() { sed -n "/^# >>> acl $1/,/^# <<< acl $1/p" "$tmp/control/$2"; }
  mkdir -m 755 "$tmp/plain" "$tmp/masked"
  # A group entry the mask narrows to r-x: granting must not widen it.
  setfacl -m g:65533:rwx,m::r-x "$tmp/masked"
  for dir in plain masked; do getfacl -p -c -n "$tmp/$dir" > "$tmp/$dir.before"; done
  (account=65534 saved_acls="$tmp/saved"; eval "$(acl_code grant postinst)"; grant "$tmp/plain"; grant "$tmp/masked"; grant "$tmp/masked")
  effective() { getfacl -p -c -n -e "$1" | awk -v e="$2" 'index($0, e) == 1 { sub(/.*#effective:/, ""); print }'; }
  for dir in plain masked; do
    [ "$(getfacl -p -c -n "$tmp/$dir" | sed -n 's/^user:65534://p')" = rwx ] && [ "$(getfacl -p -c -n "$tmp/$dir" | sed -n 's/^mask:://p')" = rwx ] ||
      fail "the grant does not let the account write in $dir: $(getfacl -p -c -n "$tmp/$dir" | tr '\n' ' ')"
  done
  [ "$(getfacl -p -c -n "$tmp/masked" | sed -n 's/^group:65533://p')" = r-x ] ||
    fail "the grant widened a masked entry: $(getfacl -p -c -n "$tmp/masked" | tr '\n' ' ')"
  [ "$(getfacl -p -c -n "$tmp/plain" | sed -n 's/^group:://p')" = r-x ] || fail "the grant widened the folder's group"
  (account=65534 saved_acls="$tmp/saved"; eval "$(acl_code restore postrm)"; restore "$tmp/plain"; restore "$tmp/masked")
  for dir in plain masked; do
    diff <(getfacl -p -c -n "$tmp/$dir") "$tmp/$dir.before" >/dev/null ||
      fail "purge leaves $dir otherwise: $(getfacl -p -c -n "$tmp/$dir" | tr '\n' ' ')"
  done
  [ -z "$(getfacl -p -cs "$tmp/plain")" ] && [ "$(stat -c %a "$tmp/plain")" = 755 ] || fail "purge leaves an ACL on plain"
else
  echo "SKIPPED the grant: getfacl is not installed (Debian package acl)"
fi
grep -q '^d /' "$tmp/stage$prefix/lib/tmpfiles.d/korvane-watch.conf" || fail "tmpfiles.d: page folder not made"
# The state: a folder the unit may write in, made for the account; purge
# removes it with the metrics file and what a killed run left of them.
state=$(sed -n 's/^KORVANE_STATE_PATH:STRING=//p' "$build/CMakeCache.txt")
unit="$tmp/stage$prefix/lib/systemd/system/check-korvane-web.service"
case "$state" in
  /var/lib/*) grep -qx "StateDirectory=$(dirname "${state#/var/lib/}")" "$unit" || fail "unit: no StateDirectory" ;;
  ?*) grep -q "^ReadWritePaths=.*$(dirname "$state")" "$unit" || fail "unit: the state's folder is read-only" ;;
esac
[ -z "$state" ] || grep -q "^d $(dirname "$state") 0755 " "$tmp/stage$prefix/lib/tmpfiles.d/korvane-watch.conf" ||
  fail "tmpfiles.d: state folder not made"
# The maintainer scripts on folders of the test's own, with nothing of
# systemd on the PATH (a container, a host that runs cron): postinst makes
# every folder the account writes, the state's the account's; remove takes
# the metrics; purge leaves nothing of the package, and a folder that was
# there before stays.
scripts() {  # scripts ROOT: the maintainer scripts with every path under ROOT
  for script in postinst postrm; do
    sed -e "s|^metrics=.*|metrics=$1/metrics/korvane_l2.prom|" -e "s|^lock_metrics=.*|lock_metrics=$1/metrics/korvane_l2_lock.prom|" \
        -e "s|^state=.*|state=$1/state/survey.state|" -e "s|^state_dir=.*|state_dir=$1/state|" \
        -e "s|^saved_acls=.*|saved_acls=$1/state/acl-before-install|" -e "s|^overview=.*|overview=$1/www/overview.html|" \
        -e "s|^status=.*|status=$1/www/status.json|" -e "s|^timer_stamp=.*|timer_stamp=$1/stamp|" \
        -e "s|^grant_dirs=.*|grant_dirs=\"$1/www $1/metrics\"|" -e "s|^account=.*|account=${2:-nobody}|" \
        "$tmp/control/$script" > "$1.$script"
  done
}
nosystemd="$tmp/nosystemd-bin"
mkdir -p "$nosystemd"
for d in /usr/local/bin /usr/bin /bin /usr/sbin /sbin; do
  for t in "$d"/*; do
    case "${t##*/}" in systemd*|systemctl) continue ;; esac
    [ -e "$nosystemd/${t##*/}" ] || ln -s "$t" "$nosystemd/${t##*/}"
  done
done
if [ "$(id -u)" = 0 ] && getent passwd nobody >/dev/null; then
  root="$tmp/pi"
  mkdir -p "$root/www" && chmod 755 "$tmp" "$root" "$root/www"
  scripts "$root"
  PATH="$nosystemd" sh "$root.postinst" configure || fail "postinst without systemd failed"
  [ "$(stat -c '%U %a' "$root/state" 2>/dev/null)" = "nobody 755" ] ||
    fail "postinst without systemd: the state's folder is $(stat -c '%U %a' "$root/state" 2>&1)"
  [ -d "$root/metrics" ] || fail "postinst without systemd: no metrics folder"
  for f in state/survey.state metrics/korvane_l2.prom www/status.json; do
    runuser -u nobody -- sh -c "echo > '$root/$f'" 2>/dev/null || fail "the account cannot write $f"
  done
  for f in state/.survey.state.lock state/.survey.state.korvane-new.Ab12Cd metrics/korvane_l2_lock.prom \
           metrics/.korvane_l2.prom.korvane-new.Xy34Zw www/overview.html stamp; do
    mkdir -p "$(dirname "$root/$f")" && : > "$root/$f"
  done
  rm "$root/state/.survey.state.lock" && mkdir "$root/state/.survey.state.lock"
  : > "$root/www/check_korvane_web.html"  # the last page stays
  sh "$root.postrm" remove
  [ -e "$root/metrics/korvane_l2.prom" ] || [ -e "$root/metrics/korvane_l2_lock.prom" ] &&
    fail "remove keeps the metrics: its last run says success for ever"
  [ -e "$root/state/survey.state" ] || fail "remove (not purge) took the state"
  PATH="$nosystemd" sh "$root.postrm" purge
  [ "$(cd "$root" && find . -mindepth 1 | sort | tr '\n' ' ')" = "./www ./www/check_korvane_web.html " ] ||
    fail "purge left: $(cd "$root" && find . -mindepth 1 | sort | tr '\n' ' ')"
else
  echo "SKIPPED the maintainer scripts without systemd: they need root and the account nobody"
fi
grep -q "share/korvane-watch/korvane_l2.rules.yml$" <<<"$contents" || fail "not in the package: the alert rules"
command=$(ls "$tmp"/pkg/temps_*.deb)
grep -q "^ Depends: libtemps4 (= 4.0.0), tzdata" <(dpkg-deb --info "$command") || fail "temps: not tied to libtemps4 and tzdata"
grep -q "bin/temps$" <(dpkg-deb --contents "$command") || fail "temps: no /usr/bin/temps"
# The Python module, where the build has it: importable from the package's
# files with its library, by Debian's Python.
if python=$(ls "$tmp"/pkg/python3-temps_*.deb 2>/dev/null); then
  grep -q "^ Depends: libtemps4 (= 4.0.0), python3 (>= 3.11~), python3 (<< 3.12), python3-numpy" <(dpkg-deb --info "$python") ||
    fail "python3-temps: not tied to libtemps4, Python 3.11 and NumPy"
  dpkg-deb -x "$python" "$tmp/python" && dpkg-deb -x "$lib" "$tmp/python"
  got=$(cd "$tmp" && PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$tmp/python/usr/lib/python3/dist-packages" \
        LD_LIBRARY_PATH="$(dirname "$(find "$tmp/python/usr/lib" -name 'libtemps.so.4' | head -1)")" \
        /usr/bin/python3 -c 'import temps; print(temps.convert([0], "tt2000", "tai")[0])' 2>&1) ||
    fail "python3-temps: import temps: $got"
  [ "$got" = "2000-01-01T11:59:27.816000000" ] || fail "python3-temps: convert gave $got"
  packages_with_docs=python3-temps
else
  echo "SKIPPED python3-temps: the build has no Python module"
fi
dpkg-deb -x "$deb" "$tmp/unpacked"
[ "$("$tmp/unpacked/usr/bin/PERIODE" 20040227 20040302)" = "$want_dates" ] || fail "packaged PERIODE"
for p in korvane-watch libtemps4 libtemps-dev temps ${packages_with_docs:-}; do
  dpkg-deb -x "$tmp"/pkg/${p}_*.deb "$tmp/doc-$p"
  [ "$(zcat "$tmp/doc-$p/usr/share/doc/$p/changelog.gz" | sed -n '1s/.*(\(.*\)).*/\1/p')" = "$(dpkg-deb -f "$tmp"/pkg/${p}_*.deb Version)" ] ||
    fail "$p: the changelog's last entry is not the package's version"
done

if [ "$failures" -gt 0 ]; then echo "$failures failures"; exit 1; fi
echo "packaging: all checks passed"
