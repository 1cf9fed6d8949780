# The end-to-end cases: each function case_NAME is one CTest test, run by
# run.sh in a private network namespace with the harness of lib.sh.
#
# The simulated UPS is a real snmpd on 127.0.0.1:1161 serving UPS_VALUES;
# the scripted agent takes the ports from 1171 on. Node 1 is the UPS polled
# in v1, node 2 the same UPS polled in v2c.

OID1=1.3.6.1.2.1.33.1.2.3.0
OID2=1.3.6.1.2.1.33.1.3.3.1.3.1
OID3=1.3.6.1.2.1.33.1.2.7.0
OID4=1.3.6.1.2.1.99.1.1.1.4.1
XOID1=1.3.6.1.4.1.534.1.2.1.0
XOID2=1.3.6.1.4.1.534.1.3.4.1.2.1
XOID3=1.3.6.1.4.1.534.1.6.1.0
XOID4=1.3.6.1.4.1.534.1.6.5.0
STD_OIDS="$OID1,$OID2,$OID3,$OID4"

# Conditions that the simulated UPS meets: 45 > 10, 230 in 200..250,
# 25 < 40, and the sensor's 255 tenths (26 after scaling) < 30.
ALL_MET=('upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250'
  'upsBatteryTemperature<40' 'entPhySensorValue<30')

ups_up() {
  trapd_start
  snmpd_start 1161 "${UPS_VALUES[@]}"
  node 1 127.0.0.1 1161 5 1 public trapc "2026-12-01 08:00:00" "Battery OK"
  node 2 127.0.0.1 1161 5 2 public trapc2 "2026-12-01 09:30:00" "On line"
}

# --- Normal ends against snmpd ----------------------------------------------

# All four conditions met, v1: one all-clear trap; the whole debug log.
case_v1_all_met() {
  ups_up
  debug_on
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  expect_log 1 <<'EOF'

<TS> CommandLine = "Main UPS" 1 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 upsBatteryTemperature<40 entPhySensorValue<30
ObjOid(1):      1.3.6.1.2.1.33.1.2.3.0
ObjCondSign(1): >
ObjCondVal(1):  10
ObjOid(2):      1.3.6.1.2.1.33.1.3.3.1.3.1
ObjCondSign(2): |
ObjCondVal(2):  200-250
ObjOid(3):      1.3.6.1.2.1.33.1.2.7.0
ObjCondSign(3): <
ObjCondVal(3):  40
ObjOid(4):      1.3.6.1.2.1.99.1.1.1.4.1
ObjCondSign(4): <
ObjCondVal(4):  30

IpAddr:     127.0.0.1
Port:       1161
Status:     5
SnmpVer:    1
ReadComm:   public
TrapComm:   trapc
LastChange: 2026-12-01 08:00:00
LastMess:   Battery OK

<TS> SNMP Manager Started, IP=0.0.0.0, Port=<PORT>

<TS> --> SendGetRequest\tReqId: 1000001\t127.0.0.1\tpublic\t1.3.6.1.2.1.33.1.2.3.0\t1.3.6.1.2.1.33.1.3.3.1.3.1\t1.3.6.1.2.1.33.1.2.7.0\t1.3.6.1.2.1.99.1.1.1.4.1\t
<TS> <-- SnmpResponse\tReqId: 1000001
1.3.6.1.2.1.33.1.2.3.0, Value: 45
1.3.6.1.2.1.33.1.3.3.1.3.1, Value: 230
1.3.6.1.2.1.33.1.2.7.0, Value: 25
1.3.6.1.2.1.99.1.1.1.4.1, Value: 255

<TS>
ObjStatus 1:  1, ObjStatus 2: 1, ObjStatus 3: 1, ObjStatus 4: 1
Poll Status:  1, UPS Status: 1
Last Message: Battery OK
Trap Sent:    True

<EOF>
EOF
  expect_no_file "$APIEXEC/upsdebug-0.txt"
  # The same run with the log off writes nothing and sends the same trap.
  rm -f "$APIEXEC/upsdebug.txt"
  clear_logs
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  expect_no_file "$APIEXEC/upsdebug-1.txt"

  # The same run under strace: it arms its 60-s watchdog once, before it
  # opens the settings database (the first thing outside the process it
  # reads), and nothing disarms it.
  command -v strace >/dev/null || { fail "strace is needed (scripts/test installs it)"; return; }
  # (LeakSanitizer, in a sanitizer build, cannot work under a tracer.)
  # shellcheck disable=SC2054  # strace's list of calls is one argument
  RUN_UNDER=(env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0"
    strace -o "$T/strace.out" -e trace=alarm,setitimer,openat)
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  RUN_UNDER=()
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  local timers first_open
  timers=$(grep -nE '^(alarm|setitimer)\(' "$T/strace.out")
  first_open=$(grep -n 'Kovatrel\.mdb' "$T/strace.out" | head -n 1 | cut -d: -f1)
  if ! grep -qE '^[0-9]+:(alarm\(60\)|setitimer\(ITIMER_REAL, \{it_interval=\{tv_sec=0, tv_usec=0\}, it_value=\{tv_sec=60, tv_usec=0\}\})' <<<"$timers" ||
    [ "$(wc -l <<<"$timers")" != 1 ]; then
    fail "run $RUN_NO: not one 60-s watchdog armed; timer calls: ${timers:-none}"
  elif [ -z "$first_open" ] || [ "${timers%%:*}" -ge "$first_open" ]; then
    fail "run $RUN_NO: the watchdog is not armed before the settings database is opened: $(cat "$T/strace.out")"
  fi
}

# All met, v2c, with the enterprise names of every slot and the value types
# snmpd gives them (INTEGER seconds / 60, Gauge32, a number as OCTET STRING)
# and the remote temperature snmpd does not serve (noSuchObject gives 0).
# With ObjValue(4) at 0 the range on object 2 is not examined: it keeps
# code 0 while object 4 gets 1. Then the stored node status 6: no all-clear
# trap.
case_v2c_all_met_and_status6() {
  ups_up
  debug_on
  local args=('xupsBatTimeRemaining>30' 'xupsInputVoltage|220-240' 'xupsEnvAmbientTemp<30'
    'xupsEnvRemoteTemp=0')
  run_upstest "UPS two" 2 5 "${args[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc2 agent=127.0.0.1 node="UPS two" poll=1 ups=1 obj=1:45,0:231,1:24,1:0
EOF
  expect_log_has 2 "^<TS> <-- SnmpResponse\\\\tReqId: 1000001$"
  expect_log_has 2 "^$XOID1, Value: 2700$"
  expect_log_has 2 "^$XOID4, Value: 0$"

  sqlite3 "$NODE_DB" "UPDATE ATR_Nodes SET status = 6 WHERE node_id = 2"
  clear_logs
  run_upstest "UPS two" 2 5 "${args[@]}"
  expect_rc 0
  expect_no_traps
  expect_text summary "$(masked_log "$APIEXEC/upsdebug-2.txt" | tail -n 7)" <<'EOF'
<TS>
ObjStatus 1:  1, ObjStatus 2: 0, ObjStatus 3: 1, ObjStatus 4: 1
Poll Status:  1, UPS Status: 1
Last Message: On line
Trap Sent:    False

<EOF>
EOF
}

# One condition fails (object 3, v2c): one alarm trap with codes 3,3,2,3;
# the summary afterwards shows 3,3,2,1.
case_v2c_one_failed() {
  ups_up
  debug_on
  run_upstest "UPS two" 2 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<20' 'entPhySensorValue<30'
  expect_rc 0
  expect_traps <<'EOF'
community=trapc2 agent=127.0.0.1 node="UPS two" poll=1 ups=2 obj=3:45,3:230,2:25,3:26
EOF
  expect_log_has 2 '^ObjStatus 1:  3, ObjStatus 2: 3, ObjStatus 3: 2, ObjStatus 4: 1$'
  expect_log_has 2 '^Poll Status:  1, UPS Status: 2$'
}

# Two conditions fail (objects 1 and 4, v1): two alarm traps in object order.
case_v1_two_failed() {
  ups_up
  debug_on
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>60' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<40' 'entPhySensorValue|27-35'
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=2 obj=2:45,3:230,3:25,3:26
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=2 obj=3:45,3:230,3:25,2:26
EOF
  expect_log_has 1 '^ObjStatus 1:  3, ObjStatus 2: 3, ObjStatus 3: 3, ObjStatus 4: 2$'
  expect_log_has 1 '^Trap Sent:    True$'
}

