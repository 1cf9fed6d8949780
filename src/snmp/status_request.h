// Manager start and the status request.
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::snmp {

// Activates ctx.snmpManager; ends the program on failure.
void StartManager(run::Context& ctx);

// Sends the GET request for the four ObjOid and waits for an answer, at
// most two attempts of 2 to 3 seconds each. Ends the program on failure.
void CheckStatus(run::Context& ctx);

// Configures the manager for one request and sends it. Ends the program on
// failure.
void SnmpSend(run::Context& ctx);

}  // namespace upstest::snmp
