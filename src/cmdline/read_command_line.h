// Turning the seven arguments into the node identity and the object tests.
#pragma once

#include <string>

namespace upstest::run {
struct Context;
struct TestState;
}  // namespace upstest::run

namespace upstest::cmdline {

// Reads the arguments (ctx.arguments when there are exactly seven, else
// ctx.argument_text split into its fields) into NodeName, NodeId,
// NodeStatus and the objects' ObjOid, ObjCondSign, ObjCondVal; sets ArgError
// and ctx.argument_problem for an object name that is not accepted. Ends
// the program (kExitArgumentError) on a missing argument, and through its
// failure handling (kExitFailure) on any other failure.
void ReadCommandLine(run::Context& ctx);

// Fills ObjOid, ObjCondSign and ObjCondVal of object k (1..4) from its
// argument `arg`: the first name of slot k found anywhere in it, then one
// condition character (however many bytes it takes) and the value after it. Returns false, changing
// nothing, when neither name of the slot occurs.
bool ReadObject(run::TestState& state, int k, const std::string& arg);

// The one-line reason for argument number `argument`, `arg`, naming no
// object of slot k.
std::string UnacceptedObject(int argument, int k, const std::string& arg);

}  // namespace upstest::cmdline
