#!/usr/bin/env bash
# Runs the console client the way a user does and checks what it prints.
#   check_lxnews.sh LXNEWS embedded   two short runs against the embedded simulator, text and --json
#   check_lxnews.sh LXNEWS bad-input  each bad option, value or service: its message and exit status
# Every run gets its own TMPDIR, which must be empty again afterwards.
set -u
lxnews=$1
mode=$2
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
sim=
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {  # args... ; sets code, fills $work/out and $work/err
  mkdir -p "$work/tmp"
  TMPDIR=$work/tmp timeout 60 "$lxnews" "$@" >"$work/out" 2>"$work/err"
  code=$?
  [ -z "$(ls -A "$work/tmp")" ] || fail "$*: left $(ls "$work/tmp") in TMPDIR"
}

case "$mode" in
  embedded)
    run --seconds 3 --tick-ms 500
    [ "$code" -eq 0 ] || fail "text run: exit $code: $(cat "$work/err")"
    cp "$work/out" "$work/text"
    run --seconds 3 --tick-ms 500 --json
    [ "$code" -eq 0 ] || fail "json run: exit $code: $(cat "$work/err")"
    python3 - "$work/text" "$work/out" <<'PY' || failures=$((failures + 1))
import json, sys, unicodedata
feeds = {"telegraph", "depth", "exclusive", "essence", "timeline", "counters", "announcements",
         "land-mines", "stock-news", "unusual-trading"}
text = open(sys.argv[1], encoding="utf-8").read().splitlines()
wide = [l for l in text if sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in l) > 80]
assert not wide, "lines wider than 80 columns: %r" % wide[:2]
rows = {l.split()[0]: l.split() for l in text if l.split() and l.split()[0] in feeds and l.split()[-1] == "ok"}
assert set(rows) == feeds, "summary rows: %s" % sorted(rows)
lines = [json.loads(l) for l in open(sys.argv[2], encoding="utf-8")]
events, summary = lines[:-1], lines[-1]
for e in events:
    assert e["feed"] in feeds and e["kind"] and isinstance(e["failed"], bool), e
    c = e["counts"]
    assert (c["added"], c["modified"], c["removed"]) == (len(e["added"]), len(e["modified"]), len(e["removed"])), e
    assert e["kind"] != "hand-over" or e["added"] or e["modified"] or e["removed"], "empty hand-over: %r" % e
assert {e["feed"] for e in events} == feeds, "feeds without events: %s" % (feeds - {e["feed"] for e in events})
assert summary["kind"] == "summary" and summary["exit_status"] == 0 and summary["never_succeeded"] == [], summary
assert all(summary["feeds"][f]["succeeded"] for f in feeds), summary
# The same world twice: the replace-style feeds end with the same number of items.
for f in ("essence", "announcements", "land-mines", "stock-news", "unusual-trading"):
    assert int(rows[f][2]) == summary["feeds"][f]["held"], (f, rows[f], summary["feeds"][f])
PY
    ;;
  bad-input)
    "$(dirname "$lxnews")/news_service_sim" --port 0 --key another-key >"$work/sim" &
    sim=$!
    for _ in $(seq 100); do grep -qs "^listening on " "$work/sim" && break; sleep 0.1; done
    other_key=http://$(sed -n 's/^listening on //p' "$work/sim")
    # args | exit status | message on stderr
    while IFS='|' read -r args status message; do
      # shellcheck disable=SC2086  # the arguments are split on purpose
      run $args
      [ "$code" -eq "$status" ] || fail "$args: exit $code, expected $status"
      grep -qF -- "$message" "$work/err" || fail "$args: expected \"$message\" on stderr, got: $(cat "$work/err")"
    done <<EOF_TABLE
--bogus|2|lxnews: unknown option --bogus (see --help)
stray|2|unexpected argument "stray"
--seconds|2|--seconds needs a value
--seconds 0|2|bad value for --seconds: "0" (1..86400)
--stock 600519|2|bad value for --stock: "600519" (sh, sz or bj and six digits
--service not-a-url|2|bad value for --service: "not-a-url"
--fail-rate 2|2|bad value for --fail-rate: "2"
--service http://127.0.0.1:9 --tick-ms 5|2|--tick-ms is a simulator option
--log /missing/dir/x.log --seconds 1|1|cannot write the program log /missing/dir/x.log: No such file or directory
--service http://127.0.0.1:9|1|news service at http://127.0.0.1:9: cannot connect to 127.0.0.1:9: Connection refused
--service $other_key|1|the service refused the start-up request: "sign error"
--seconds 2 --fail-rate 1|1|never answered during the run: telegraph, depth, exclusive, essence, timeline, counters
EOF_TABLE
    run --help
    [ "$code" -eq 0 ] || fail "--help: exit $code"
    for option in seconds stock service key log json help seed start-time tick-ms fail-rate malformed-rate \
                  errno-rate stall-rate stall-ms delay-ms; do
      [ "$(grep -c -- "--$option " "$work/out")" -eq 1 ] || fail "--help lists --$option $(grep -c -- "--$option " "$work/out") times"
    done
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac
[ "$failures" -eq 0 ] || exit 1
echo "ok"