# v1 and an object snmpd does not serve: the answer carries error status 2
# (noSuchName), counts as an answer, and every value is 0.
case_v1_error_status_from_snmpd() {
  ups_up
  debug_on
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'xupsInputVoltage=0' \
    'upsBatteryTemperature<40' 'xupsEnvRemoteTemp<30'
  expect_rc 0
  # 0 > 10 fails for object 1 only.
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=2 obj=2:0,3:0,3:0,3:0
EOF
  expect_log_has 1 '^<TS> <-- SnmpResponse\\tReqId: 1000001$'
  expect_log_has 1 '^ErrorStatus: \\t2$'
  expect_log_has 1 '^ErrorIndex:  \\t4$'
  expect_log_has 1 '^ErrorDescr:  \\t.*[Nn]o[Ss]uch[Nn]ame'
}

# Four runs for the same node at once append to the same node log; every
# group of lines must still stand whole, each group four times.
case_concurrent_runs_one_log() {
  ups_up
  debug_on
  RUN_NO=$((RUN_NO + 1))
  local before k pids=()
  before=$(grep -c '^TRAP ' "$TRAPS_RAW")
  for k in 1 2 3 4; do
    timeout 60 "$APIEXEC/upstest" "Run $k" 1 5 "${ALL_MET[@]}" >"$T/par-$k.out" 2>&1 &
    pids+=($!)
  done
  for k in 0 1 2 3; do
    wait "${pids[$k]}" || fail "run $((k + 1)) ended with status $?"
  done
  trapd_sync || fail "snmptrapd stopped answering"
  TRAPS=$(grep '^TRAP ' "$TRAPS_RAW" | tail -n +"$((before + 1))" | decode_traps | sort)
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Run 1" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
community=trapc agent=127.0.0.1 node="Run 2" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
community=trapc agent=127.0.0.1 node="Run 3" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
community=trapc agent=127.0.0.1 node="Run 4" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  # Reads the log as a sequence of whole groups and counts them by kind.
  local groups
  groups=$(masked_log "$APIEXEC/upsdebug-1.txt" | awk '
    { line[NR] = $0 }
    function need(n, i) { for (i = 0; i < n; i++) if (!((pos + i) in line)) return 0; return 1 }
    END {
      pos = 1
      while (pos < NR) {
        l = line[pos]
        if (l == "" && line[pos + 1] ~ /^<TS> CommandLine = "Run [1-4]" 1 5 /) {
          ok = need(15) && line[pos + 14] == ""
          for (k = 1; k <= 4 && ok; k++) {
            ok = line[pos + 3 * k - 1] ~ ("^ObjOid\\(" k "\\):      1\\.") &&
                 line[pos + 3 * k] ~ ("^ObjCondSign\\(" k "\\): [<>|]$") &&
                 line[pos + 3 * k + 1] ~ ("^ObjCondVal\\(" k "\\):  [0-9]")
          }
          kind = "arguments"; len = 15
        } else if (l ~ /^IpAddr:     /) {
          ok = need(9) && line[pos + 1] ~ /^Port:       / && line[pos + 2] ~ /^Status:     / &&
               line[pos + 3] ~ /^SnmpVer:    / && line[pos + 4] ~ /^ReadComm:   / &&
               line[pos + 5] ~ /^TrapComm:   / && line[pos + 6] ~ /^LastChange: / &&
               line[pos + 7] ~ /^LastMess:   / && line[pos + 8] == ""
          kind = "record"; len = 9
        } else if (l ~ /^<TS> SNMP Manager Started, /) {
          ok = need(2) && line[pos + 1] == ""; kind = "manager"; len = 2
        } else if (l ~ /^<TS> --> SendGetRequest\\t/) {
          ok = 1; kind = "request"; len = 1
        } else if (l ~ /^<TS> <-- SnmpResponse\\t/) {
          ok = need(6) && line[pos + 5] == ""
          for (k = 1; k <= 4 && ok; k++) ok = line[pos + k] ~ /, Value: [0-9]+$/
          kind = "answer"; len = 6
        } else if (l == "<TS>") {
          ok = need(6) && line[pos + 1] ~ /^ObjStatus 1:  / && line[pos + 2] ~ /^Poll Status:  / &&
               line[pos + 3] ~ /^Last Message: / && line[pos + 4] ~ /^Trap Sent:    / &&
               line[pos + 5] == ""
          kind = "summary"; len = 6
        } else {
          ok = 0
        }
        if (!ok) { print "broken group at line " pos ": " l; exit }
        count[kind]++
        pos += len
      }
      if (line[NR] != "<EOF>") print "no end marker"
      n = split("arguments record manager request answer summary", kinds, " ")
      for (i = 1; i <= n; i++) printf "%s=%d\n", kinds[i], count[kinds[i]]
    }')
  expect_text "groups of the shared log" "$groups" <<'EOF'
arguments=4
record=4
manager=4
request=4
answer=4
summary=4
EOF
}

# --- No answer, failed answer: scripted agent and nothing listening ------

# Nothing listens on the node's port (v1): poll status 4 after two requests.
case_v1_no_answer_nothing_listening() {
  trapd_start
  node 7 127.0.0.1 1199 5 1 public trapc7 "" ""
  debug_on
  run_upstest "Gone UPS" 7 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc7 agent=127.0.0.1 node="Gone UPS" poll=4 ups=0 obj=0:0,0:0,0:0,0:0
EOF
  [ "$(masked_log "$APIEXEC/upsdebug-7.txt" | grep -c 'SendGetRequest\\tReqId: 1000001\\t')" = 2 ] ||
    fail "expected two requests with id 1000001 in the log"
  expect_log_has 7 '^Poll Status:  4, UPS Status: 0$'
  expect_log_has 7 '^Trap Sent:    True$'
}

# A silent agent (v2c): two requests, both with id 1000001, then poll 4.
case_v2c_no_answer_silent_agent() {
  trapd_start
  agent_start silent 1171 --bind i:1 --bind i:2 --bind i:3 --bind i:4 drop drop
  node 8 127.0.0.1 1171 5 2 community8 trap8 "" ""
  run_upstest "Silent UPS" 8 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap8 agent=127.0.0.1 node="Silent UPS" poll=4 ups=0 obj=0:0,0:0,0:0,0:0
EOF
  local want="version=1 community=community8 id=1000001 oids=$STD_OIDS"
  [ "$(agent_requests silent)" = "request 1 $want
request 2 $want" ] || fail "requests seen by the agent: $(agent_requests silent)"
}

# An agent that answers only the repeated request (v1): poll 1.
case_v1_answer_to_retry() {
  trapd_start
  agent_start retry 1172 --bind i:45 --bind i:230 --bind i:25 --bind i:255 drop answer
  node 9 127.0.0.1 1172 5 1 public trap9 "" ""
  debug_on
  run_upstest "Slow UPS" 9 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap9 agent=127.0.0.1 node="Slow UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  [ "$(agent_requests retry | wc -l)" = 2 ] || fail "expected two requests"
  [ "$(masked_log "$APIEXEC/upsdebug-9.txt" | grep -c 'SendGetRequest')" = 2 ] ||
    fail "expected two request lines in the log"
}

# An answer with error status 5 and index 2 (v2c): it counts as an answer;
# the NULL values give 0, which the conditions then judge.
case_v2c_error_status() {
  trapd_start
  agent_start err 1173 error:5:2
  node 10 127.0.0.1 1173 5 2 public trap10 "" ""
  debug_on
  run_upstest "Err UPS" 10 5 'upsEstimatedMinutesRemaining<10' 'upsBatteryVoltage=0' \
    'upsBatteryTemperature<40' 'entPhySensorValue|20-30'
  expect_rc 0
  # The range on object 4 with ObjValue(4) 0 sets its status 1 unexamined.
  expect_traps <<'EOF'
community=trap10 agent=127.0.0.1 node="Err UPS" poll=1 ups=1 obj=1:0,1:0,1:0,1:0
EOF
  # The error description is the manager's text for status 5.
  expect_text answer "$(masked_log "$APIEXEC/upsdebug-10.txt" |
    sed -n '/<-- SnmpResponse/,/^<TS>$/p' | sed -E 's/^(ErrorDescr:  \\t).+$/\1<DESCR>/')" <<EOF
<TS> <-- SnmpResponse\\tReqId: 1000001
ErrorStatus: \\t5
ErrorIndex:  \\t2
ErrorDescr:  \\t<DESCR>

$OID1, Value: 0
$OID2, Value: 0
$OID3, Value: 0
$OID4, Value: 0
<TS>
EOF
}

# Values a real agent rarely sends (v2c): a number with a fraction as text
# (44.5 rounds to the even 44), noSuchInstance, noSuchObject and NULL (0).
case_v2c_exception_values() {
  trapd_start
  agent_start odd 1179 --bind s:44.5 --bind nsi --bind nso --bind n answer
  node 16 127.0.0.1 1179 5 2 public trap16 "" ""
  debug_on
  run_upstest "Odd values" 16 5 'upsEstimatedMinutesRemaining=44' 'upsBatteryVoltage=0' \
    'upsBatteryTemperature=0' 'entPhySensorValue=0'
  expect_rc 0
  expect_traps <<'EOF'
community=trap16 agent=127.0.0.1 node="Odd values" poll=1 ups=1 obj=1:44,1:0,1:0,1:0
EOF
  expect_text bindings "$(masked_log "$APIEXEC/upsdebug-16.txt" | grep ', Value: ')" <<EOF
$OID1, Value: 44
$OID2, Value: 0
$OID3, Value: 0
$OID4, Value: 0
EOF
}

# Node addresses other than an IPv4 literal: "::1" is polled over IPv6 and,
# having no IPv4 address, gives the trap the agent address 0.0.0.0;
# "localhost" is resolved for the request and for the trap's agent address.
case_ipv6_and_host_name() {
  trapd_start
  SNMPD_IPV6=1 snmpd_start 1161 "${UPS_VALUES[@]}"
  node 41 ::1 1161 5 2 public trap41 "" ""
  node 42 localhost 1161 5 1 public trap42 "" ""
  run_upstest "Six" 41 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap41 agent=0.0.0.0 node="Six" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  run_upstest "Named" 42 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap42 agent=127.0.0.1 node="Named" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
}

# Answers with a request id below the request's (v1): the values are stored
# but the answer is not accepted, so the run reports no answer, with the
# values of the last answer (scaled) in its trap.
case_v1_wrong_request_id() {
  trapd_start
  agent_start wrongid 1174 --bind i:45 --bind i:230 --bind i:25 --bind i:255 \
    answer@1000000 answer@1000000
  node 11 127.0.0.1 1174 5 1 public trap11 "" ""
  run_upstest "Odd UPS" 11 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap11 agent=127.0.0.1 node="Odd UPS" poll=4 ups=0 obj=0:45,0:230,0:25,0:26
EOF
  [ "$(agent_requests wrongid | wc -l)" = 2 ] || fail "expected two requests"
}

# A garbage datagram before the answer (v2c): logged as a rejected packet,
# changes nothing; the answer after it is judged.
case_v2c_garbage_then_answer() {
  trapd_start
  agent_start garbage 1175 --bind i:45 --bind i:230 --bind i:25 --bind i:255 \
    garbage+getrequest+answer
  node 12 127.0.0.1 1175 5 2 public trap12 "" ""
  debug_on
  run_upstest "Noisy UPS" 12 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap12 agent=127.0.0.1 node="Noisy UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  [ "$(masked_log "$APIEXEC/upsdebug-12.txt" | grep -c '^<TS> BadPacket (')" = 2 ] ||
    fail "expected two BadPacket lines"
  [ "$(agent_requests garbage | wc -l)" = 1 ] || fail "expected one request"
}

# Answers the response handler fails on: five bindings (v1), a value that is
# no number (v2c), a Counter32 beyond 32 bits signed (v1). Each: poll 3.
case_handler_failures() {
  trapd_start
  agent_start five 1176 --bind i:45 --bind i:230 --bind i:25 --bind i:255 --bind i:1 answer
  agent_start text 1177 --bind i:45 --bind s:high --bind i:25 --bind i:255 answer
  agent_start counter 1178 --bind i:45 --bind i:230 --bind c:3000000000 --bind i:255 answer
  node 13 127.0.0.1 1176 5 1 public trap13 "" ""
  node 14 127.0.0.1 1177 5 2 public trap14 "" ""
  node 15 127.0.0.1 1178 5 1 public trap15 "" ""
  debug_on
  run_upstest "Five" 13 5 "${ALL_MET[@]}"
  expect_rc 0
  # The first four values were stored before the fifth binding failed.
  expect_traps <<'EOF'
community=trap13 agent=127.0.0.1 node="Five" poll=3 ups=0 obj=0:45,0:230,0:25,0:26
EOF
  expect_log_has 13 '^<TS> \(snmpManager_Response\) .+'
  expect_log_has 13 '^Poll Status:  3, UPS Status: 0$'
  run_upstest "Text" 14 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap14 agent=127.0.0.1 node="Text" poll=3 ups=0 obj=0:45,0:0,0:0,0:0
EOF
  expect_log_has 14 '^<TS> \(snmpManager_Response\) .+'
  run_upstest "Counter" 15 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trap15 agent=127.0.0.1 node="Counter" poll=3 ups=0 obj=0:45,0:230,0:0,0:0
EOF
  [ "$(agent_requests five | wc -l)" = 1 ] || fail "a failed answer must end the wait"
}

# --- Early ends -----------------------------------------------------------

# A missing argument: the argument-error group goes to the switch file,
# nothing else happens (no node log, no request, no trap); exit 2.
case_missing_argument() {
  trapd_start
  agent_start a 1171 answer
  node 1 127.0.0.1 1171 5 1 public trapc "" ""
  debug_on
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<40'
  expect_rc 2
  expect_no_traps
  expect_file "$APIEXEC/upsdebug.txt" <<'EOF'

<TS> Argument Error
<TS> CommandLine = "Main UPS" 1 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 upsBatteryTemperature<40

<EOF>
EOF
  expect_no_file "$APIEXEC/upsdebug-1.txt"
  # An empty argument is missing too; with the log off nothing is written.
  rm -f "$APIEXEC/upsdebug.txt"
  run_upstest "Main UPS" 1 "" "${ALL_MET[@]}"
  expect_rc 2
  expect_no_traps
  expect_no_file "$APIEXEC/upsdebug.txt"
  [ -z "$(agent_requests a)" ] || fail "no request may be sent"
}

# An object name that is not accepted: one trap with poll status 2 carrying
# the node record's address and community; no request; no summary; exit 2.
case_unaccepted_object_name() {
  trapd_start
  agent_start a 1171 answer
  node 1 127.0.0.1 1171 5 1 public trapc "" ""
  debug_on
  run_upstest "Main UPS" 1 5 'upsBatteryVoltage>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<40' 'entPhySensorValue<30'
  expect_rc 2
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=2 ups=0 obj=0:0,0:0,0:0,0:0
EOF
  [ -z "$(agent_requests a)" ] || fail "no request may be sent"
  expect_text "log head" "$(masked_log "$APIEXEC/upsdebug-1.txt" | head -n 6)" <<'EOF'

<TS> CommandLine = "Main UPS" 1 5 upsBatteryVoltage>10 upsBatteryVoltage|200-250 upsBatteryTemperature<40 entPhySensorValue<30
ObjOid(1):      
ObjCondSign(1): 
ObjCondVal(1):  
ObjOid(2):      1.3.6.1.2.1.33.1.3.3.1.3.1
EOF
  expect_log_lacks 1 '^Poll Status'
  # Without a usable node record the trap still goes out: agent 0.0.0.0 and
  # an empty community.
  settings 0 ""
  clear_logs
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<40' 'bogus<30'
  expect_rc 2
  expect_traps <<'EOF'
community= agent=0.0.0.0 node="Main UPS" poll=2 ups=0 obj=0:0,0:0,0:0,0:0
EOF
  expect_log_has 1 '^<TS> \(ReadNodeData\) .+'
}

# A settings or node database that is a FIFO, a directory or a device: the
# open neither waits for a writer nor reads without end; the reader takes
# its failure path and the run goes on as without a node record.
case_database_not_an_ordinary_file() {
  trapd_start
  debug_on
  local fifo=$T/nodes.mdb
  mkfifo "$fifo"
  rm -f "$BASE/Kovatrel.mdb"
  mkfifo "$BASE/Kovatrel.mdb"
  local target
  for target in "$BASE/Kovatrel.mdb" "$fifo" "$T" /dev/zero; do
    if [ "$target" != "$BASE/Kovatrel.mdb" ]; then
      settings 1 "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$target"
    fi
    clear_logs
    run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
      'upsBatteryTemperature<40' 'bogus<30'
    expect_rc 2
    expect_traps <<'EOT'
community= agent=0.0.0.0 node="Main UPS" poll=2 ups=0 obj=0:0,0:0,0:0,0:0
EOT
    expect_log_has 1 "^<TS> \\(ReadNodeData\\) '$target' is not an ordinary file\$"
  done
}

# An endlessly recursive view in place of ATR_Nodes: the run ends when the
# query passes its 10 s bound, on the failure path (exit 1, the reason naming
# the bound), long before the watchdog.
case_runaway_sqlite_view() {
  sqlite3 "$T/endless.db" "CREATE VIEW ATR_Nodes AS WITH RECURSIVE r(n) AS
    (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT 'x' || n AS node_id, n AS address,
    n AS UdpPort, n AS status, n AS SnmpVersion, n AS readcomm, n AS trapcomm,
    n AS LastChange, n AS LastMessage FROM r WHERE n < 0"
  settings 1 "Provider=SQLite;Data Source=$T/endless.db"
  run_upstest "Main UPS" 61 5 "${ALL_MET[@]}"
  expect_rc 1
  [ "$OUT" = "upstest: node 61: cannot read the node database Provider=SQLite;Data Source=$T/endless.db: The query did not finish within 10 s" ] ||
    fail "run $RUN_NO: $OUT"
}

# A corrupt Access file as the node database: libmdb, in the helper, says
# "Unknown Jet version: ...", and that goes nowhere: stderr holds only the
# one upstest: line of the read that failed.
case_corrupt_access_file() {
  cp "$here/../fixtures/DateTestDatabase.mdb" "$T/corrupt.mdb"
  printf '5' | dd of="$T/corrupt.mdb" bs=1 seek=20 conv=notrunc status=none  # 0x35 = 53
  settings 1 "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$T/corrupt.mdb"
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 1
  [ "$OUT" = "upstest: node 1: cannot read the node database Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$T/corrupt.mdb: Cannot open the Access database '$T/corrupt.mdb'" ] ||
    fail "run $RUN_NO: stderr: $OUT"
}

# A range condition without "-" while ObjValue(4) > 0: one trap with poll
# status 2, no summary, exit 2.
case_range_error() {
  ups_up
  debug_on
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200' \
    'upsBatteryTemperature<40' 'entPhySensorValue<30'
  expect_rc 2
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=2 ups=0 obj=0:45,0:230,0:25,0:26
EOF
  expect_log_lacks 1 '^Poll Status'
}

# Failures that end the run (exit 1) without a status trap: a condition value
# that is no number (StatusCompare), a node id that is no number
# (ReadCommandLine, logged for node 0), a node address that does not resolve
# (SnmpSend).
case_failure_ends_run() {
  ups_up
  node 20 no-such-host.invalid 1161 5 1 public trap20 "" ""
  debug_on
  run_upstest "Main UPS" 1 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature=abc' 'entPhySensorValue<30'
  expect_rc 1
  expect_no_traps
  expect_last_line 1 '^<TS> \(StatusCompare\) .+'

  run_upstest "Main UPS" x1 5 "${ALL_MET[@]}"
  expect_rc 1
  expect_no_traps
  expect_text upsdebug-0.txt \
    "$(masked_log "$APIEXEC/upsdebug-0.txt" | sed -E 's/^(<TS> ).+$/\1<DESCR>/')" <<'EOF'
<TS> <DESCR>
CommandLine = "Main UPS" x1 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 upsBatteryTemperature<40 entPhySensorValue<30

<EOF>
EOF

  run_upstest "Lost UPS" 20 5 "${ALL_MET[@]}"
  expect_rc 1
  expect_no_traps
  expect_log_has 20 '^<TS> \(SnmpSend\) .+'
  expect_log_lacks 20 '^Poll Status'
}

# The destination is judged when the GET is sent, never when it is stored:
# no row for the id (no address, port 0), a port beyond 65535 or below 1, an
# address with a NUL. Each run writes its request line, then
# "(SnmpSend) <why>" as its last line; it ends with exit 1 and sends neither
# a trap nor a datagram. Agents listen where a port cut to 16 bits (70000,
# -1) or the address cut at its NUL would lead.
case_unusable_destination() {
  trapd_start
  agent_start wrapped 4464 drop drop
  agent_start minus_one 65535 drop drop
  agent_start cut 1171 drop drop
  node 30 127.0.0.1 70000 5 1 public trap30 "" ""
  node 31 127.0.0.1 -1 5 1 public trap31 "" ""
  sqlite3 "$NODE_DB" "INSERT INTO ATR_Nodes VALUES(32, '127.0.0.1' || char(0) || 'evil.example',
    5, 'public', 'trap32', '1', '', '', 1171);"
  debug_on
  local id
  for id in 30 31 32 99; do
    run_upstest "Bad UPS" "$id" 5 "${ALL_MET[@]}"
    expect_rc 1
    expect_no_traps
    [ "$(masked_log "$APIEXEC/upsdebug-$id.txt" | tail -n 3 | head -n 1 |
      grep -c '^<TS> --> SendGetRequest\\tReqId: 1000001\\t')" = 1 ] ||
      fail "run $RUN_NO: the request line is not the line before the last"
    expect_log_lacks "$id" '^Poll Status'
  done
  RUN_NO=1 expect_last_line 30 '^<TS> \(SnmpSend\) remote port 70000 outside 1\.\.65535$'
  RUN_NO=2 expect_last_line 31 '^<TS> \(SnmpSend\) remote port -1 outside 1\.\.65535$'
  RUN_NO=3 expect_last_line 32 \
    '^<TS> \(SnmpSend\) the remote address holds control character 0 at position 10$'
  RUN_NO=4 expect_last_line 99 '^<TS> \(SnmpSend\) no remote address: the node record gives none$'
  expect_log_has 99 '^IpAddr: *$'
  local name
  for name in wrapped minus_one cut; do
    [ -z "$(agent_requests "$name")" ] || fail "a request reached agent $name"
  done
}

# A hostile machine cannot hang a run or cost its check. A FIFO (nobody
# reading), a link to /dev/full or to an ordinary file, or a directory where
# the node log goes: the run polls and reports as usual (exit 0, its trap),
# says once on stderr that the log was not written, and nothing goes through
# the link. A link at the switch path leaves the log off. An agent that floods the manager's port
# without pause, with junk or with stale answers, for far longer than a
# run: the run ends while the flood goes on, as unanswered, and its log
# holds at most 100 groups of each kind.
case_hostile_logs_and_floods() {
  ups_up
  debug_on
  local kind log=$APIEXEC/upsdebug-1.txt
  local passwd=$T/passwd line='root:x:0:0::/root:/bin/sh'
  echo "$line" >"$passwd"
  for kind in fifo full link directory; do
    rm -rf "$log"
    case $kind in
      fifo) mkfifo "$log" ;;
      full) ln -s /dev/full "$log" ;;
      link) ln -s "$passwd" "$log" ;;
      directory) mkdir "$log" ;;
    esac
    ALLOW_OUTPUT=1 run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
    expect_rc 0
    expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
    [ "$(grep -c '^upstest: debug log not written, the run goes on without it: ' \
      "$T/run-$RUN_NO.out")" = 1 ] || fail "run $RUN_NO ($kind): stderr was: $OUT"
    [ "$(wc -l <"$T/run-$RUN_NO.out")" = 1 ] || fail "run $RUN_NO ($kind): more than one line: $OUT"
  done
  rm -rf "$log"
  ln -sf "$passwd" "$APIEXEC/upsdebug.txt"
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  expect_no_file "$log"
  run_upstest $'Main UPS\r\nroot2::0:0::/root:/bin/sh' 1 5 "${ALL_MET[@]:0:3}"
  expect_rc 2
  [ "$(cat "$passwd")" = "$line" ] || fail "written through a link: $(cat "$passwd")"
  rm "$APIEXEC/upsdebug.txt"
  debug_on

  local what port=1180 id=40
  for what in garbage stale; do
    agent_start "flood_$what" $port --bind i:45 --bind i:230 --bind i:25 --bind i:255 \
      "flood:$what:40"
    node $id 127.0.0.1 $port 5 2 public "trap$id" "" ""
    run_upstest "Flooded UPS" $id 5 "${ALL_MET[@]}"
    expect_rc 0
    ! grep -q '^flooded ' "$T/agent-flood_$what.log" ||
      fail "run $RUN_NO: the run lasted as long as the flood"
    [ "$(grep -c 'poll=4 ups=0' <<<"$TRAPS")" = 1 ] || fail "run $RUN_NO: traps: $TRAPS"
    local bad answers
    bad=$(masked_log "$APIEXEC/upsdebug-$id.txt" | grep -c '^<TS> BadPacket')
    answers=$(masked_log "$APIEXEC/upsdebug-$id.txt" | grep -c '^<TS> <-- SnmpResponse')
    if [ $what = garbage ]; then
      [ "$bad" = 100 ] && [ "$answers" = 0 ] || fail "run $RUN_NO: $bad BadPacket, $answers answers"
    else
      [ "$answers" = 100 ] && [ "$bad" = 0 ] || fail "run $RUN_NO: $bad BadPacket, $answers answers"
    fi
    expect_log_has $id '^Trap Sent: +True$'
    port=$((port + 1))
    id=$((id + 1))
  done

  # A card that keeps sending an answer the handler fails on (a 16 KB text
  # where a number belongs), with the log on and off: one pause at most,
  # the poll-3 trap long before the flood ends, and at most 100 of the
  # failure's lines.
  local big
  big=$(head -c 16000 /dev/zero | tr '\0' x)
  for what in on off; do
    agent_start "failing_$what" $port --bind "s:$big" --bind i:230 --bind i:25 --bind i:255 \
      "flood:answer:40"
    node $id 127.0.0.1 $port 5 2 public "trap$id" "" ""
    [ $what = on ] || rm -f "$APIEXEC/upsdebug.txt"
    run_upstest "Failing UPS" $id 5 "${ALL_MET[@]}"
    expect_rc 0
    ! grep -q '^flooded ' "$T/agent-failing_$what.log" ||
      fail "run $RUN_NO: the run lasted as long as the flood"
    [ "$(grep -c 'poll=3 ups=0' <<<"$TRAPS")" = 1 ] || fail "run $RUN_NO: traps: $TRAPS"
    if [ $what = on ]; then
      local failures
      failures=$(masked_log "$APIEXEC/upsdebug-$id.txt" | grep -c '^<TS> (snmpManager_Response) ')
      [ "$failures" -ge 1 ] && [ "$failures" -le 100 ] || fail "run $RUN_NO: $failures failure lines"
    else
      expect_no_file "$APIEXEC/upsdebug-$id.txt"
    fi
    port=$((port + 1))
    id=$((id + 1))
  done
}

