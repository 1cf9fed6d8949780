// The real SNMP manager: SNMPv1/v2c GET over a UDP socket.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_pump.h"
#include "snmp/manager.h"

namespace upstest::snmp {

// Where a GET to `host`:`port` would go, judged as a send judges it: the
// addresses the name resolves to, as text. Throws platform::Failure with
// the description the send would fail with (no address, a control
// character, a port outside 1..65535, a name that does not resolve). Sends
// nothing.
std::vector<std::string> ResolveDestination(const std::string& host, int32_t port);

// A manager whose socket, once active, is registered with `pump`.
// REQUIRES: `pump` outlives the manager.
std::unique_ptr<Manager> NewUdpManager(platform::EventPump& pump);

}  // namespace upstest::snmp
