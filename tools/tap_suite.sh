#!/usr/bin/env bash
# The whole test suite played to tools/tap_send.py (a small client that follows TAP 1.8), called
# again and again by a shell loop as a tester's own client would be, until every case has its
# verdict. Prints the CASE lines and the summary; the record file, JUnit file and HTML report are
# left in the directory named at the end. Exit status: the simulator's (0: no case failed, 3: one
# did). Extra arguments go to the simulator (--cases 4, --strict ...). About 20 minutes for every
# case. With LOAD=1 the loop runs under `stress` (four CPU hogs, one disk and one memory worker),
# to show that a loaded machine gives the same verdicts.
# Usage: [LOAD=1] tools/tap_suite.sh [PROGRAM [OPTION...]]   (default: build/ostrella)
set -u
program=${1:-build/ostrella}
shift || true
here=$(dirname "$0")
work=$(mktemp -d /tmp/tap-suite.XXXX)
if [ "${LOAD:-0}" = 1 ]; then
  command -v stress >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq stress >/dev/null
  stress --cpu 4 --io 1 --vm 1 --vm-bytes 128M >/dev/null 2>&1 & load=$!
fi
"$program" --console --suite --exit-after-suite "$@" --record "$work/records.jsonl" \
  --junit "$work/suite.xml" --report "$work/report.html" 0 </dev/null >"$work/ostrella.log" 2>&1 &
sim=$!
trap 'kill $sim ${load:-} 2>/dev/null; wait 2>/dev/null' EXIT
for i in $(seq 100); do grep -q 'Local Port <' "$work/ostrella.log" && break; sleep 0.1; done
port=$(sed -n 's/.*Local Port <\([0-9]*\)>.*/\1/p' "$work/ostrella.log" | head -1)
[ -n "$port" ] || { echo "the simulator did not start"; cat "$work/ostrella.log"; exit 1; }

# The tester's loop: the client sends its two pages, again and again, until the suite is done.
runs=0
while kill -0 $sim 2>/dev/null; do
  "$here/tap_send.py" --port "$port" --tag "$runs" >/dev/null 2>&1
  runs=$((runs + 1))
  sleep 2
done
wait $sim; status=$?
grep -E '^(CASE|SUITE) ' "$work/ostrella.log"
echo "$runs client runs; records, suite.xml and report.html in $work"
exit $status