# Under a file size limit the log takes only the groups that fit whole:
# with the node log 100 bytes short of the limit only the manager's group
# (at most 72 bytes; every other group is longer than 100) goes in, at the
# limit nothing. The run polls and sends its trap all the same, and says
# once on stderr that the log was not written.
case_file_size_limit() {
  ups_up
  debug_on
  local log=$APIEXEC/upsdebug-1.txt room limit
  for room in 100 0; do
    printf 'an earlier run\r\n%.0s' $(seq 100) >"$log"
    limit=$((1600 + room))
    FILE_LIMIT=$limit ALLOW_OUTPUT=1 run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
    expect_rc 0
    expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
    [ "$OUT" = "upstest: debug log not written, the run goes on without it: Cannot write '$log': File too large (the file size limit is $limit bytes)" ] ||
      fail "run $RUN_NO: stderr: $OUT"
    tail -c +1601 "$log" >"$T/added"
    if [ $room = 100 ]; then
      expect_file "$T/added" <<'EOF'
<TS> SNMP Manager Started, IP=0.0.0.0, Port=<PORT>

<EOF>
EOF
    else
      [ ! -s "$T/added" ] || fail "run $RUN_NO: written past the limit"
    fi
  done
}

# Standard error is a pipe whose reader has gone: a line to it fails
# (EPIPE) and costs only itself, never the run. An unwritable log polls and
# reports as usual, an argument error sends its trap and ends with 2, a
# failure ends with 1.
case_closed_stderr() {
  ups_up
  debug_on
  mkdir "$APIEXEC/upsdebug-1.txt"
  local both broken
  mkfifo "$T/gone"
  exec {both}<>"$T/gone" # a reader, so that opening the writer does not wait
  exec {broken}>"$T/gone"
  exec {both}<&-
  STDERR_FD=$broken run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  STDERR_FD=$broken run_upstest "Main UPS" 1 5 bogus "${ALL_MET[@]:1}"
  expect_rc 2
  expect_traps <<'EOF'
community=trapc agent=127.0.0.1 node="Main UPS" poll=2 ups=0 obj=0:0,0:0,0:0,0:0
EOF
  STDERR_FD=$broken run_upstest "Main UPS" 1 5 "${ALL_MET[@]:0:2}" 'upsBatteryTemperature=abc' \
    "${ALL_MET[3]}"
  expect_rc 1
  expect_no_traps
  exec {broken}>&-
}

