#!/usr/bin/env bash
# Real faults for check_korvane_web, in a private mount namespace so that
# nothing of the host is touched: the copy of the program built against a
# store and a page in the build tree meets a full filesystem, a read-only
# page folder, a day folder it may not search and a read-only store.
# Usage: faults_test.sh BUILD_DIR WORK    (as root; exit status 77 when it cannot run)
# WORK is the world-searchable folder that program is built to use; the
# binary is staged there so that the unprivileged account can run it.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
store="$work/DATA" www="$work/www" page="$work/www/check_korvane_web.html"
bin="$work/bin/check_korvane_web"

# In CI (CI=true) every case must run: a skip is a failure there.
skip() { echo "SKIPPED all cases: $1"; [ "${CI:-}" = true ] && exit 1; exit 77; }
if [ -z "${KORVANE_FAULTS_NS:-}" ]; then
  [ "$(id -u)" = 0 ] || skip "needs root for mounts"
  unshare -m true 2>/dev/null || skip "no mount namespaces"
  exec env KORVANE_FAULTS_NS=1 unshare -m --propagation private "$0" "$@"
fi

failures=0 report=()
result() {  # result CASE OK DETAIL
  if [ "$2" = 0 ]; then report+=("PASS  $1"); else report+=("FAIL  $1: $3"); failures=$((failures + 1)); fi
}
fresh() { umount -R "$www" 2>/dev/null || true; umount -R "$store" 2>/dev/null || true
          umount -R "$work/state" 2>/dev/null || true
          rm -rf "$work"; mkdir -p -m 755 "$work" "$store" "$www" "$work/bin"
          mkdir -m 777 "$work/metrics" "$work/state"
          install -m 755 "$build/tests/check_korvane_web_under_test" "$bin"; }
strays() { find "$www" -mindepth 1 ! -path "$page" ! -name check_korvane_web_overview.html \
             ! -name check_korvane_web.json | wc -l; }
body() { tail -n +4 "$1"; }  # the page without its banner
add_day() { mkdir -p "$store/$1"
  for name in VAK_SURVEY TOQ_HFx1024 ZEL_VLF1024 HUV_BURSTx PEX_xxxxxx VAK_ORBITO; do
    : > "$store/$1/KORVANE_${name}_$1_V01.bin"; done; }
green_row() { printf '<td>%s</td>' "$1"; for _ in 1 2 3 4 5 6; do printf '<td bgcolor="#00b000"></td>'; done; }
red_row() { printf '<td>%s</td>' "$1"; for _ in 1 2 3 4 5 6; do printf '<td bgcolor="#b00000"></td>'; done; }

# 1. The page's folder on a filesystem too small for the page: a real ENOSPC.
fresh
mount -t tmpfs -o size=128k,mode=755 tmpfs "$www"
printf 'previous page' > "$page"
set +e; out=$("$bin"); status=$?; set -e
ok=1
[ "$out" = "FATAL ERROR WRITE $page" ] && [ "$status" = 255 ] &&
  [ "$(cat "$page")" = "previous page" ] && [ "$(strays)" = 0 ] && ok=0
result "page folder full (ENOSPC)" $ok "status $status, output '$out', $(strays) stray files"

# 2. The page's folder read-only.
fresh
mount -t tmpfs -o size=4m,mode=755 tmpfs "$www"
printf 'previous page' > "$page"
mount -o remount,ro "$www"
set +e; out=$("$bin"); status=$?; set -e
ok=1
[ "$out" = "FATAL ERROR OPEN WRITE MODE $page" ] && [ "$status" = 255 ] &&
  [ "$(cat "$page")" = "previous page" ] && ok=0
result "page folder read-only" $ok "status $status, output '$out'"

# The state's folder full: the page is replaced, the run fails, and the
# status file says so; the state's folder keeps nothing half-written.
fresh
mount -t tmpfs -o size=16k,mode=777 tmpfs "$work/state"
set +e; out=$("$bin"); status=$?; set -e
ok=1
[ "$out" = "FATAL ERROR WRITE $work/state/survey.state" ] && [ "$status" = 255 ] && grep -qF '<td>Date</td>' "$page" &&
  grep -qF '"success": false, "message": "FATAL ERROR WRITE '"$work/state/survey.state"'"}}' "$www/check_korvane_web.json" &&
  [ "$(ls -A "$work/state")" = .survey.state.lock ] && ok=0  # nothing but the run lock
result "state folder full (ENOSPC)" $ok "status $status, output '$out', state folder: $(ls -A "$work/state" | tr '\n' ' ')"

# 3. A day folder that the running account (nobody) may not search.
if command -v setpriv >/dev/null; then
  fresh
  chmod 777 "$www"
  add_day 20040705; add_day 20040706; add_day 20040707
  chmod 700 "$store/20040706"
  set +e
  out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$bin"); status=$?
  set -e
  ok=1
  text=$(cat "$page" 2>/dev/null || true)
  [ "$status" = 0 ] && grep -qF "$(green_row 05/07/2004)</tr>" <<<"$text" &&
    grep -qF "$(red_row 06/07/2004)</tr>" <<<"$text" && grep -qF "$(green_row 07/07/2004)</tr>" <<<"$text" &&
    [ "$(grep -o '#00b000' <<<"$text" | wc -l)" = 12 ] && ok=0
  result "day folder not searchable (as nobody)" $ok "status $status, output '$out'"
