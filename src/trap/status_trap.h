// The status trap: what a run reports, as one SNMPv1 trap to the local
// manager, built from ctx.state (see run/test_state.h).
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::trap {

// Sends one trap through ctx.snmpAgentTrap to 127.0.0.1:162: community
// trapcomm, the system's enterprise, enterpriseSpecific trap 1, agent
// address IpAddr, and eleven bindings, numbered in the system's own OID
// subtree: NodeName (OCTET STRING), then as INTEGER PollStatus, UpsStatus, and
// ObjStatus(k) and ObjValue(k) for each object k in turn.
//
// Reads: NodeName, PollStatus, UpsStatus, ObjStatus(1..4), ObjValue(1..4),
// trapcomm, IpAddr. Writes: no field.
// Sends: one datagram; writes no log.
// Fails: kSendTrapFailure, which ends the run (exit 1).
void SendTrap(run::Context& ctx);

}  // namespace upstest::trap