# Descriptors 0, 1 and 2 closed at start: they are /dev/null, opened for
# reading and writing at start (SQLite would fill a closed one with
# /dev/null read-only, but only when it opens the settings database, after
# the log), so no file or socket of the run takes them. Looked at from
# outside while the run waits for the answer to its retry; the run reports
# as usual, its stderr line (the log is a directory) lost.
case_closed_standard_descriptors() {
  trapd_start
  agent_start retry 1172 --bind i:45 --bind i:230 --bind i:25 --bind i:255 drop answer
  node 9 127.0.0.1 1172 5 1 public trap9 "" ""
  debug_on
  mkdir "$APIEXEC/upsdebug-9.txt"
  local before pid fd i
  before=$(trap_count)
  "$APIEXEC/upstest" "Slow UPS" 9 5 "${ALL_MET[@]}" 0<&- 1>&- 2>&- &
  pid=$!
  PIDS+=("$pid")
  for i in $(seq 100); do
    agent_requests retry | grep -q '^request 1 ' && break
    sleep 0.05
  done
  for fd in 0 1 2; do
    [ "$(readlink "/proc/$pid/fd/$fd") $(stat -c %A "/proc/$pid/fd/$fd")" = "/dev/null lrwx------" ] ||
      fail "descriptor $fd: $(ls -l "/proc/$pid/fd/$fd")"
  done
  wait "$pid"
  RC=$?
  expect_rc 0
  traps_since "$before"
  expect_traps <<'EOF'
community=trap9 agent=127.0.0.1 node="Slow UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
}

