#!/bin/sh
# The shipped alert rules: valid, and firing as tests/alert_rules_test.yml
# expects. Exit status 77 (skipped) without promtool.
set -e
here=$(dirname "$0")
command -v promtool >/dev/null || { echo "SKIPPED: promtool is not installed (Debian package prometheus)"; exit 77; }
promtool check rules "$here/../packaging/prometheus/korvane_l2.rules.yml"
promtool test rules "$here/alert_rules_test.yml"
