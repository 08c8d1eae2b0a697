#!/usr/bin/env bash
# Runs the console client the way a user does and checks what it prints.
#   check_lxnews.sh LXNEWS embedded     a short run against the embedded simulator
#   check_lxnews.sh LXNEWS unreachable  a service nobody listens on
set -u
lxnews=$1
mode=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

case "$mode" in
  embedded)
    timeout 30 "$lxnews" --seconds 3 --tick-ms 500 >"$out" 2>"$err"
    code=$?
    if [ "$code" -ne 0 ]; then echo "exit code $code"; cat "$out" "$err"; exit 1; fi
    for feed in telegraph depth exclusive essence timeline counters announcements land-mines stock-news \
                unusual-trading; do
      grep -Eq "^$feed +[0-9]+ +[0-9]+ +[0-9]+$" "$out" || { echo "no summary row for $feed"; cat "$out"; exit 1; }
    done
    grep -q "^program log: " "$out" || { echo "no log path in the summary"; cat "$out"; exit 1; }
    # Every available feed printed at least one event line.
    grep -Eq "^[0-9:.]+ +counters +\+" "$out" || { echo "no counters event"; cat "$out"; exit 1; }
    ;;
  unreachable)
    start=$(date +%s)
    timeout 30 "$lxnews" --service http://127.0.0.1:9 --seconds 30 >"$out" 2>"$err"
    code=$?
    elapsed=$(( $(date +%s) - start ))
    if [ "$code" -eq 0 ] || [ "$code" -ge 124 ]; then echo "exit code $code"; cat "$out" "$err"; exit 1; fi
    [ "$(wc -l <"$err")" -eq 1 ] || { echo "expected one line on stderr:"; cat "$err"; exit 1; }
    grep -q "cannot reach the news service at http://127.0.0.1:9" "$err" || { cat "$err"; exit 1; }
    [ "$elapsed" -le 10 ] || { echo "took ${elapsed}s"; exit 1; }
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac
echo "ok"