# A trap that cannot be sent ends the run through the failure handling of
# SendTrap (exit 1): with 127.0.0.1 taken off the namespace's loopback, the
# status trap of the argument error to 127.0.0.1 finds no route. The node record comes from SQLite and
# needs no network.
case_failure_in_sendtrap() {
  node 1 127.0.0.1 1161 5 1 public trapc "" ""
  debug_on
  ip addr del 127.0.0.1/8 dev lo
  run_upstest "Main UPS" 1 5 'bogus>10' 'upsBatteryVoltage|200-250' 'upsBatteryTemperature<40' \
    'entPhySensorValue<30'
  ip addr add 127.0.0.1/8 dev lo
  expect_rc 1
  expect_last_line 1 '^<TS> \(SendTrap\) .+'
  expect_log_lacks 1 'SendGetRequest|Poll Status'
}

# --- Node data over ODBC ------------------------------------------------------

# The node record from PostgreSQL through psqlODBC (the server that
# scripts/postgres starts); skipped when it is not running. The test's network
# namespace has a loopback of its own, so the server is reached through its
# Unix socket directory (UPSTEST_PG_DIR), which psqlODBC takes as Server.
case_postgres_odbc() {
  if [ -z "${UPSTEST_PG_DIR:-}" ] || [ -z "${UPSTEST_PG_PORT:-}" ]; then
    echo "SKIP: UPSTEST_PG_* not set (scripts/postgres not running)"
    exit 77
  fi
  local db="e2e_$$" user=${UPSTEST_PG_USER:-upstest}
  export PGHOST=$UPSTEST_PG_DIR PGPORT=$UPSTEST_PG_PORT PGUSER=$user
  export PGDATABASE=${UPSTEST_PG_DATABASE:-upstest} PGPASSWORD=${UPSTEST_PG_PASSWORD:-}
  # A database of its own, so that parallel runs do not meet.
  psql -q -v ON_ERROR_STOP=1 -c "DROP DATABASE IF EXISTS $db" -c "CREATE DATABASE $db" ||
    { fail "cannot reach PostgreSQL"; finish; }
  PGDATABASE=$db psql -q -v ON_ERROR_STOP=1 <<'EOF' || fail "cannot fill the node table"
CREATE TABLE ATR_Nodes(node_id INTEGER, address VARCHAR(64), status SMALLINT,
  readcomm VARCHAR(32), trapcomm VARCHAR(32), SnmpVersion VARCHAR(8),
  LastChange TIMESTAMP, LastMessage VARCHAR(255), UdpPort INTEGER);
INSERT INTO ATR_Nodes VALUES (31, '127.0.0.1', 5, 'public', 'pgtrap', '2',
  '2026-12-01 07:15:00', 'From PostgreSQL', 1161);
EOF
  local conn="Driver={PostgreSQL Unicode};Server=$UPSTEST_PG_DIR;Port=$UPSTEST_PG_PORT;"
  conn+="Database=$db;Uid=$user;Pwd=${UPSTEST_PG_PASSWORD:-}"
  settings 1 "$conn"
  ups_up
  debug_on
  run_upstest "PG UPS" 31 1 "${ALL_MET[@]}"
  psql -q -c "DROP DATABASE $db" >/dev/null 2>&1
  expect_rc 0
  expect_traps <<'EOF'
community=pgtrap agent=127.0.0.1 node="PG UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF
  expect_text "node record" "$(masked_log "$APIEXEC/upsdebug-31.txt" | sed -n '/^IpAddr:/,/^$/p')" \
    <<'EOF'
IpAddr:     127.0.0.1
Port:       1161
Status:     5
SnmpVer:    2
ReadComm:   public
TrapComm:   pgtrap
LastChange: 2026-12-01 07:15:00
LastMess:   From PostgreSQL
EOF
}

