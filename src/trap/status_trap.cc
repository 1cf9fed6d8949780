// The status trap: node name, poll and UPS status, and status and value of
// each of the four objects, as one SNMPv1 trap to the local manager.
#include "trap/status_trap.h"

#include <cstdint>
#include <exception>
#include <string>

#include "diag/log.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/failure.h"
#include "snmp/manager.h"

namespace upstest::trap {

namespace {

constexpr int32_t kVersion1 = 1;
// The node name, the poll and UPS status, then status and value of each
// object.
constexpr int16_t kVarbindCount = 3 + 2 * run::kObjectCount;
constexpr const char* kEnterprise = "1.3.6.1.4.1.32473.1.22.2";
// Varbind N (from 1) has the OID kVarbindPrefix + N + ".0".
constexpr const char* kVarbindPrefix = "1.3.6.1.4.1.32473.1.22.1.";
constexpr const char* kDestination = "127.0.0.1";

std::string VarbindOid(int index) { return kVarbindPrefix + std::to_string(index + 1) + ".0"; }

// The value text of varbind `index` (0..kVarbindCount - 1): the node name,
// the two overall codes, then status and value of each object, pairwise.
std::string VarbindValue(const run::TestState& state, int index) {
  switch (index) {
    case 0:
      return state.NodeName;
    case 1:
      return std::to_string(state.PollStatus);
    case 2:
      return std::to_string(state.UpsStatus);
    default: {
      const int object = (index - 3) / 2 + 1;
      return (index - 3) % 2 == 0 ? std::to_string(state.ObjStatus(object))
                                  : std::to_string(state.ObjValue(object));
    }
  }
}

}  // namespace

void SendTrap(run::Context& ctx) {
  try {
    Agent& agent = ctx.snmpAgentTrap;
    const run::TestState& state = ctx.state;
    agent.Reset();
    agent.SetVersion(kVersion1);
    agent.Config("TrapCommunity=" + state.trapcomm);
    agent.Config(std::string("TrapEnterprise=") + kEnterprise);
    const std::string trap_id = "6.1";  // enterpriseSpecific, specific-trap 1
    agent.Config("TrapAgentAddress=" + state.IpAddr);
    agent.SetObjCount(kVarbindCount);
    for (int index = 0; index < kVarbindCount; ++index) {
      agent.SetObjId(index, VarbindOid(index));
      agent.SetObjType(index, index == 0 ? snmp::kTypeOctetString : snmp::kTypeInteger);
      agent.SetObjValue(index, VarbindValue(state, index));
    }
    agent.Config("TrapPort=162");
    agent.SendTrap(kDestination, trap_id);
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kSendTrapFailure, e.what());
  }
}

}  // namespace upstest::trap
