# Harness of the end-to-end tests: sourced by run.sh inside a private network
# namespace. It lays out a base directory with a copy of the real program,
# the settings database and an SQLite node database, starts real snmpd,
# snmptrapd and the scripted agent, runs upstest, and compares what came out:
# the exit status, the traps as snmptrapd decoded them, and the debug log.
#
# Every wait is bounded, and every process started here is stopped on exit.

set -uo pipefail

: "${UPSTEST_BINARY:?UPSTEST_BINARY must name the built upstest}"
: "${SCRIPTED_AGENT:?SCRIPTED_AGENT must name the built scripted_agent}"
SNMPD=${SNMPD:-$(command -v snmpd || echo /usr/sbin/snmpd)}
SNMPTRAPD=${SNMPTRAPD:-$(command -v snmptrapd || echo /usr/sbin/snmptrapd)}
export MIBS=""  # numeric OIDs only, and no complaints about missing MIB files

T=$(mktemp -d /tmp/upstest-e2e.XXXXXX)
BASE=$T/base
APIEXEC=$BASE/apiexec
NODE_DB=$T/nodes.db
TRAPS_RAW=$T/traps.raw
PIDS=()
FAILURES=0
RUN_NO=0
SENTINEL_NO=0
TRAPD_UP=

# The enterprise and varbind prefix of the status trap.
ENTERPRISE=.1.3.6.1.4.1.32473.1.22.2
VARBIND_PREFIX=.1.3.6.1.4.1.32473.1.22.1

cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  if [ "$FAILURES" -eq 0 ]; then
    rm -rf "$T"
  else
    echo "(files of this test kept in $T)"
  fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  FAILURES=$((FAILURES + 1))
}

# Ends the test: 0 when every check passed.
finish() {
  if [ "$FAILURES" -eq 0 ]; then
    echo "PASS"
    exit 0
  fi
  echo "$FAILURES check(s) failed"
  exit 1
}

# --- Base directory and databases -------------------------------------------

mkdir -p "$APIEXEC" "$T/persist"
cp "$UPSTEST_BINARY" "$APIEXEC/upstest"
# The helper that serves Access files and ODBC, installed beside the program.
helper="$(dirname "$UPSTEST_BINARY")/upstest-store"
if [ -x "$helper" ]; then cp "$helper" "$APIEXEC/upstest-store"; fi
sqlite3 "$NODE_DB" "CREATE TABLE ATR_Nodes(node_id INTEGER, address TEXT, status INTEGER,
  readcomm TEXT, trapcomm TEXT, SnmpVersion TEXT, LastChange TEXT, LastMessage TEXT,
  UdpPort INTEGER);"

# settings SETUP_OK CONNECTION_STRING: writes Kovatrel.mdb (as SQLite).
settings() {
  rm -f "$BASE/Kovatrel.mdb"
  sqlite3 "$BASE/Kovatrel.mdb" "CREATE TABLE Settings_Console(SqlDbSetupOk INTEGER,
    DbConnStringSql TEXT); INSERT INTO Settings_Console VALUES($1, '${2//\'/\'\'}');"
}
settings 1 "Provider=SQLite;Data Source=$NODE_DB"

sql_text() { printf "'%s'" "${1//\'/\'\'}"; }

# node ID ADDRESS PORT STATUS VERSION READCOMM TRAPCOMM LASTCHANGE LASTMESSAGE:
# adds a row to ATR_Nodes of the SQLite node database.
node() {
  sqlite3 "$NODE_DB" "INSERT INTO ATR_Nodes VALUES($1, $(sql_text "$2"), $4, $(sql_text "$6"),
    $(sql_text "$7"), $(sql_text "$5"), $(sql_text "$8"), $(sql_text "$9"), $3);"
}

debug_on() { : >"$APIEXEC/upsdebug.txt"; }

# --- Peers ------------------------------------------------------------------