# --- The program as installed ---------------------------------------------------

# upstest --check reads what a run reads and says whether a run could poll
# the node: a good node (exit 0), then each reason a run could not (exit 1).
# It sends nothing and writes no log, even with the switch on.
case_check_node() {
  agent_start silent 1190 drop drop
  node 50 127.0.0.1 1190 5 2 s3cret-read tr4p-k3y-50 "2026-12-01 08:00:00" "On line"
  node 51 no-such-host.invalid 161 5 1 public trapc "" ""
  node 52 127.0.0.1 1190 99999 1 public trapc "" ""
  debug_on
  local report
  report=$("$APIEXEC/upstest" --check 50)
  RC=$?
  expect_rc 0
  grep -qxF "base directory:     $BASE" <<<"$report" || fail "check 50: $report"
  grep -qxF "settings database:  $BASE/Kovatrel.mdb (SQLite)" <<<"$report" || fail "check 50: $report"
  grep -qxF "SqlDbSetupOk:       true" <<<"$report" || fail "check 50: $report"
  grep -qxF "node database:      Provider=SQLite;Data Source=$NODE_DB" <<<"$report" ||
    fail "check 50: $report"
  grep -qxF 'IpAddr:             "127.0.0.1"' <<<"$report" || fail "check 50: $report"
  grep -qxF 'UdpPort:            1190' <<<"$report" || fail "check 50: $report"
  grep -qxF 'SnmpVersion:        "2" (polled in SNMPv2c)' <<<"$report" || fail "check 50: $report"
  grep -qxF 'readcomm:           (11 bytes; --show-communities shows it)' <<<"$report" ||
    fail "check 50: $report"
  grep -qxF 'address resolves:   yes: 127.0.0.1' <<<"$report" || fail "check 50: $report"
  grep -qxF 'verdict:            a run could poll node 50 at 127.0.0.1 port 1190 (SNMPv2c)' \
    <<<"$report" || fail "check 50: $report"
  # The trap community is a credential too: its length only, unless asked.
  grep -qxF 'trapcomm:           (11 bytes; --show-communities shows it)' <<<"$report" ||
    fail "check 50: $report"
  ! grep -q 's3cret' <<<"$report" || fail "check 50 shows the community without being asked"
  ! grep -q 'tr4p-k3y' <<<"$report" || fail "check 50 shows the trap community without being asked"
  report=$("$APIEXEC/upstest" --check --show-communities 50)
  grep -qxF 'readcomm:           "s3cret-read"' <<<"$report" || fail "--show-communities: $report"
  grep -qxF 'trapcomm:           "tr4p-k3y-50"' <<<"$report" || fail "--show-communities: $report"

  # A row read up to its status column: a run polls with what it got.
  report=$("$APIEXEC/upstest" --check 52 2>/dev/null)
  RC=$?
  expect_rc 0
  grep -qF "node record:        read in part: node 52: cannot read the row of ATR_Nodes" \
    <<<"$report" || fail "check 52: $report"
  grep -qxF 'verdict:            a run could poll node 52 at 127.0.0.1 port 1190 (SNMPv1), with the fields after the record'"'"'s unreadable column empty' \
    <<<"$report" || fail "check 52: $report"

  # Each reason a run could not poll, with its verdict.
  local id want
  for id in 51 99; do
    report=$("$APIEXEC/upstest" --check $id)
    RC=$?
    expect_rc 1
    case $id in
      51) want="verdict:            a run could not poll this node: node 51: cannot resolve the remote host 'no-such-host.invalid': " ;;
      99) want="verdict:            a run could not poll this node: node 99: no row in ATR_Nodes of Provider=SQLite;Data Source=$NODE_DB" ;;
    esac
    grep -qF "$want" <<<"$report" || fail "check $id: $report"
  done
  settings 0 "Provider=SQLite;Pwd=hidden;Data Source=$NODE_DB"
  report=$("$APIEXEC/upstest" --check 50)
  RC=$?
  expect_rc 1
  grep -qxF "SqlDbSetupOk:       0 or Null (no node database)" <<<"$report" || fail "setup 0: $report"
  grep -qF "verdict:            a run could not poll this node: node 50: SqlDbSetupOk in $BASE/Kovatrel.mdb is 0 or Null" \
    <<<"$report" || fail "setup 0: $report"
  settings 1 "Provider=SQLite;Pwd=hidden;Data Source=$NODE_DB"
  report=$("$APIEXEC/upstest" --check 50)
  grep -qxF "node database:      Provider=SQLite;Pwd=****;Data Source=$NODE_DB" <<<"$report" ||
    fail "password not masked: $report"
  ! grep -q hidden <<<"$report" || fail "the password shows: $report"
  rm "$BASE/Kovatrel.mdb"
  report=$("$APIEXEC/upstest" --check 50)
  RC=$?
  expect_rc 1
  grep -qF "settings database:  $BASE/Kovatrel.mdb (missing: No such file or directory)" \
    <<<"$report" || fail "no settings: $report"
  grep -qF "verdict:            a run could not poll this node: node 50: cannot read the settings database" \
    <<<"$report" || fail "no settings: $report"

  [ -z "$(agent_requests silent)" ] || fail "--check sent a request"
  [ -z "$(find "$APIEXEC" -name 'upsdebug-*.txt')" ] || fail "--check wrote a log"
  [ ! -s "$APIEXEC/upsdebug.txt" ] || fail "--check wrote to the switch file"
}

# json_check JSON VERSION USABLE: the --check=json report of the simulated
# UPS (node 1 in v1, node 2 in v2c), parsed back by python3's json: its keys
# in order, the node's part, and object 4 (xupsEnvRemoteTemp, which the UPS
# lacks, unless USABLE is true and the four objects are ALL_MET).
json_check() {
  python3 -c '
import json, sys
d = json.loads(sys.stdin.read())
version, usable = sys.argv[1], sys.argv[2] == "true"
problems = []
def want(ok, what):
    if not ok: problems.append(what)
want(list(d) == ["node_id", "address", "port", "snmp_version", "pollable", "usable", "answer",
                 "error_status", "error_index", "objects"], "keys %s" % list(d))
want(d["node_id"] == (1 if version == "1" else 2), "node_id")
want(d["address"] == "127.0.0.1" and d["port"] == 1161, "address and port")
want(d["snmp_version"] == version and d["pollable"] is True and d["usable"] is usable, "node")
objs = d["objects"]
want([o["slot"] for o in objs] == [1, 2, 3, 4], "four objects")
if version == "1" and not usable:
    # The error answer: a run judges 0, and "> 10" fails on it.
    want(objs[0]["type"] == "NULL" and objs[0]["value"] == 0 and objs[0]["status"] == 2,
         "object 1")
else:
    want(objs[0]["type"] == "INTEGER" and objs[0]["raw"] == "45" and objs[0]["value"] == 45,
         "object 1")
want(objs[0]["other_name"] == "xupsBatTimeRemaining" and objs[0]["other_name_present"] is True,
     "object 1 other name")
o4 = objs[3]
if usable:
    want(d["answer"] == "judged" and d["error_status"] == 0, "answer")
    want(all(o["warning"] is None and o["status"] == 1 for o in objs), "all met, no warning")
    want(o4["raw"] == "255" and o4["value"] == 26, "object 4 scaled")
else:
    want(o4["name"] == "xupsEnvRemoteTemp" and o4["oid"] == "1.3.6.1.4.1.534.1.6.5.0", "name")
    want(o4["other_name"] == "entPhySensorValue" and o4["other_name_present"] is True, "other")
    want(isinstance(o4["warning"], str) and o4["raw"] is None and o4["value"] == 0, "object 4")
    if version == "1":
        want(d["answer"] == "error" and d["error_status"] == 2 and d["error_index"] == 4, "v1")
        want(o4["type"] == "NULL" and "does not have this object" in o4["warning"], "v1 warning")
    else:
        want(d["answer"] == "judged" and o4["type"] == "noSuchObject", "v2c")
for p in problems:
    print("   json: " + p)
sys.exit(1 if problems else 0)
' "$2" "$3" <<<"$1" || fail "check --json of version $2: $1"
}

