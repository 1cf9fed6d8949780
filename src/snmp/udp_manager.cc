// Not built yet: every stage ends the run through its error trap.
#include "snmp/udp_manager.h"

#include <exception>
#include <string>

#include "platform/error.h"
#include "run/context.h"

namespace upstest::snmp {

std::unique_ptr<Manager> NewUdpManager(platform::EventPump&) { throw platform::Failure("the SNMP manager is not built yet"); }

}  // namespace upstest::snmp
