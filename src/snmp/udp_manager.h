// The real SNMP manager: SNMPv1/v2c GET over a UDP socket.
#pragma once

#include <memory>

#include "platform/event_pump.h"
#include "snmp/manager.h"

namespace upstest::snmp {

// A manager whose socket, once active, is registered with `pump`.
// REQUIRES: `pump` outlives the manager.
std::unique_ptr<Manager> NewUdpManager(platform::EventPump& pump);

}  // namespace upstest::snmp