# upstest --check with the four objects against snmpd, in v1 (node 1) and
# v2c (node 2). The UPS lacks xupsEnvRemoteTemp and has entPhySensorValue,
# the other name of that slot: exit 1 with the absent object's warning and
# the other name's presence; in v1 each OID is then asked alone. The four
# objects of ALL_MET give exit 0. No trap goes out and no log is written;
# a silent device gets the run's two GETs and no more.
case_check_objects() {
  ups_up
  agent_start silent 1190 drop drop
  node 3 127.0.0.1 1190 5 2 public trapc "" ""
  debug_on
  local lacking=('upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250'
    'upsBatteryTemperature<40' 'xupsEnvRemoteTemp<45')
  local id version report json
  for id in 1 2; do
    version=$([ $id = 1 ] && echo 1 || echo 2c)
    report=$("$APIEXEC/upstest" --check $id "${lacking[@]}")
    RC=$?
    echo "== upstest --check $id (SNMPv$version, lacking object 4): exit $RC"
    sed 's/^/   /' <<<"$report"
    expect_rc 1
    local want=(
      'object 4:           xupsEnvRemoteTemp<45'
      '  other name:       entPhySensorValue (1.3.6.1.2.1.99.1.1.1.4.1): the device has it (INTEGER 255)'
      '  other name:       xupsInputVoltage (1.3.6.1.4.1.534.1.3.4.1.2.1): the device has it (Gauge32 231)'
      '  other name:       xupsEnvAmbientTemp (1.3.6.1.4.1.534.1.6.1.0): the device has it (OCTET STRING "24")'
    )
    if [ $id = 1 ]; then
      want+=('poll:               answered with error status 2 (noSuchName), index 4: a run judges what the answer carries'
        '  warning:          asked alone, the device does not have this object (noSuchName)'
        '  warning:          asked alone, the device gives INTEGER 45')
    else
      want+=('  answer:           noSuchObject'
        '  warning:          the device does not have this object (noSuchObject): a run counts it as 0, the same as a real 0'
        '  warning:          not judged: a range is judged only while object 4'"'"'s value is above 0 (it is 0)')
    fi
    local line
    for line in "${want[@]}"; do
      grep -qxF -- "$line" <<<"$report" || fail "check $id lacks the line: $line"
    done
    json=$("$APIEXEC/upstest" --check=json $id "${lacking[@]}")
    RC=$?
    echo "== upstest --check=json $id (SNMPv$version, lacking object 4): exit $RC"
    sed 's/^/   /' <<<"$json"
    expect_rc 1
    json_check "$json" $version false
    ! grep -qE 'public|trapc' <<<"$json" || fail "check --json $id shows a community"

    report=$("$APIEXEC/upstest" --check $id "${ALL_MET[@]}")
    RC=$?
    expect_rc 0
    grep -qxF 'result:             a run would judge all four objects from values the device gave (exit 0)' \
      <<<"$report" || fail "check $id of ALL_MET: $report"
    json=$("$APIEXEC/upstest" --check=json $id "${ALL_MET[@]}")
    RC=$?
    expect_rc 0
    json_check "$json" $version true
  done

  json=$("$APIEXEC/upstest" --check=json 3 "${ALL_MET[@]}")
  RC=$?
  expect_rc 1
  grep -qF '"answer": "none"' <<<"$json" || fail "silent device: $json"
  [ "$(agent_requests silent | wc -l)" = 2 ] || fail "silent device: $(agent_requests silent)"

  trapd_sync || fail "snmptrapd stopped answering"
  TRAPS=$(grep '^TRAP ' "$TRAPS_RAW" | decode_traps)
  expect_no_traps
  [ -z "$(find "$APIEXEC" -name 'upsdebug-*.txt')" ] || fail "--check wrote a log"
  [ ! -s "$APIEXEC/upsdebug.txt" ] || fail "--check wrote to the switch file"

  # The argument rules: seven arguments are a run, an object in the wrong
  # slot an argument error before anything is read or sent.
  "$APIEXEC/upstest" --check 1 upsBatteryVoltage\<1 a b c >"$T/wrong.out" 2>&1
  RC=$?
  expect_rc 2
  [ "$(cat "$T/wrong.out")" = 'upstest: argument 3 "upsBatteryVoltage<1": no object name of slot 1 (upsEstimatedMinutesRemaining or xupsBatTimeRemaining)' ] ||
    fail "wrong slot: $(cat "$T/wrong.out")"
  "$APIEXEC/upstest" --check --show-communities 1 "${lacking[@]}" >"$T/seven.out" 2>&1
  RC=$?
  expect_rc 1
  grep -q '^upstest: ReadCommandLine: ' "$T/seven.out" || fail "seven arguments: $(cat "$T/seven.out")"

}

# Object 4 lacking (noSuchName in v1, noSuchObject in v2c); object 3
# failing (25 is not below 20).
LACKING=('upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250'
  'upsBatteryTemperature<40' 'xupsEnvRemoteTemp<45')
TOO_HOT=("${ALL_MET[0]}" "${ALL_MET[1]}" 'upsBatteryTemperature<20' "${ALL_MET[3]}")

# plugin STATE EXIT ARGS...: upstest --check=plugin ARGS within the check's
# bound (18 s) says "UPS STATE - ...", nothing on stderr, and nagiosplugin
# parses every range, matching each judged value exactly when it is met.
plugin() {
  local state=$1 want=$2
  shift 2
  OUT=$(timeout 20 "$APIEXEC/upstest" --check=plugin "$@" 2>"$T/plugin.err")
  RC=$?
  echo "== upstest --check=plugin$(printf ' %q' "$@"): exit $RC"
  sed 's/^/   /' <<<"$OUT"
  expect_rc "$want"
  [[ $OUT == "UPS $state - "* ]] && [ ! -s "$T/plugin.err" ] || fail "not $state: $(cat "$T/plugin.err")"
  /usr/bin/python3 - "$OUT" <<'PY' || fail "--check=plugin $1: a range disagrees"
import re, sys, nagiosplugin
first, *objects = sys.argv[1].split("\n")
status = dict(re.findall(r"^\d (\w+) .*: \S+ \((met|failed)\)", "\n".join(objects), re.M))
for item in first.partition(" | ")[2].split():
    label, (value, _, crit) = item.split("=")[0], item.split("=")[1].split(";")
    if crit and value != "U" and label in status:
        assert nagiosplugin.Range(crit).match(int(value)) == (status[label] == "met"), item
PY
}

# --check=plugin against snmpd in v1 and v2c, a silent agent, a node with no
# record, and arguments it cannot take: every state with its exit status.
case_plugin_states() {
  ups_up
  agent_start silent 1190 drop drop
  node 3 127.0.0.1 1190 5 2 public trapc "" ""
  local id
  for id in 1 2; do
    plugin OK 0 $id "${ALL_MET[@]}"
    plugin WARNING 1 $id "${LACKING[@]}"
    [[ $OUT == *"xupsEnvRemoteTemp not given (<45; the device has entPhySensorValue) | "*" xupsEnvRemoteTemp=U;;~:44"$'\n'* ]] ||
      fail "v$id: object 4 not U"
    plugin CRITICAL 2 $id "${TOO_HOT[@]}"
    [[ $OUT == "UPS CRITICAL - node $id: upsBatteryTemperature 25 (<20) | "* ]] || fail "v$id: text"
  done
  plugin CRITICAL 2 3 "${ALL_MET[@]}"
  plugin UNKNOWN 3 99 "${ALL_MET[@]}"
  plugin UNKNOWN 3 1
  plugin UNKNOWN 3 1 upsBatteryVoltage\<1 a b c
  TRAPS=$(grep '^TRAP ' "$TRAPS_RAW" | decode_traps)
  expect_no_traps
}

