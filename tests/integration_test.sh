#!/usr/bin/env bash
# A demo store and page of the test's own (never the user's demo), served
# by a real nginx on a loopback port, from a configuration made from the
# packaged example, and read by a real browser (headless Chromium).
# Usage: integration_test.sh BUILD_DIR PROGRAM WORK_DIR [SCREENSHOT.png]
# PROGRAM is a build of check_korvane_web whose store, outputs and state
# lie under WORK_DIR. Exit status 77 (skipped) when nginx, curl or
# chromium is missing.
set -euo pipefail
build=$(cd "$1" && pwd)
program=$2 work=$3
screenshot=${4:-}
# nginx lives in /usr/sbin, which an ordinary account's PATH may lack.
PATH=$PATH:/usr/sbin:/sbin
missing=()
for tool in nginx curl chromium; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[ ${#missing[@]} = 0 ] || { echo "SKIPPED: not installed: ${missing[*]}"; exit 77; }
# nginx's workers run unprivileged: they read the outputs from a copy
# under a world-searchable temporary folder, not from the checkout (which
# may sit in a private home).
tmp=$(mktemp -d)
chmod 755 "$tmp"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

echo "== demo page"
store="$work/DATA/KORVANE/DATA/L2/"
rm -rf "$work/DATA" "$work/www" "$work/metrics" "$work/state" && mkdir -p "$work/www" "$work/metrics" "$work/state"
# Options are never taken for a root: nothing is created for them.
for args in --help -h --full "--full --full" ""; do
  (cd "$tmp" && set +e && "$build/tools/make_demo_store" $args >/dev/null; echo $? > status)
  want=2; [ "$args" = --help ] && want=0
  [ "$(cat "$tmp/status")" = $want ] || fail "make_demo_store $args: status $(cat "$tmp/status")"
  [ "$(ls -A "$tmp")" = status ] || fail "make_demo_store $args created $(ls -A "$tmp")"
  rm -f "$tmp/status"
done
"$build/tools/make_demo_store" "$store"
# A second run finds the store as the first left it: no change.
for _ in 1 2; do "$program" >/dev/null || fail "run on the demo store"; done
grep -q '"vanished": \[\],' "$work/www/check_korvane_web.json" &&
  grep -q '"changed": \[\],' "$work/www/check_korvane_web.json" ||
  fail "a second run reports changes: $(grep -c '"date"' "$work/www/check_korvane_web.json") lines with a date"
tell() { cmake -DSTATUS="$work/www/check_korvane_web.json" -P "$(dirname "$0")/../tools/demo_changes.cmake" 2>&1; }
[ "$(tell | tail -n 1)" = "  no change" ] || fail "make demo does not tell: no change: $(tell)"
# Two files vanish before the run that is served: the overview names them.
# (Two days apart at least, so that the overview does not merge them.)
vanished=$(find "$store" -name 'KORVANE_VAK_SURVEY_*' | sort | sed -n '1p;3p')
rm $vanished
"$program"
# What make demo tells on the terminal, from the same status file.
first=$(basename "$(head -1 <<<"$vanished")" | sed -E 's/.*_([0-9]{4})([0-9]{2})([0-9]{2})_V01.bin/\1-\2-\3/')
told=$(tell)
[ "$(tail -n 1 <<<"$told")" = "  vanished: 2 files, first $first VAK" ] || fail "make demo tells: $told"
www="$tmp/www"
cp -r "$work/www" "$www"
chmod -R a+rX "$www"

echo "== nginx on loopback"
site="$build/packaging/generated/nginx/check_korvane_web.conf"
start_nginx() {  # start_nginx PORT: 0 once nginx answers on it
  sed -e "s|listen 80;|listen 127.0.0.1:$1;|" -e '/listen \[::\]:80;/d' \
      -e "s|^\( *root \).*;|\1$www;|" "$site" > "$tmp/site.conf"
  cat > "$tmp/nginx.conf" <<EOF2
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
daemon off;
events { worker_connections 16; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  access_log $tmp/access.log;
  client_body_temp_path $tmp/body;
  proxy_temp_path $tmp/proxy;
  fastcgi_temp_path $tmp/fastcgi;
  uwsgi_temp_path $tmp/uwsgi;
  scgi_temp_path $tmp/scgi;
  include $tmp/site.conf;
}
EOF2
  nginx -p "$tmp" -c "$tmp/nginx.conf" -t -q || return 2
  nginx -p "$tmp" -c "$tmp/nginx.conf" & nginx_pid=$!
  for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null || true; nginx_pid=""
  return 1
}
port=""
for _ in 1 2 3 4 5; do
  candidate=$((20000 + RANDOM % 40000))
  if start_nginx "$candidate"; then port=$candidate; break; fi
done
[ -n "$port" ] || { cat "$tmp/error.log" 2>/dev/null; echo "FAIL: nginx did not start"; exit 1; }
url="http://127.0.0.1:$port/check_korvane_web.html"
index_page=check_korvane_web_overview.html

head=$(curl -s -D - -o "$tmp/served.html" "$url")
grep -q '^HTTP/1.1 200' <<<"$head" || fail "status: $(head -1 <<<"$head")"
grep -qi '^Content-Type: text/html' <<<"$head" || fail "content type: $(grep -i content-type <<<"$head")"
grep -qi '^Cache-Control: max-age=60' <<<"$head" || fail "no short cache lifetime"
cmp -s "$tmp/served.html" "$www/check_korvane_web.html" || fail "served page differs from the file"
[ "$(curl -s -o /dev/null -w '%{http_code}' -X POST "$url")" = 403 ] || fail "POST accepted"
curl -s -o "$tmp/root.html" "http://127.0.0.1:$port/" && cmp -s "$tmp/root.html" "$www/$index_page" ||
  fail "/ does not serve $index_page"
# Before the first survey, / says so instead of answering 403.
mv "$www" "$tmp/www-kept" && mkdir "$www"
first=$(curl -s -w '\n%{http_code}' "http://127.0.0.1:$port/")
mv "$tmp/www-kept/"* "$www/" && rmdir "$tmp/www-kept"
[ "$(tail -n 1 <<<"$first")" = 503 ] && grep -q 'first survey .* has not run yet' <<<"$first" ||
  fail "/ before the first survey: $first"
json_head=$(curl -s -D - -o "$tmp/served.json" "http://127.0.0.1:$port/check_korvane_web.json")
grep -qi '^Content-Type: application/json' <<<"$json_head" || fail "status file type: $(grep -i content-type <<<"$json_head")"
cmp -s "$tmp/served.json" "$www/check_korvane_web.json" || fail "served status file differs"
touch "$www/.check_korvane_web.html.XXXXXX"
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/.check_korvane_web.html.XXXXXX")" = 404 ] ||
  fail "a page being written is served"
rm -f "$www/.check_korvane_web.html.XXXXXX"

echo "== headless Chromium"
chrome=(chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking
        --disable-component-update --disable-sync --user-data-dir="$tmp/chrome")
timeout 120 "${chrome[@]}" --dump-dom "$url" > "$tmp/dom.html" 2>/dev/null || fail "chromium failed"
count() { grep -oE "$1" "$tmp/dom.html" | wc -l; }
[ "$(count '<td>[0-9]{2}/[0-9]{2}/[0-9]{4}</td>')" = 2444 ] || fail "date rows: $(count '<td>[0-9]{2}/[0-9]{2}/[0-9]{4}</td>')"
[ "$(count '<td>Date</td>')" = 81 ] || fail "heading rows: $(count '<td>Date</td>')"
[ "$(count 'bgcolor="#(00b000|b00000)"')" = 14664 ] || fail "cells: $(count 'bgcolor="#(00b000|b00000)"')"

# The demo store is documented to read like a mission: every product
# present on most days but not all (outages, lost days, a late start, a
# failure). An all-red or all-green page means the demo tool or the probes
# went wrong, whatever the store holds.
shares=$(grep -oiE '<tr align="center"><td>[0-9/]{10}</td>(<td bgcolor="#[0-9a-f]{6}"></td>){6}' "$tmp/dom.html" |
  awk -F'bgcolor="#' '{for (i = 2; i <= 7; i++) if (substr($i, 1, 6) == "00b000") g[i]++}
       END {for (i = 2; i <= 7; i++) printf "%d ", 100 * g[i] / NR}')
echo "green share per product (%): $shares"
for share in $shares; do
  [ "$share" -ge 75 ] && [ "$share" -le 97 ] || fail "green share $share% outside the demo's 75..97%"
done
# PEX was commissioned in 2005 and ZELK failed after September 2010.
late=$(grep -oiE '<tr align="center"><td>[0-9/]{10}</td>(<td bgcolor="#[0-9a-f]{6}"></td>){6}' "$tmp/dom.html" |
  awk -F'bgcolor="#' '{split($1, d, /<td>|\//); y = d[5] + 0; m = d[4] + 0}
       y == 2004 && substr($6, 1, 6) == "00b000" {n++}
       (y == 2011 || (y == 2010 && m > 9)) && substr($4, 1, 6) == "00b000" {n++}
       END {print n + 0}')
[ "$late" = 0 ] || fail "$late green cells for PEX before 2005 or ZELK after September 2010"

# The colours the browser shows for some days must be those the store
# implies: green where the first or the fallback file exists.
names=("VAK_SURVEY VAK_BURSTx" "TOQ_HFx1024 TOQ_VLF1024" "ZEL_VLF1024" "HUV_BURSTx HUV_SURVEY"
       "PEX_xxxxxx" "VAK_ORBITO")
checked=0
# Every 97th day of the window, listed by PERIODE, and days of an outage.
for date in 20050210 20090815 $("$build/period/PERIODE" 20040705 20110314 | awk 'NR % 97 == 1'); do
  want=""
  for column in "${names[@]}"; do
    colour=b00000
    for name in $column; do
      [ -e "$store$date/KORVANE_${name}_${date}_V01.bin" ] && { colour=00b000; break; }
    done
    want+="<td bgcolor=\"#$colour\"></td>"
  done
  shown="${date:6:2}/${date:4:2}/${date:0:4}"
  grep -qF "<td>$shown</td>$want</tr>" "$tmp/dom.html" || fail "row of $shown: want $want"
  checked=$((checked + 1))
done
echo "checked the cells of $checked days"

echo "== the overview against the status file"
# Month x product counts from the status file (one day a line), as the
# grid's cells title them: "VAK 2004-07: 25 primary, 2 fallback, 0 missing".
awk -F'"' '/"date": / {
    month = substr($4, 1, 7); n = 0
    for (i = 8; i <= NF; i += 2) if ($i ~ /^(primary|fallback|missing)$/) c[month, ++n, $i]++
    months[month] = 1
  }
  END {
    split("VAK TOQ ZELK HUV PEX WYT", name, " ")
    for (m in months) for (p = 1; p <= 6; p++)
      printf "%s %s: %d primary, %d fallback, %d missing\n", name[p], m, c[m, p, "primary"], c[m, p, "fallback"], c[m, p, "missing"]
  }' "$www/check_korvane_web.json" | sort > "$tmp/from-json"
timeout 120 "${chrome[@]}" --dump-dom "http://127.0.0.1:$port/" > "$tmp/overview-dom.html" 2>/dev/null || fail "chromium: overview"
grep -o 'title="[A-Z]* [0-9-]*: [^"]*"' "$tmp/overview-dom.html" | sed 's/^title="//; s/"$//' | sort > "$tmp/from-grid"
[ "$(wc -l < "$tmp/from-grid")" = $((81 * 6)) ] || fail "grid cells: $(wc -l < "$tmp/from-grid")"
cmp -s "$tmp/from-json" "$tmp/from-grid" || fail "grid differs from the status file: $(diff "$tmp/from-json" "$tmp/from-grid" | head -3)"
grep -q '<script' "$tmp/overview-dom.html" && fail "the overview holds a script"
want_vanished="<li>VAK (2): $(for f in $vanished; do d=${f##*_SURVEY_}; echo "<time>${d:0:4}-${d:4:2}-${d:6:2}</time>"; done | paste -sd, | sed 's/,/, /')</li>"
grep -qF "$want_vanished" "$tmp/overview-dom.html" || fail "overview: not $want_vanished"
grep -qE '(src|href)="https?:' "$www/$index_page" && fail "the overview loads an external resource"

echo "== metrics"
metrics="$work/metrics/korvane_l2.prom"
if command -v promtool >/dev/null; then
  for file in "$metrics" "${metrics%.prom}_lock.prom"; do
    promtool check metrics < "$file" > "$tmp/promtool" 2>&1 || fail "promtool: $file: $(cat "$tmp/promtool")"
    [ -s "$tmp/promtool" ] && fail "promtool reports on $file: $(cat "$tmp/promtool")"
  done
else
  echo "SKIP  promtool checks: promtool is not installed (Debian package prometheus)"
fi
exporter=$(command -v prometheus-node-exporter || true)
if [ -n "$exporter" ]; then
  mkdir -p "$tmp/textfile" && cp "$metrics" "${metrics%.prom}_lock.prom" "$tmp/textfile/"
  exporter_port=$((20000 + RANDOM % 40000))
  "$exporter" --web.listen-address="127.0.0.1:$exporter_port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$tmp/textfile" > "$tmp/exporter.log" 2>&1 &
  exporter_pid=$!
  scraped=""
  for _ in $(seq 50); do
    scraped=$(curl -s "http://127.0.0.1:$exporter_port/metrics" || true)
    [ -n "$scraped" ] && break
    sleep 0.1
  done
  kill "$exporter_pid" 2>/dev/null; wait "$exporter_pid" 2>/dev/null || true
  grep -qx 'korvane_l2_window_dates 2444' <<<"$scraped" || fail "node exporter: no korvane_l2_window_dates 2444"
  grep -qx 'korvane_l2_last_run_success 1' <<<"$scraped" || fail "node exporter: the run is not reported good"
  grep -qx 'korvane_l2_run_locked_out 0' <<<"$scraped" || fail "node exporter: the run is reported locked out"
  want_files=$(grep '^korvane_l2_files{' "$metrics" | sort)
  [ "$(grep '^korvane_l2_files{' <<<"$scraped" | sort)" = "$want_files" ] || fail "node exporter: korvane_l2_files differ"
  [ "$(grep -c '^korvane_l2_changes{change="[a-z]*",product="[A-Z]*"} [0-9]*$' <<<"$scraped")" = 24 ] ||
    fail "node exporter: not 24 korvane_l2_changes series"
  grep -q 'node_textfile_scrape_error 0' <<<"$scraped" || fail "node exporter: textfile scrape error"
else
  echo "SKIP  node exporter checks: prometheus-node-exporter is not installed"
fi

if [ -n "$screenshot" ]; then
  timeout 120 "${chrome[@]}" --hide-scrollbars --window-size=900,1100 --screenshot="${screenshot%.png}-overview.png" \
    "http://127.0.0.1:$port/" >/dev/null 2>&1 || fail "overview screenshot"
fi
if [ -n "$screenshot" ]; then
  timeout 120 "${chrome[@]}" --hide-scrollbars --window-size=900,700 --screenshot="$screenshot" "$url" \
    >/dev/null 2>&1 || fail "screenshot"
fi

if [ "$failures" -gt 0 ]; then echo "$failures failures"; exit 1; fi
echo "integration: all checks passed"
