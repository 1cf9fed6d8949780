# End-to-end cases of the operator's side: real traps of the real program
# received by snmptrapd with UPSTEST-MIB loaded, through the example
# configuration doc/snmptrapd.conf.example and its example handler.
#
# The IETF base modules are not in Debian main, so snmptrapd gets the
# stand-ins of tests/mibs in their place.

SOURCE_DIR=$(cd "$here/../.." && pwd)
MIB_DIRS=$SOURCE_DIR/tests/mibs:$SOURCE_DIR/doc
TRAP_LINES=$T/trap-lines
MIB=UPSTEST-MIB

# mib_trapd_start: snmptrapd on 127.0.0.1:162, configured by the example
# configuration with the handler and its output file put in this test's
# places, logging every trap to $TRAPS_RAW in snmptrapd's own format.
mib_trapd_start() {
  local conf=$T/snmptrapd-mib.conf
  sed -e "s|/usr/local/bin/upstest-trap-line|/bin/sh $SOURCE_DIR/doc/upstest-trap-line|" \
    -e "s|/var/log/upstest-traps.log|$TRAP_LINES|" "$SOURCE_DIR/doc/snmptrapd.conf.example" \
    >"$conf"
  grep -q "^traphandle $MIB::upstestStatusTrap /bin/sh .*/upstest-trap-line $TRAP_LINES\$" \
    "$conf" || fail "the example configuration has no traphandle line for the handler"
  # The configuration loads the module itself (its mibs line, and the
  # traphandle line that names the notification), as it will for the
  # operator; -M puts the test's directories in place of
  # /usr/share/snmp/mibs.
  SNMP_PERSISTENT_DIR=$T/persist "$SNMPTRAPD" -f -Lf "$TRAPS_RAW" -C -c "$conf" \
    -M "$MIB_DIRS" -p "$T/snmptrapd.pid" >"$T/snmptrapd.out" 2>&1 &
  PIDS+=($!)
  mib_trapd_sync || {
    fail "snmptrapd did not come up"
    cat "$T/snmptrapd.out" "$TRAPS_RAW"
    finish
  }
  # The modules named here load without a complaint (the default modules
  # that "+" adds to are not in the test's MIB directories).
  local complaints
  complaints=$(cat "$T/snmptrapd.out" "$TRAPS_RAW" | grep -v '^	' |
    grep -E "$MIB|SNMPv2-(SMI|TC|CONF)|Did not find|Unlinked|Bad |Expected|Unexpected|Warning")
  [ -z "$complaints" ] || fail "snmptrapd complains about the modules: $complaints"
}

# mib_trapd_sync: trapd_sync in the community this configuration accepts;
# snmptrapd also runs a handler to its end before the next datagram, so
# everything sent before the marker has then been logged and handled.
mib_trapd_sync() { trapd_sync nms; }

# mib_expect_trap NODE POLL UPS STATUS1 VALUE1 ... STATUS4 VALUE4: the last
# run sent exactly one trap, printed as upstestStatusTrap, whose eleven
# varbinds snmptrapd printed by name with these values (labels and units
# as the MIB gives them).
mib_expect_trap() {
  mib_trapd_sync || fail "snmptrapd stopped answering"
  local notifications
  notifications=$(grep -c "^	$MIB::upstestNotifications Enterprise Specific Trap ($MIB::upstestStatusTrap) Uptime: " "$TRAPS_RAW")
  [ "$notifications" -eq "$RUN_NO" ] ||
    fail "run $RUN_NO: $notifications traps printed as $MIB::upstestStatusTrap in all, expected $RUN_NO"
  local want="$MIB::upstestNodeName.0 = STRING: $1" got
  want+="	$MIB::upstestPollStatus.0 = INTEGER: $2"
  want+="	$MIB::upstestUpsStatus.0 = INTEGER: $3"
  shift 3
  local n
  for n in 1 2 3 4; do
    want+="	$MIB::upstestObject${n}Status.0 = INTEGER: $1"
    want+="	$MIB::upstestObject${n}Value.0 = INTEGER: $2"
    shift 2
  done
  got=$(grep -A1 "Enterprise Specific Trap ($MIB::upstestStatusTrap)" "$TRAPS_RAW" |
    grep -v "Enterprise Specific Trap" | grep -v '^--$' | tail -n 1 | sed 's/^\t//')
  if [ "$got" != "$want" ]; then
    fail "run $RUN_NO: the varbinds differ (- expected, + printed; one per line)"
    diff -u <(tr '\t' '\n' <<<"$want") <(tr '\t' '\n' <<<"$got") | tail -n +3 | sed 's/^/   /'
  fi
}

