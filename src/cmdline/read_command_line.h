// Turning the seven arguments into the node identity and the object tests.
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::cmdline {

// Reads the arguments (ctx.arguments when there are exactly seven, else
// ctx.argument_text split into its fields) into NodeName, NodeId,
// NodeStatus and the objects' ObjOid, ObjCondSign, ObjCondVal; sets ArgError
// and ctx.argument_problem for an object name that is not accepted. Ends
// the program (kExitArgumentError) on a missing argument, and through its
// failure handling (kExitFailure) on any other failure.
void ReadCommandLine(run::Context& ctx);

}  // namespace upstest::cmdline
