#!/usr/bin/env bash
# HylaFAX's IXO/TAP sender (pagesend, Debian hylafax-server) with its stock Class 1 modem
# configuration (no query answers pre-set) opens the simulator's --pty line /dev/ttyOST as its
# modem, with no bridge between them, and sends one page to the hayes modem and the tap18
# terminal. Exit 0 when HylaFAX counts the page delivered on its first attempt and the record
# file holds that page on line ttyOST. Needs root (HylaFAX's spool, /dev); installs hylafax-server
# when missing. Extra arguments go to the simulator (--bps auto, --noise 0.01 --seed 7...).
# Prints the findings the judge made on the call.
# Usage: tools/hylafax_pty.sh [PROGRAM [OPTION...]]   (default: build/ostrella)
set -u
. "$(dirname "$0")/hylafax_job.sh"
program=${1:-build/ostrella}
shift || true
spool=/var/spool/hylafax dev=ttyOST
work=$(mktemp -d)
[ -x /usr/lib/hylafax/bin/pagesend ] || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hylafax-server >/dev/null 2>&1 \
    || { echo "cannot install hylafax-server"; exit 1; }; }

"$program" --console --modem hayes --terminal tap18 --pty /dev/$dev "$@" \
  --record "$work/records.jsonl" 0 </dev/null >"$work/ostrella.log" 2>&1 & sim=$!
trap 'kill $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for i in $(seq 100); do grep -q 'on pseudo-terminal' "$work/ostrella.log" && break; sleep 0.1; done
grep -q 'on pseudo-terminal' "$work/ostrella.log" \
  || { echo "the simulator did not start"; cat "$work/ostrella.log"; exit 1; }

hylafax_job
hylafax_send
kill -TERM $sim; wait $sim
grep -E '"type":"(page|finding|call)"' "$work/records.jsonl"
if [ $rc -eq 2 ] && grep -q '"line":"ttyOST".*"pager":"7654321".*"reply":"ACK"' "$work/records.jsonl"; then
  echo "page delivered on the first attempt (pagesend exit 2) and recorded"; exit 0
fi
echo "page not delivered (pagesend exit $rc)"; exit 1
