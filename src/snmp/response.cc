// Not built yet: every stage ends the run through its error trap.
#include "snmp/response.h"

#include <exception>
#include <string>

#include "platform/error.h"
#include "run/context.h"

namespace upstest::snmp {

void snmpManager_Response(run::Context&, int32_t, int16_t, int16_t, const std::string&) {}
void snmpManager_BadPacket(run::Context&, int16_t, const std::string&) {}

}  // namespace upstest::snmp
