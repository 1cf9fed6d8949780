// The trap-sender component: builds and sends SNMPv1 traps. Abstract so
// that tests can record every trap (test_support/fake_agent.h). The real
// implementation is UdpAgent (trap/udp_agent.h).
//
// Bindings are numbered from 0. Every operation may throw
// platform::Failure with a description of what failed.
#pragma once

#include <cstdint>
#include <string>

namespace upstest::trap {

class Agent {
 public:
  virtual ~Agent() = default;
  // Clears everything set for the previous trap.
  virtual void Reset() = 0;
  // 1 = SNMPv1, the only version.
  virtual void SetVersion(int32_t version) = 0;
  // One text "Name=value"; names: TrapCommunity, TrapEnterprise,
  // TrapAgentAddress, TrapPort. Any other name is a failure.
  virtual void Config(const std::string& setting) = 0;
  virtual void SetObjCount(int16_t count) = 0;
  virtual void SetObjId(int32_t i, const std::string& oid) = 0;
  // 2 INTEGER or 4 OCTET STRING; any other type is a failure.
  virtual void SetObjType(int32_t i, int32_t type) = 0;
  // An INTEGER value as decimal text; the raw bytes of an OCTET STRING.
  virtual void SetObjValue(int32_t i, const std::string& value) = 0;
  // Sends the trap as one UDP datagram to `host` and the configured port;
  // `trap_id` is "generic.specific", such as "6.1".
  virtual void SendTrap(const std::string& host, const std::string& trap_id) = 0;
};

}  // namespace upstest::trap