# --check=prometheus files (a usable node, one lacking an object, one with
# no record) served by node_exporter's textfile collector; an argument
# error writes nothing on stdout.
case_prometheus_textfile() {
  ups_up
  local dir=$T/textfile
  mkdir -p "$dir"
  prom() {  # NODEID EXIT OBJECTS...: the file, written as a timer would write it
    "$APIEXEC/upstest" --check=prometheus "$1" "${@:3}" >"$dir/.tmp"
    local rc=$?
    echo "== upstest --check=prometheus $1: exit $rc" && sed 's/^/   /' "$dir/.tmp"
    [ $rc = "$2" ] && mv "$dir/.tmp" "$dir/ups$1.prom" || fail "--check=prometheus $1: exit $rc"
  }
  prom 1 0 "${ALL_MET[@]}"
  prom 2 1 "${LACKING[@]}"
  prom 99 1 "${ALL_MET[@]}"
  "$APIEXEC/upstest" --check=prometheus 1 >"$T/arg.out" 2>"$T/arg.err"
  [ $? = 2 ] && [ ! -s "$T/arg.out" ] && grep -q '^upstest: --check=prometheus takes' "$T/arg.err" ||
    fail "argument error: $(cat "$T/arg.out" "$T/arg.err")"
  prometheus-node-exporter --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$dir" --web.listen-address=127.0.0.1:9100 >"$T/ne.out" 2>&1 &
  PIDS+=($!)
  local metrics= i line
  for i in $(seq 50); do
    metrics=$(/usr/bin/python3 -c 'import urllib.request as u
print(u.urlopen("http://127.0.0.1:9100/metrics", timeout=1).read().decode())' 2>/dev/null) && break
    sleep 0.1
  done
  for line in 'node_textfile_scrape_error 0' 'upstest_usable{node_id="1"} 1' \
    'upstest_object_value{node_id="1",object="entPhySensorValue",slot="4"} 26' \
    'upstest_ups_status{node_id="2"} 1' 'upstest_usable{node_id="2"} 0' \
    'upstest_object_present{node_id="2",object="xupsEnvRemoteTemp",slot="4"} 0' \
    'upstest_pollable{node_id="99"} 0'; do
    grep -qxF -- "$line" <<<"$metrics" || fail "node_exporter does not serve: $line"
  done
  ! grep -E '^upstest_[a-z_]+\{node_id="99"' <<<"$metrics" | grep -qvE 'pollable|usable|duration' ||
    fail "node 99 has poll samples"
  grep -E '^(# [A-Z]+ )?(upstest|node_textfile_scrape)' <<<"$metrics" | sed 's/^/   served: /'
}

# --help and --version as the only argument; anything else with them is a run.
case_command_line_options() {
  run_upstest --version
  expect_rc 0
  [ "$OUT" = "upstest ${UPSTEST_VERSION:?}" ] || fail "--version printed: $OUT"
  run_upstest --help
  expect_rc 0
  [[ "$OUT" == "Usage: upstest NODENAME NODEID NODESTATUS "* ]] || fail "--help printed: $OUT"
  debug_on
  run_upstest --help extra
  expect_rc 2
  [[ $OUT == "upstest: argument 3 is missing or empty "* ]] || fail "stderr: $OUT"
  expect_file "$APIEXEC/upsdebug.txt" <<'EOF2'

<TS> Argument Error
<TS> CommandLine = --help extra

<EOF>
EOF2
}

# The program as cmake --install lays it out, run from there: the man page
# reads, and the installed program polls an all-clear node (exit 0, one
# trap); without Kovatrel.mdb, for a node id with no row, and copied to a
# directory not called apiexec it reads no node record and ends with exit 1,
# sending nothing, as doc/troubleshooting.md says.
case_install_layout() {
  local staged=$T/staged
  DESTDIR=$staged cmake --install "${UPSTEST_BUILD_DIR:?}" --prefix /usr >"$T/install.out" 2>&1 ||
    { fail "cmake --install failed: $(cat "$T/install.out")"; return; }
  local program
  program=$(find "$staged" -path '*/apiexec/upstest' -type f | head -n 1)
  [ -n "$program" ] || { fail "no apiexec/upstest installed under $staged"; return; }
  [ -x "$(dirname "$program")/upstest-store" ] || fail "upstest-store is not installed beside upstest"
  local page
  page=$(find "$staged" -path '*/man1/upstest.1*' | head -n 1)
  [ -n "$page" ] || { fail "no man page installed under man1"; return; }
  case $page in *.gz) gunzip -c "$page" >"$T/upstest.1"; page=$T/upstest.1 ;; esac
  # The MIB where net-snmp looks, the documentation with the receiver's
  # examples and every guide of doc/.
  local mib
  mib=$(find "$staged" -path '*/share/snmp/mibs/UPSTEST-MIB' | head -n 1)
  [ -n "$mib" ] && cmp -s "$mib" "$here/../../doc/UPSTEST-MIB" ||
    fail "the MIB is not installed as share/snmp/mibs/UPSTEST-MIB"
  local doc
  for doc in README.md copyright examples/snmptrapd.conf.example examples/upstest-trap-line; do
    [ -n "$(find "$staged" -path "*/share/doc/upstest/$doc")" ] || fail "no share/doc/upstest/$doc"
  done
  for doc in "$here"/../../doc/*.md; do
    doc=doc/${doc##*/}
    [ -n "$(find "$staged" -path "*/share/doc/upstest/$doc")" ] || fail "no share/doc/upstest/$doc"
  done
  grep -q '^\.TH UPSTEST 1' "$page" || fail "the man page has no .TH UPSTEST 1 header"
  if command -v groff >/dev/null; then
    local warnings
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
    local text
    text=$(groff -man -Tutf8 -P-c "$page" 2>/dev/null | sed 's/.\x08//g')
    local section
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "OBJECT NAMES" CONDITIONS "THE TRAP" \
      "STATUS CODES" "DEBUG LOG" DATABASES "EXIT STATUS" FILES; do
      grep -q "^$section" <<<"$text" || fail "the man page has no section $section"
    done
    local oid
    for oid in $OID1 $OID2 $OID3 $OID4 $XOID1 $XOID2 $XOID3 $XOID4 1.3.6.1.4.1.32473.1.22.2; do
      grep -qF "$oid" <<<"$text" || fail "the man page does not name $oid"
    done
    sed -n '/^FILES/,/^EXAMPLES/p' <<<"$text" | grep -q 'apiexec/upstest-store' ||
      fail "the man page's FILES do not name upstest-store"
  fi
  [ "$("$program" --version)" = "upstest ${UPSTEST_VERSION:?}" ] ||
    fail "the installed program does not tell its version"

  # From here on the harness works in the installed base directory.
  APIEXEC=$(dirname "$program")
  BASE=$(dirname "$APIEXEC")
  settings 1 "Provider=SQLite;Data Source=$NODE_DB"
  ups_up
  debug_on

  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  expect_rc 0
  expect_traps <<'EOF2'
community=trapc agent=127.0.0.1 node="Main UPS" poll=1 ups=1 obj=1:45,1:230,1:25,1:26
EOF2
  expect_log_has 1 '^Trap Sent: +True$'

  # Nothing in the installed base tells the run where the node is.
  local check
  for check in no_settings unknown_node; do
    clear_logs
    if [ $check = no_settings ]; then
      mv "$BASE/Kovatrel.mdb" "$T/Kovatrel.away"
      run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
      mv "$T/Kovatrel.away" "$BASE/Kovatrel.mdb"
      expect_log_has 1 "^<TS> \\(ReadNodeData\\) Could not find file '$BASE/Kovatrel\\.mdb'\$"
      [ "$OUT" = "upstest: node 1: cannot read the settings database $BASE/Kovatrel.mdb: Could not find file '$BASE/Kovatrel.mdb'" ] ||
        fail "run $RUN_NO: stderr: $OUT"
    else
      run_upstest "Main UPS" 99 5 "${ALL_MET[@]}"
      expect_log_has 99 '^IpAddr: *$'
      [ "$OUT" = "upstest: node 99: no row in ATR_Nodes of Provider=SQLite;Data Source=$NODE_DB" ] ||
        fail "run $RUN_NO: stderr: $OUT"
    fi
    local id=1
    [ $check = unknown_node ] && id=99
    expect_rc 1
    expect_no_traps
    expect_last_line $id '^<TS> \(SnmpSend\) no remote address: the node record gives none$'
    expect_log_lacks $id '^Poll Status'
  done

  # A copy of the program outside an apiexec directory finds neither the
  # settings nor the switch file of the base it was copied from.
  clear_logs
  mkdir -p "$BASE/tools"
  cp "$program" "$APIEXEC/upstest-store" "$BASE/tools/"
  local real_apiexec=$APIEXEC
  APIEXEC=$BASE/tools
  run_upstest "Main UPS" 1 5 "${ALL_MET[@]}"
  APIEXEC=$real_apiexec
  expect_rc 1
  expect_no_traps
  [ -z "$(find "$BASE" -name 'upsdebug-*.txt')" ] || fail "the copy wrote a debug log in the base"
  [[ $OUT == "upstest: node 1: cannot read the settings database "*"/Kovatrel.mdb: Could not find file "* ]] ||
    fail "run $RUN_NO: stderr: $OUT"

  # Too few arguments: the installed program writes the switch file itself.
  debug_on
  run_upstest "Main UPS" 1
  expect_rc 2
  expect_file "$APIEXEC/upsdebug.txt" <<'EOF2'

<TS> Argument Error
<TS> CommandLine = "Main UPS" 1

<EOF>
EOF2
}
