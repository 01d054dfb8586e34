#!/usr/bin/env bash
# check_korvane_web under the system-call filter of the unit this build
# ships: the filter is expanded as systemd expands it (the allowed groups,
# less the denied ones), loaded with a default action that kills, and the
# program runs under it as an unprivileged account: a first run, a run
# that replaces every output and the state, and a failed run. Each must
# end as it does without the filter. Also checks the unit's other
# settings that a run depends on.
# Usage: sandbox_test.sh BUILD_DIR WORK SECCOMP_RUN
# Exit status 77 when it cannot run (no systemd-analyze or libseccomp).
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2 launcher=$3
unit="$build/packaging/generated/check-korvane-web.service"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== the unit's settings"
grep -qx 'SystemCallErrorNumber=EPERM' "$unit" || fail "no SystemCallErrorNumber=EPERM: a denied call kills the run"
while read -r paths; do
  for p in $paths; do
    case "$p" in -*) ;; *) fail "ReadWritePaths=$p: a folder removed makes the unit fail (226/NAMESPACE)" ;; esac
  done
done < <(sed -n 's/^ReadWritePaths=//p' "$unit")

command -v systemd-analyze >/dev/null || { echo "SKIPPED: systemd-analyze is not installed (Debian package systemd)"; exit 77; }
[ -x "$launcher" ] || { echo "SKIPPED: no seccomp launcher (Debian package libseccomp-dev)"; exit 77; }
if grep -q 'fsanitize' "$build/CMakeCache.txt"; then
  echo "SKIPPED: a sanitizer's runtime makes system calls of its own"; exit 77
fi

# The calls of a group, nested groups expanded.
expand() {
  systemd-analyze syscall-filter "$1" | sed -e 's/^ *//' -e '/^#/d' -e '/^$/d' | tail -n +2 |
    while read -r name; do
      case "$name" in @*) expand "$name" ;; *) echo "$name" ;; esac
    done
}
allowed="$work.allowed"
first=1
: > "$allowed"
while read -r filter; do
  if [ "${filter#\~}" != "$filter" ]; then
    for group in ${filter#\~}; do expand "$group"; done | sort -u > "$allowed.denied"
    grep -vxF -f "$allowed.denied" "$allowed" > "$allowed.new" || true
    mv "$allowed.new" "$allowed"
  else
    [ "$first" = 1 ] || { fail "a second allow-list"; continue; }
    for group in $filter; do expand "$group"; done | sort -u > "$allowed"
  fi
  first=0
done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
# What systemd always allows beside the filter.
printf '%s\n' execve exit exit_group getrlimit rt_sigreturn sigreturn >> "$allowed"
[ "$(wc -l < "$allowed")" -gt 100 ] || fail "the filter expands to $(wc -l < "$allowed") calls"
grep -qx fchown "$allowed" && fail "fchown is allowed: the filter does not deny @chown"

# As the service's account would: an unprivileged one.
as_account=()
[ "$(id -u)" = 0 ] && as_account=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fresh() { rm -rf "$work"; mkdir -p -m 755 "$work" "$work/bin"; mkdir -p -m 777 "$work/DATA" "$work/www" "$work/metrics" "$work/state"
          install -m 755 "$build/tests/check_korvane_web_under_test" "$work/bin/check_korvane_web"
          mkdir -p "$work/DATA/20040705" && : > "$work/DATA/20040705/KORVANE_VAK_SURVEY_20040705_V01.bin"; }
runs() {  # runs [LAUNCHER...]: the three runs, "status output" a line each
  fresh
  for step in first again failed; do
    [ "$step" = failed ] && mv "$work/DATA" "$work/DATA.away"
    set +e; out=$("${as_account[@]}" "$@" "$work/bin/check_korvane_web" 2>&1); status=$?; set -e
    echo "$step $status $out"
  done
}
echo "== runs without and with the filter"
plain=$(runs)
confined=$(runs "$launcher" "$allowed" --)
echo "$confined"
[ "$plain" = "$confined" ] || fail "the filtered runs end otherwise:"$'\n'"$(diff <(echo "$plain") <(echo "$confined"))"
grep -q '^again 0 http://' <<<"$confined" || fail "the second run did not succeed"
grep -q '^failed 255 FATAL ERROR DATA STORE' <<<"$confined" || fail "the failed run did not say so"
rm -rf "$work" "$allowed" "$allowed.denied"
[ "$failures" = 0 ] || { echo "$failures failures"; exit 1; }
echo "sandbox: all checks passed"