else
  report+=("SKIP  day folder not searchable: setpriv is not installed")
  [ "${CI:-}" = true ] && failures=$((failures + 1))
fi

# 4. The data store on a read-only mount: the same page as read-write.
fresh
add_day 20040705; add_day 20080229; add_day 20110314
rm "$store/20080229/KORVANE_TOQ_HFx1024_20080229_V01.bin"
"$bin" >/dev/null && body "$page" > "$build/rw-page"
mount --bind "$store" "$store" && mount -o remount,bind,ro "$store"
set +e; out=$("$bin"); status=$?; set -e
ok=1
[ "$status" = 0 ] && cmp -s <(body "$page") "$build/rw-page" && ok=0
result "data store read-only" $ok "status $status, output '$out'"
rm -f "$build/rw-page"

# 5. Runs killed mid-survey (slowed down by strace) and by the file size
# limit: never a file left beside the page, the previous page intact.
killed() {  # killed CASE STATUS
  ok=1
  [ "$2" = "$3" ] && [ "$(cat "$page")" = "previous page" ] && [ "$(strays)" = 0 ] && ok=0
  result "$1" $ok "status $2, $(strays) stray files: $(ls -A "$www" | tr '\n' ' ')"
}
if command -v strace >/dev/null && command -v pgrep >/dev/null; then
  for sig in TERM INT HUP KILL; do
    fresh; printf 'previous page' > "$page"
    # A background job starts with SIGINT ignored: give it back its default.
    strace -f -qq -o /dev/null -e inject=access:delay_enter=2000 \
      env --default-signal=INT "$bin" >/dev/null &
    tracer=$!
    child=""
    # The traced child, once it runs the program (not strace's own fork).
    for _ in $(seq 200); do
      child=$(pgrep -P "$tracer" || true)
      [ -n "$child" ] && [ "$(readlink "/proc/$child/exe" 2>/dev/null)" = "$bin" ] && break
      sleep 0.01
    done
    sleep 0.3
    kill -s "$sig" "$child" 2>/dev/null || true
    set +e; wait "$tracer"; status=$?; set -e
    killed "run killed by SIG$sig" "$(kill -l "$((status - 128))" 2>/dev/null || echo "$status")" "$sig"
  done
else
  report+=("SKIP  killed runs: strace or pgrep is not installed")
  [ "${CI:-}" = true ] && failures=$((failures + 1))
fi
# A file size limit fails the write; the run says so and reports it.
fresh; printf 'previous page' > "$page"
set +e; out=$(prlimit --fsize=100000 "$bin"); status=$?; set -e
ok=1
[ "$status" = 255 ] && [ "$out" = "FATAL ERROR WRITE $page" ] && [ "$(cat "$page")" = "previous page" ] &&
  [ "$(strays)" = 0 ] && grep -qx 'korvane_l2_last_run_success 0' "$work/metrics/korvane_l2.prom" && ok=0
result "file size limit (EFBIG, not SIGXFSZ)" $ok "status $status, output '$out', $(strays) stray files"

# No /proc (a chroot, some containers): the new page is named from the start.
# The sanitizers' runtime itself needs /proc.
if grep -q 'fsanitize' "$build/CMakeCache.txt"; then
  report+=("SKIP  no /proc: a sanitizer build cannot run without /proc")
else
  fresh; printf 'previous page' > "$page"
  set +e
  out=$(unshare -m --propagation private sh -c 'mount -t tmpfs none /proc && exec "$0"' "$bin"); status=$?
  set -e
  ok=1
  [ "$status" = 0 ] && grep -qF '<td>Date</td>' "$page" && [ "$(strays)" = 0 ] && ok=0
  result "no /proc" $ok "status $status, output '$out', $(strays) stray files"
fi

# 6. A file whose status-change time is 0 (set in an ext2 image) exists.
fresh
if command -v mkfs.ext2 >/dev/null && command -v debugfs >/dev/null; then
  image="$work/store.img"
  dd if=/dev/zero of="$image" bs=1M count=4 status=none && mkfs.ext2 -q "$image"
  if mount -o loop "$image" "$store" 2>/dev/null; then
    add_day 20040705
    umount "$store"
    debugfs -w -R "sif /20040705/KORVANE_ZEL_VLF1024_20040705_V01.bin ctime 19700101000000" "$image" 2>/dev/null
    mount -o loop,ro "$image" "$store"
    set +e; out=$("$bin"); status=$?; set -e
    ok=1
    [ "$status" = 0 ] && [ "$(stat -c %Z "$store/20040705/KORVANE_ZEL_VLF1024_20040705_V01.bin")" = 0 ] &&
      grep -qF "$(green_row 05/07/2004)</tr>" "$page" && ok=0
    result "a file whose status-change time is 0" $ok "status $status, output '$out'"
    umount "$store"
  else
    report+=("SKIP  status-change time 0: no loop device to mount an ext2 image")
    [ "${CI:-}" = true ] && failures=$((failures + 1))
  fi
else
  report+=("SKIP  status-change time 0: mkfs.ext2 or debugfs is not installed")
fi

fresh
rm -rf "$work"
printf '%s\n' "${report[@]}"
[ "$failures" = 0 ] || { echo "$failures failures"; exit 1; }
echo "faults: all cases passed"
