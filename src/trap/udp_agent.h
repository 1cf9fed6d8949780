// The real trap sender: SNMPv1 Trap-PDU over UDP.
#pragma once

#include <memory>

#include "platform/resolver.h"
#include "trap/agent.h"

namespace upstest::trap {

// A trap sender that finds the agent address and the destination through
// `resolver`. REQUIRES: `resolver` outlives the agent.
std::unique_ptr<Agent> NewUdpAgent(platform::Resolver& resolver = platform::DefaultResolver());

}  // namespace upstest::trap
