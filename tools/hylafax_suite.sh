#!/usr/bin/env bash
# HylaFAX's IXO/TAP sender (pagesend, Debian hylafax-server) driven through the whole test suite:
# the simulator runs --suite on a --pty line /dev/ttyOST, and pager jobs of two pages each are
# sent one after the other, each until HylaFAX has delivered it, as a tester's loop and HylaFAX's
# scheduler would, until every case has its verdict. HylaFAX's stock
# Class 1 modem set-up, no bridge. Prints the CASE lines and the summary; the record file, the
# JUnit file and the HTML report are left in the directory named at the end. Exit status: the
# simulator's (0: no case failed, 3: one did). Needs root (HylaFAX's spool, /dev); installs
# hylafax-server when missing. Takes about 30 minutes (HylaFAX's modem set-up and 10 s dial for
# each of some 40 calls, and the cases' waits).
# Usage: tools/hylafax_suite.sh [PROGRAM [OPTION...]]   (default: build/ostrella)
set -u
. "$(dirname "$0")/hylafax_job.sh"
program=${1:-build/ostrella}
shift || true
spool=/var/spool/hylafax dev=ttyOST
work=$(mktemp -d /tmp/hylafax-suite.XXXX)
[ -x /usr/lib/hylafax/bin/pagesend ] || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hylafax-server >/dev/null 2>&1 \
    || { echo "cannot install hylafax-server"; exit 1; }; }

"$program" --console --suite --exit-after-suite --pty /dev/$dev "$@" \
  --record "$work/records.jsonl" --junit "$work/suite.xml" --report "$work/report.html" 0 \
  </dev/null >"$work/ostrella.log" 2>&1 & sim=$!
trap 'kill $sim 2>/dev/null; wait 2>/dev/null' EXIT
for i in $(seq 100); do grep -q 'on pseudo-terminal' "$work/ostrella.log" && break; sleep 0.1; done
grep -q 'on pseudo-terminal' "$work/ostrella.log" \
  || { echo "the simulator did not start"; cat "$work/ostrella.log"; exit 1; }

# The tester's loop. A job of two pages (the message text new in each job) is sent; HylaFAX
# takes the pages it delivered off the job, so a job with pages left is sent again as it stands,
# as HylaFAX's scheduler would retry it, and a new job comes only once the last one is done.
runs=0 jobs=0 pending=0
while kill -0 $sim 2>/dev/null && [ $runs -lt 150 ]; do
  if [ $pending = 0 ]; then
    jobs=$((jobs + 1))
    hylafax_job
    echo "Server room temperature high (job $jobs)" > $spool/docq/doc1.page
    sed -i -e 's|^page:0::7654321$|page:0::7654321\npage:0::7654322|' \
      -e 's|^maxdials:1$|maxdials:1000|' -e 's|^maxtries:1$|maxtries:1000|' $spool/sendq/q1
  fi
  hylafax_send >/dev/null
  runs=$((runs + 1))
  pending=0
  [ $rc -ne 2 ] && grep -q '^page:' $spool/sendq/q1 2>/dev/null && pending=1
  grep -h '^CASE ' "$work/ostrella.log" | tail -n 1
  sleep 2
done
wait $sim; status=$?
grep -E '^(CASE|SUITE) ' "$work/ostrella.log"
echo "$runs pagesend runs of $jobs jobs; records, suite.xml and report.html in $work"
exit $status
