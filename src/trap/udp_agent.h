// The real trap sender: SNMPv1 Trap-PDU over UDP.
#pragma once

#include <memory>

#include "trap/agent.h"

namespace upstest::trap {

std::unique_ptr<Agent> NewUdpAgent();

}  // namespace upstest::trap
