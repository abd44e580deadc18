# Sourced by the HylaFAX tools: HylaFAX's spool made ready for one pager job on modem /dev/$dev
# ($spool and $dev set by the caller), and the job sent with pagesend, its protocol steps printed.
# hylafax_job writes the stock Class 1 modem set-up, the pager's info and the job; more modem
# set-up lines may be appended to $spool/etc/config.$dev after it. hylafax_send sets $rc.

hylafax_job() {
  # The stock Class 1 set-up: nothing but the dial and the few commands a modem needs.
  cat > $spool/etc/config.$dev <<'CFG'
ModemType:		Class1
ModemRate:		19200
ModemFlowControl:	none
ModemDialCmd:		ATDT%s
ModemEchoOffCmd:	ATE0
ModemOnHookCmd:		ATH
ModemSoftResetCmd:	ATZ
SessionTracing:		0x4F
CFG
  printf 'pagingProtocol:ixo\npagerTTYParity:none\npagerMaxMsgLength:128\npagerPassword:000000\n' \
    > $spool/info/5551234
  echo "Server room temperature high" > $spool/docq/doc1.page
  cat > $spool/sendq/q1 <<'Q'
jobid:1
groupid:1
state:3
jobtype:pager
number:5551234
external:5551234
mailaddr:test@localhost
sender:test
owner:test
client:localhost
modem:ttyOST
maxdials:1
maxtries:1
totdials:0
ndials:0
killtime:9999999999
pagehandling:
page:0::7654321
data:0::docq/doc1.page
Q
}

hylafax_send() {
  (cd $spool && timeout 170 /usr/lib/hylafax/bin/pagesend -l -m $dev sendq/q1); rc=$?
  local log
  log=$(ls -t $spool/log/c* 2>/dev/null | head -n 1)
  [ -n "$log" ] && grep -E 'DIAL|RECV|SEND |TIMEOUT|FAILED' "$log" | sed 's/^.*\]: //' \
    | grep -vE '^<--|^-->'
  return 0
}