# mib_expect_line TEXT: the example handler's last line.
mib_expect_line() {
  local got
  got=$(tail -n 1 "$TRAP_LINES" 2>/dev/null)
  [ "$got" = "$1" ] || fail "run $RUN_NO: the handler wrote '$got', expected '$1'"
  [ "$(wc -l <"$TRAP_LINES")" -eq "$RUN_NO" ] ||
    fail "run $RUN_NO: the handler wrote $(wc -l <"$TRAP_LINES") lines, expected $RUN_NO"
}

# Every code of the trap, named by the MIB: an alarm, an all-clear, an
# answer that cannot be taken in, no answer and an argument error, each
# printed by snmptrapd and turned into one line by the example handler.
case_mib_names_the_trap() {
  mib_trapd_start
  snmpd_start 1161 "${UPS_VALUES[@]}"
  agent_start text 1177 --bind i:45 --bind s:high --bind i:25 --bind i:255 answer
  node 17 127.0.0.1 1161 5 2 public nms "" ""
  node 18 127.0.0.1 1177 5 1 public nms "" ""
  node 19 127.0.0.1 1199 5 1 public nms "" ""

  # The README's worked example: the battery is too warm.
  run_upstest "Main UPS" 17 5 'upsEstimatedMinutesRemaining>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<20' 'entPhySensorValue<30'
  expect_rc 0
  mib_expect_trap "Main UPS" 'judged(1)' 'failed(2)' 'otherAlarm(3)' '45 minutes' \
    'otherAlarm(3)' '230 volts' 'failed(2)' '25 degrees Celsius' 'otherAlarm(3)' 26
  mib_expect_line "UPS Main UPS: object 3 FAILED, value 25 (poll judged, UPS failed)"

  run_upstest "Main UPS" 17 5 "${ALL_MET[@]}"
  expect_rc 0
  mib_expect_trap "Main UPS" 'judged(1)' 'passed(1)' 'met(1)' '45 minutes' \
    'met(1)' '230 volts' 'met(1)' '25 degrees Celsius' 'met(1)' 26
  mib_expect_line "UPS Main UPS: all conditions met (poll judged, UPS passed)"

  run_upstest "Text UPS" 18 5 "${ALL_MET[@]}"
  expect_rc 0
  mib_expect_trap "Text UPS" 'answerFailed(3)' 'notJudged(0)' 'notJudged(0)' '45 minutes' \
    'notJudged(0)' '0 volts' 'notJudged(0)' '0 degrees Celsius' 'notJudged(0)' 0
  mib_expect_line "UPS Text UPS: not judged (poll answerFailed, UPS notJudged)"

  run_upstest "Gone UPS" 19 5 "${ALL_MET[@]}"
  expect_rc 0
  mib_expect_trap "Gone UPS" 'noAnswer(4)' 'notJudged(0)' 'notJudged(0)' '0 minutes' \
    'notJudged(0)' '0 volts' 'notJudged(0)' '0 degrees Celsius' 'notJudged(0)' 0
  mib_expect_line "UPS Gone UPS: not judged (poll noAnswer, UPS notJudged)"

  run_upstest "Main UPS" 17 5 'upsBatteryVoltage>10' 'upsBatteryVoltage|200-250' \
    'upsBatteryTemperature<40' 'entPhySensorValue<30'
  expect_rc 2
  mib_expect_trap "Main UPS" 'argumentError(2)' 'notJudged(0)' 'notJudged(0)' '0 minutes' \
    'notJudged(0)' '0 volts' 'notJudged(0)' '0 degrees Celsius' 'notJudged(0)' 0
  mib_expect_line "UPS Main UPS: not judged (poll argumentError, UPS notJudged)"
}

# smilint, at its most demanding level, finds nothing to say about the
# module (the stand-ins give it the base modules' definitions).
case_mib_smilint() {
  local out
  out=$(SMIPATH=$SOURCE_DIR/tests/mibs smilint -l 6 -s "$SOURCE_DIR/doc/$MIB" 2>&1)
  local rc=$?
  [ "$rc" -eq 0 ] && [ -z "$out" ] || fail "smilint (exit $rc): $out"
  # The notification is the SNMPv2 form of the v1 trap the program sends
  # (enterprise 1.3.6.1.4.1.32473.1.22.2, specific-trap 1), and the objects
  # sit where the trap's varbinds are.
  out=$(SMIPATH=$SOURCE_DIR/tests/mibs smidump -f identifiers "$SOURCE_DIR/doc/$MIB" 2>&1)
  local name oid
  while read -r name oid; do
    grep -qE "^$MIB +$name +[a-z]+ +$oid\$" <<<"$out" || fail "smidump does not show $name at $oid"
  done <<'EOF2'
upstestMIB 1.3.6.1.4.1.32473.1.22
upstestStatusTrap 1.3.6.1.4.1.32473.1.22.2.0.1
upstestNodeName 1.3.6.1.4.1.32473.1.22.1.1
upstestObject4Value 1.3.6.1.4.1.32473.1.22.1.11
EOF2
}
