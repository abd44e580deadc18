#!/usr/bin/env bash
# HylaFAX's IXO/TAP sender (pagesend, Debian hylafax-server) with its stock Class 1 modem
# configuration (no query answers pre-set) sends one page to the simulator running the hayes modem
# and the tap18 terminal, through a pseudo-terminal bridged to the line's port. Exit 0 when
# HylaFAX counts the page delivered on its first attempt and the record file holds that page.
# Needs root (HylaFAX's spool, /dev links); installs hylafax-server and socat when missing.
# With SETUP=classic: the classic modem and terminal with SEND DISCONNECT, HylaFAX's set-up given
# the answers to its capability queries (the classic modem answers them all with a bare OK).
# Prints the findings the judge made on the call.
# Usage: [SETUP=classic] tools/hylafax_stock_profiles.sh [PROGRAM]   (default: build/ostrella)
set -u
. "$(dirname "$0")/hylafax_job.sh"
program=${1:-build/ostrella}
profiles="--modem hayes --terminal tap18"
[ "${SETUP:-stock}" = classic ] && profiles="--send-disconnect"
spool=/var/spool/hylafax dev=ttyOST
work=$(mktemp -d)
command -v socat >/dev/null && [ -x /usr/lib/hylafax/bin/pagesend ] || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hylafax-server socat >/dev/null 2>&1 \
    || { echo "cannot install hylafax-server"; exit 1; }; }

"$program" --console $profiles --record "$work/records.jsonl" 0 \
  </dev/null >"$work/ostrella.log" 2>&1 & sim=$!
trap 'kill $bridge $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for i in $(seq 100); do grep -q 'Local Port <' "$work/ostrella.log" && break; sleep 0.1; done
port=$(sed -n 's/.*Local Port <\([0-9]*\)>.*/\1/p' "$work/ostrella.log" | head -1)
[ -n "$port" ] || { echo "the simulator did not start"; cat "$work/ostrella.log"; exit 1; }

hylafax_job
[ "${SETUP:-stock}" = classic ] && cat >> $spool/etc/config.$dev <<'CFG'
ModemClassQueryCmd:	"!0,1"
Class1TMQueryCmd:	"!24,48,72,96"
Class1RMQueryCmd:	"!24,48,72,96"
ModemMfrQueryCmd:	"!Sim"
ModemModelQueryCmd:	"!Sim"
ModemRevQueryCmd:	"!1"
CFG
socat pty,link=/dev/$dev,raw,echo=0 tcp:127.0.0.1:$port & bridge=$!
for i in $(seq 50); do [ -e /dev/$dev ] && break; sleep 0.1; done
hylafax_send
kill -TERM $sim; wait $sim
grep -E '"type":"(page|finding)"' "$work/records.jsonl"
if [ $rc -eq 2 ] && grep -q '"pager":"7654321".*"reply":"ACK"' "$work/records.jsonl"; then
  echo "page delivered on the first attempt (pagesend exit 2) and recorded"; exit 0
fi
echo "page not delivered (pagesend exit $rc)"; exit 1
