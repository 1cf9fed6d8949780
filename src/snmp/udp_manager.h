// The real SNMP manager: SNMPv1/v2c GET over a UDP socket.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_pump.h"
#include "platform/resolver.h"
#include "snmp/manager.h"

namespace upstest::snmp {

// The error code of BadPacket for a datagram that does not come from the
// address and port the current request went to (or comes while none is
// out). The codes below it are the decoder's (snmp/ber.h).
inline constexpr int16_t kErrForeignSource = 5;

// Where a GET to `host`:`port` would go, judged as a send judges it: the
// addresses the name resolves to, as text. Throws platform::Failure with
// the description the send would fail with (no address, a control
// character, a port outside 1..65535, a name that does not resolve). Sends
// nothing; a later send to `host` through the same resolver looks nothing
// up again.
std::vector<std::string> ResolveDestination(
    const std::string& host, int32_t port,
    platform::Resolver& resolver = platform::DefaultResolver());

// A manager whose socket, once active, is registered with `pump`, and that
// finds a host's addresses through `resolver` (a name is looked up once
// however often it is polled).
// REQUIRES: `pump` and `resolver` outlive the manager.
std::unique_ptr<Manager> NewUdpManager(platform::EventPump& pump,
                                       platform::Resolver& resolver = platform::DefaultResolver());

}  // namespace upstest::snmp
