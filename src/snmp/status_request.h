// Manager start and the status request. Each procedure works on ctx.state
// and ctx.snmpManager (run/test_state.h says how procedures share the
// state).
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::snmp {

// Activates ctx.snmpManager on any local address (its socket registered
// with the event pump) and lets it settle for 20 ms.
//
// Reads: DebugOn. Writes: no field.
// Writes, with the log on: the "SNMP Manager Started, IP=..., Port=..."
// group to the node log.
// Fails: kStartManagerFailure, which ends the run (exit 1).
void StartManager(run::Context& ctx);

// The poll: the GET for the four ObjOid (SnmpSend) and the wait for its
// answer, at most two attempts; an attempt lasts until the local second it
// began in, plus 2, has passed (2 to 3 s, timed on the monotonic clock).
// Returns as soon as an answer is taken in, or after the second attempt
// without one; ResponseReceived then says which.
//
// Reads: what SnmpSend reads. Writes: ResponseReceived (false before each
// attempt; the answer handler sets it), and what SnmpSend writes.
// Sends: one GET datagram per attempt, through SnmpSend.
// Fails: kCheckStatusFailure, which ends the run (exit 1); a failure of
// SnmpSend ends the run through SnmpSend's own entry.
void CheckStatus(run::Context& ctx);

// Configures ctx.snmpManager for one request and sends it: the four ObjOid
// as bindings, in SNMPv2c when SnmpVersion is "2" and SNMPv1 otherwise.
//
// Reads: IpAddr, UdpPort, SnmpVersion, readcomm, ObjOid(1..4), DebugOn.
// Writes: RequestId (1000001, the same for every request of a run).
// Sends: one GET datagram. Writes, with the log on: the "--> SendGetRequest"
// line to the node log, before sending, so that it stands there even when
// sending fails.
// Fails: kSnmpSendFailure, which ends the run (exit 1).
void SnmpSend(run::Context& ctx);

}  // namespace upstest::snmp
