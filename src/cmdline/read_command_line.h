// Turning the seven arguments into the node identity and the object tests.
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::cmdline {

// Reads ctx.argument_text into NodeName, NodeId, NodeStatus and the
// objects' ObjOid, ObjCondSign, ObjCondVal; sets ArgError for an object
// name that is not accepted. Ends the program (kExitArgumentError) on a
// missing argument, and through its error trap (kExitErrorTrap).
void ReadCommandLine(run::Context& ctx);

}  // namespace upstest::cmdline