# snmpd_start PORT [OID TYPE VALUE]...: a real snmpd on 127.0.0.1:PORT (and
# [::1]:PORT too when SNMPD_IPV6 is set) with community "public" that serves
# the given values through override lines.
snmpd_start() {
  local port=$1 conf=$T/snmpd-$1.conf
  shift
  {
    if [ -n "${SNMPD_IPV6:-}" ]; then
      echo "agentaddress udp:127.0.0.1:$port,udp6:[::1]:$port"
      echo "rocommunity6 public ::1"
    else
      echo "agentaddress udp:127.0.0.1:$port"
    fi
    echo "rocommunity public 127.0.0.1"
    while [ $# -ge 3 ]; do
      echo "override $1 $2 $3"
      shift 3
    done
  } >"$conf"
  SNMP_PERSISTENT_DIR=$T/persist "$SNMPD" -f -Lo -C -c "$conf" -p "$T/snmpd-$port.pid" \
    >"$T/snmpd-$port.out" 2>&1 &
  PIDS+=($!)
  local i
  for i in $(seq 100); do
    snmpget -v2c -c public -t 0.2 -r 0 "127.0.0.1:$port" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 &&
      return 0
    sleep 0.1
  done
  fail "snmpd on port $port did not come up"
  cat "$T/snmpd-$port.out"
  finish
}

# The values that the simulated UPS serves in most tests. The remote
# temperature (1.3.6.1.4.1.534.1.6.5.0) is left out on purpose: asking for
# it gives noSuchName in v1 and noSuchObject in v2c.
UPS_VALUES=(
  1.3.6.1.2.1.33.1.2.3.0 integer 45         # upsEstimatedMinutesRemaining
  1.3.6.1.2.1.33.1.3.3.1.3.1 integer 230    # upsBatteryVoltage (input line 1)
  1.3.6.1.2.1.33.1.2.7.0 integer 25         # upsBatteryTemperature
  1.3.6.1.2.1.99.1.1.1.4.1 integer 255      # entPhySensorValue, tenths
  1.3.6.1.4.1.534.1.2.1.0 integer 2700      # xupsBatTimeRemaining, seconds
  1.3.6.1.4.1.534.1.3.4.1.2.1 unsigned 231  # xupsInputVoltage, Gauge32
  1.3.6.1.4.1.534.1.6.1.0 octet_str 24      # xupsEnvAmbientTemp, as text
)

# trapd_start: a real snmptrapd on 127.0.0.1:162 that writes one line per v1
# trap to $TRAPS_RAW: community, enterprise, agent address, generic and
# specific trap, and every varbind.
trapd_start() {
  cat >"$T/snmptrapd.conf" <<'EOF'
snmpTrapdAddr udp:127.0.0.1:162
disableAuthorization yes
format1 TRAP %P#|#enterprise=%N#|#agent=%a#|#generic=%w#|#specific=%q#|#%V#|#%v\n
format2 NOTIFICATION %v\n
EOF
  SNMP_PERSISTENT_DIR=$T/persist "$SNMPTRAPD" -f -Lf "$TRAPS_RAW" -C -c "$T/snmptrapd.conf" \
    -Ont -p "$T/snmptrapd.pid" >"$T/snmptrapd.out" 2>&1 &
  PIDS+=($!)
  trapd_sync || {
    fail "snmptrapd did not come up"
    cat "$T/snmptrapd.out"
    finish
  }
  TRAPD_UP=1
}

# trapd_sync [COMMUNITY]: sends a marker trap (community "sync" unless
# given) and waits until snmptrapd has written it. snmptrapd reads its one
# socket in order, so once the marker is in the file, so is every trap that
# reached the socket before it.
trapd_sync() {
  SENTINEL_NO=$((SENTINEL_NO + 1))
  local marker="sync-$SENTINEL_NO" community=${1:-sync} i
  for i in $(seq 50); do
    snmptrap -v1 -c "$community" 127.0.0.1:162 1.3.6.1.4.1.99999 127.0.0.1 6 99 '' \
      1.3.6.1.4.1.99999.1 s "$marker" >/dev/null 2>&1
    local j
    for j in 1 2 3 4; do
      grep -q "\"$marker\"" "$TRAPS_RAW" 2>/dev/null && return 0
      sleep 0.05
    done
  done
  return 1
}

# agent_start NAME PORT ARGS...: the scripted agent on 127.0.0.1:PORT, its
# log in $T/agent-NAME.log.
agent_start() {
  local name=$1 port=$2 log=$T/agent-$1.log
  shift 2
  "$SCRIPTED_AGENT" --port "$port" --log "$log" --limit-seconds 100 "$@" \
    >"$T/agent-$name.out" 2>&1 &
  PIDS+=($!)
  local i
  for i in $(seq 100); do
    grep -q '^ready$' "$log" 2>/dev/null && return 0
    sleep 0.05
  done
  fail "scripted agent $name did not come up"
  cat "$T/agent-$name.out"
  finish
}

# agent_requests NAME: the request lines the scripted agent logged.
agent_requests() { grep '^request ' "$T/agent-$1.log" 2>/dev/null; }

# --- Running upstest ----------------------------------------------------------

# trap_count: how many traps snmptrapd has written so far.
trap_count() { if [ -n "$TRAPD_UP" ]; then grep -c '^TRAP ' "$TRAPS_RAW"; else echo 0; fi; }

# traps_since COUNT: sets TRAPS to the decoded traps after the first COUNT.
traps_since() {
  TRAPS=
  [ -n "$TRAPD_UP" ] || return 0
  trapd_sync || fail "snmptrapd stopped answering"
  TRAPS=$(grep '^TRAP ' "$TRAPS_RAW" | tail -n +"$(($1 + 1))" | decode_traps)
}

# run_upstest ARGS...: runs the installed copy with a bound on its time,
# then collects the traps it sent. Sets RC, OUT (stdout+stderr) and TRAPS
# (the decoded traps of this run, one line each). A command in the array
# RUN_UNDER (empty unless a case sets it) runs the program, e.g. strace.
# With FILE_LIMIT set the run gets that file size limit in bytes; with
# STDERR_FD set its standard error is that descriptor (OUT then holds the
# standard output alone).
RUN_UNDER=()
run_upstest() {
  RUN_NO=$((RUN_NO + 1))
  local before limit=()
  before=$(trap_count)
  [ -n "${FILE_LIMIT:-}" ] && limit=(prlimit --fsize="$FILE_LIMIT" --)
  echo "== run $RUN_NO: upstest$(printf ' %q' "$@")"
  if [ -n "${STDERR_FD:-}" ]; then
    timeout 60 "${limit[@]}" "${RUN_UNDER[@]}" "$APIEXEC/upstest" "$@" >"$T/run-$RUN_NO.out" 2>&"$STDERR_FD"
  else
    timeout 60 "${limit[@]}" "${RUN_UNDER[@]}" "$APIEXEC/upstest" "$@" >"$T/run-$RUN_NO.out" 2>&1
  fi
  RC=$?
  OUT=$(cat "$T/run-$RUN_NO.out")
  [ "$RC" -eq 124 ] && fail "upstest did not end within 60 s"
  # A run that does not end normally says why in exactly one line; a
  # normal end of a run prints nothing (unless the case expects a warning).
  if [ -n "${STDERR_FD:-}" ]; then
    :
  elif [ "$RC" -eq 1 ] || [ "$RC" -eq 2 ]; then
    [ "$(wc -l <"$T/run-$RUN_NO.out")" = 1 ] && [[ $OUT == "upstest: "* ]] ||
      fail "run $RUN_NO: exit $RC without exactly one 'upstest: ' line on stderr: $OUT"
  elif [ "$RC" -eq 0 ] && [ $# -ge 7 ] && [ -z "${ALLOW_OUTPUT:-}" ] && [ -n "$OUT" ]; then
    fail "run $RUN_NO: a normal end printed: $OUT"
  fi
  traps_since "$before"
  echo "   exit $RC"
  [ -n "$OUT" ] && echo "   output: $OUT"
  [ -n "$TRAPS" ] && printf '   %s\n' "$TRAPS"
  return 0
}

# Turns snmptrapd's lines into one canonical line per status trap:
#   community=C agent=A node="N" poll=P ups=U obj=S1:V1,S2:V2,S3:V3,S4:V4
# after checking the enterprise, generic 6 / specific 1 and the eleven
# varbinds (their OIDs in order, STRING then ten INTEGERs). The marker traps
# are dropped; a trap that breaks a rule comes out as "BAD <why>: <line>".
decode_traps() {
  awk -v ent="$ENTERPRISE" -v pfx="$VARBIND_PREFIX" '
    {
      n = split($0, f, "#\\|#")
      community = f[1]
      if (sub(/^.*community /, "", community) != 1) { print "BAD community: " $0; next }
      if (community == "sync") next
      why = ""
      if (f[2] != "enterprise=" ent) why = "enterprise"
      else if (f[4] != "generic=6" || f[5] != "specific=.1") why = "trap type"
      else if (n != 16) why = "varbind count " (n - 5)
      agent = f[3]
      sub(/^agent=/, "", agent)
      line = "community=" community " agent=" agent
      for (i = 1; i <= 11 && why == ""; i++) {
        vb = f[i + 5]
        oid = pfx "." i ".0"
        if (index(vb, oid " = ") != 1) { why = "varbind " i " oid"; break }
        val = substr(vb, length(oid) + 4)
        if (i == 1) {
          if (val == "\"\"") val = "STRING: \"\""
          if (val !~ /^STRING: /) { why = "varbind 1 type"; break }
          line = line " node=" substr(val, 9)
          continue
        }
        if (val !~ /^INTEGER: -?[0-9]+$/) { why = "varbind " i " type"; break }
        v = substr(val, 10)
        if (i == 2) line = line " poll=" v
        else if (i == 3) line = line " ups=" v
        else if (i % 2 == 0) line = line (i == 4 ? " obj=" : ",") v
        else line = line ":" v
      }
      print (why == "" ? line : "BAD " why ": " $0)
    }'
}

# --- Checks -------------------------------------------------------------------

expect_rc() { [ "$RC" -eq "$1" ] || fail "run $RUN_NO: exit status $RC, expected $1"; }

# expect_traps <<EOF ... EOF: the traps of the last run, in order.
expect_traps() {
  local want
  want=$(cat)
  if [ "$TRAPS" != "$want" ]; then
    fail "run $RUN_NO: traps differ"
    diff <(echo "$want") <(echo "$TRAPS") | sed 's/^/   /'
  fi
}

expect_no_traps() { [ -z "$TRAPS" ] || fail "run $RUN_NO: unexpected traps: $TRAPS"; }

# masked_log FILE: the file with every line's CR LF checked and removed, the
# leading timestamps replaced by <TS>, the manager's port by <PORT>, TABs
# shown as \t, and "<EOF>" after the last line (so that trailing empty lines
# count).
masked_log() {
  local file=$1
  if [ ! -f "$file" ]; then
    echo "<no file>"
    return
  fi
  if LC_ALL=C grep -qv $'\r$' "$file" || [ -n "$(tail -c 2 "$file" | tr -d '\r\n')" ]; then
    echo "<a line does not end with CR LF>"
  fi
  LC_ALL=C sed -E -e 's/\r$//' \
    -e 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}/<TS>/' \
    -e 's/^(<TS> SNMP Manager Started, IP=[^,]*, Port=)[0-9]+$/\1<PORT>/' \
    -e 's/\t/\\t/g' "$file"
  echo "<EOF>"
}

# expect_file FILE <<EOF ... EOF: FILE compared line by line with the text
# (after masked_log).
expect_file() {
  local file=$1 want got
  want=$(cat)
  got=$(masked_log "$file")
  if [ "$got" != "$want" ]; then
    fail "run $RUN_NO: $(basename "$file") differs (- expected, + actual)"
    diff -u <(echo "$want") <(echo "$got") | tail -n +3 | sed 's/^/   /'
  fi
}

# expect_text LABEL TEXT <<EOF ... EOF: TEXT (already masked) compared line
# by line with the expected text.
expect_text() {
  local want
  want=$(cat)
  if [ "$2" != "$want" ]; then
    fail "run $RUN_NO: $1 differs (- expected, + actual)"
    diff -u <(echo "$want") <(echo "$2") | tail -n +3 | sed 's/^/   /'
  fi
}

# expect_log NODEID <<EOF ... EOF: the node's debug log.
expect_log() { expect_file "$APIEXEC/upsdebug-$1.txt"; }

# expect_log_has NODEID PATTERN: some line of the masked log matches the
# extended regular expression.
expect_log_has() {
  local text
  text=$(masked_log "$APIEXEC/upsdebug-$1.txt")
  grep -qE -- "$2" <<<"$text" || fail "run $RUN_NO: no line of upsdebug-$1.txt matches: $2"
}

# expect_log_lacks NODEID PATTERN: no line of the masked log matches.
expect_log_lacks() {
  local text
  text=$(masked_log "$APIEXEC/upsdebug-$1.txt")
  ! grep -qE -- "$2" <<<"$text" || fail "run $RUN_NO: a line of upsdebug-$1.txt matches: $2"
}

# expect_last_line NODEID PATTERN: the log's last line matches.
expect_last_line() {
  local last
  last=$(masked_log "$APIEXEC/upsdebug-$1.txt" | tail -n 2 | head -n 1)
  grep -qE -- "$2" <<<"$last" || fail "run $RUN_NO: last line of upsdebug-$1.txt is: $last"
}

expect_no_file() { [ ! -e "$1" ] || fail "run $RUN_NO: $(basename "$1") exists"; }

# clear_logs: removes the node logs and the switch file's contents between
# runs of one test.
clear_logs() { rm -f "$APIEXEC"/upsdebug-*.txt; }
