#!/usr/bin/env bash
# The Debian package under a real systemd, as it ships: Debian 12's systemd
# booted as PID 1 of a container (systemd-nspawn), the package installed
# with dpkg inside, then the service started as its timer would start it.
# Three runs in a row each succeed and rewrite every output; a vanished
# file is reported; a missing store and a store whose mount fails each
# reach the outputs in one run; purge leaves nothing of the package.
# Usage: systemd_test.sh SOURCE_DIR BUILD_DIR
# The container's root is made once with debootstrap and kept in the build
# tree; each run boots a copy of it. Exit status 77 (skipped) without root,
# debootstrap, systemd-nspawn or nsenter.
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
PATH=$PATH:/usr/sbin:/sbin
[ "$(id -u)" = 0 ] || { echo "SKIPPED: needs root to boot a container"; exit 77; }
missing=()
for tool in debootstrap systemd-nspawn nsenter dpkg-deb; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[ ${#missing[@]} = 0 ] || { echo "SKIPPED: not installed: ${missing[*]} (Debian packages debootstrap, systemd-container)"; exit 77; }

cache="$build/systemd-root"
if [ ! -x "$cache/lib/systemd/systemd" ]; then
  echo "== debootstrap, once for this build tree"
  rm -rf "$cache.new"
  debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,acl,adduser bookworm "$cache.new" \
    http://deb.debian.org/debian > "$build/systemd-root.log" 2>&1 ||
    { tail -5 "$build/systemd-root.log"; echo "SKIPPED: debootstrap could not make the container's root"; exit 77; }
  mv "$cache.new" "$cache"
fi

tmp=$(mktemp -d)
nspawn_pid=""
cleanup() {
  if [ -n "$nspawn_pid" ]; then
    kill "$nspawn_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$nspawn_pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$nspawn_pid" 2>/dev/null || true
    wait "$nspawn_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== the package, built as make package builds it"
pkg_build="$build/systemd-package"
cmake -S "$src" -B "$pkg_build" --preset package >/dev/null
cmake --build "$pkg_build" -j2 --target check_korvane_web PERIODE man_pages debian_changelog >/dev/null
(cd "$pkg_build" && cpack -G DEB -D CPACK_COMPONENTS_ALL=programs -B "$tmp/pkg" >/dev/null)
deb=$(ls "$tmp"/pkg/korvane-watch_*.deb)

echo "== boot"
root="$tmp/root"
cp -a "$cache" "$root"
cp "$deb" "$root/root/korvane-watch.deb"
systemd-nspawn -D "$root" -b --register=no --keep-unit --private-network --console=pipe \
  > "$tmp/console.log" 2>&1 < /dev/null &
nspawn_pid=$!
init=""
for _ in $(seq 100); do
  init=$(pgrep -P "$nspawn_pid" -x systemd || true)
  [ -n "$init" ] && [ "$(nsenter -t "$init" -a systemctl is-system-running 2>/dev/null || true)" = running ] && break
  kill -0 "$nspawn_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$init" ] || { tail -20 "$tmp/console.log"; echo "FAIL: the container did not boot"; exit 1; }
inside() { nsenter -t "$init" -a "$@"; }

echo "== install"
inside dpkg -i /root/korvane-watch.deb > "$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -i"; }
store=/DATA/KORVANE/DATA/L2
inside sh -c "mkdir -p $store/20040705 $store/20040706 && for d in 20040705 20040706; do
  for n in VAK_SURVEY TOQ_HFx1024 VAK_ORBITO; do : > $store/\$d/KORVANE_\${n}_\${d}_V01.bin; done; done"
outputs="/var/www/html/check_korvane_web.html /var/www/html/check_korvane_web_overview.html
  /var/www/html/check_korvane_web.json /var/lib/prometheus/node-exporter/korvane_l2.prom
  /var/lib/korvane-watch/survey.state"
# start: one run of the service, as the timer starts it; its Result=.
start() {
  inside systemctl start check-korvane-web.service 2>/dev/null || true
  inside systemctl show -P Result check-korvane-web.service
}
inodes() { inside stat -c %i:%.9Z $outputs 2>/dev/null | tr "\n" " "; }
metric() { inside sed -n "s/^$1 //p" /var/lib/prometheus/node-exporter/korvane_l2.prom; }

echo "== three runs in a row"
before=""
for n in 1 2 3; do
  result=$(start)
  [ "$result" = success ] || { fail "run $n: Result=$result"; inside journalctl -u check-korvane-web.service --no-pager | tail -5; }
  now=$(inodes)
  [ "$(wc -w <<<"$now")" = 5 ] || fail "run $n: not every output is there: $now"
  for i in $before; do grep -qw "$i" <<<"$now" && fail "run $n: an output was not rewritten"; done
  before=$now
  [ "$(metric korvane_l2_last_run_success)" = 1 ] || fail "run $n: the metrics say the run failed"
done
[ "$(inside stat -c %U /var/lib/korvane-watch/survey.state)" = zirpal ] || fail "the state is not the account's"

echo "== a vanished file"
inside rm "$store/20040706/KORVANE_TOQ_HFx1024_20040706_V01.bin"
[ "$(start)" = success ] || fail "the run after a file vanished failed"
[ "$(metric 'korvane_l2_changes{product="TOQ",change="vanished"}')" = 1 ] || fail "the vanished file is not in the metrics"
inside grep -q '"vanished": \[$' /var/www/html/check_korvane_web.json || fail "the vanished file is not in the status file"

echo "== a missing store"
inside mv /DATA/KORVANE /DATA/KORVANE.away
[ "$(start)" = exit-code ] || fail "a run without its store did not fail"
[ "$(metric korvane_l2_last_run_success)" = 0 ] || fail "a missing store is not in the metrics"
inside grep -q '"message": "FATAL ERROR DATA STORE /DATA/KORVANE/DATA/L2/"' /var/www/html/check_korvane_web.json ||
  fail "a missing store is not in the status file"
inside mv /DATA/KORVANE.away /DATA/KORVANE
[ "$(start)" = success ] || fail "the store back: the run failed"

echo "== a store whose mount fails"
# The store lives on its disk; the mount point alone is an empty folder.
inside sh -c 'mv /DATA /DATA.disk && mkdir /DATA && printf "[Mount]\nWhat=none\nWhere=/DATA\nType=korvane-no-such-fs\n" > /etc/systemd/system/DATA.mount && systemctl daemon-reload'
inside systemctl start DATA.mount 2>/dev/null && fail "the store's mount did not fail"
result=$(start)
[ "$result" = exit-code ] || fail "with the store's mount failed, the run gave Result=$result, not a failed run"
[ "$(metric korvane_l2_last_run_success)" = 0 ] || fail "a failed store mount is not in the metrics"
inside grep -q '"success": false, "message": "FATAL ERROR DATA STORE' /var/www/html/check_korvane_web.json ||
  fail "a failed store mount is not in the status file"

echo "== purge"
inside systemctl enable --now check-korvane-web.timer >/dev/null 2>&1 || fail "the timer cannot be enabled"
inside touch /var/lib/systemd/timers/stamp-check-korvane-web.timer
inside dpkg --purge korvane-watch > "$tmp/purge.log" 2>&1 || { cat "$tmp/purge.log"; fail "dpkg --purge"; }
left=$(inside sh -c 'ls -d /var/lib/korvane-watch /var/lib/prometheus /var/www/html/check_korvane_web.json \
  /var/www/html/check_korvane_web_overview.html /var/lib/systemd/timers/stamp-check-korvane-web.timer \
  /lib/systemd/system/check-korvane-web.service 2>/dev/null' || true)
[ -z "$left" ] || fail "purge left: $left"

if [ "$failures" -gt 0 ]; then echo "$failures failures"; exit 1; fi
echo "systemd: all checks passed"
