// Turning the seven arguments into the node identity and the object tests,
// in ctx.state (see run/test_state.h).
#pragma once

#include <string>

namespace upstest::run {
struct Context;
struct TestState;
}  // namespace upstest::run

namespace upstest::cmdline {

// Reads the seven fields of the command line (ctx.arguments when there are
// exactly seven, else ctx.argument_text split, cmdline/split_args.h): the
// node name, id and status, then one object a field (ReadObject). Returns
// the reason the first argument that holds no name of its slot is not
// accepted (UnacceptedObject); empty when every object was read.
//
// Reads: ctx.arguments, ctx.argument_text, DebugOn.
// Writes: NodeName, NodeId (and tells ctx.log, so the node log follows it),
// NodeStatus, and ObjOid, ObjCondSign and ObjCondVal of each object whose
// argument holds a name of its slot. For an argument that holds none:
// ArgError; the run goes on, and the sequence ends it once the node record
// is read.
// Writes, with the log on: the parsed arguments' group to the node log.
// Fails: a missing or empty field sets ArgError, then
// run::kMissingArgument: with the log on, the Argument Error group to the
// switch file and a 500 ms pause; the run ends (exit 2, "argument <n> is
// missing or empty ..." as its reason) without a trap. Any other failure
// (an id or a status that is no number, a text too long to split):
// kReadCommandLineFailure, which ends the run (exit 1).
std::string ReadCommandLine(run::Context& ctx);

// Fills ObjOid, ObjCondSign and ObjCondVal of object k (1..4) from its
// argument `arg`: the first name of slot k found anywhere in it (the OID of
// its row in cmdline::ObjectNameTable), then one condition character
// (however many bytes it takes) and the value after it. Returns false,
// changing nothing, when neither name of the slot occurs.
bool ReadObject(run::TestState& state, int k, const std::string& arg);

// The number of object n's (1..4) argument on ctx's command line, the one
// every message names it by: a run's NODENAME NODEID NODESTATUS OBJ1..OBJ4
// makes object n argument n+3; a check's --check NODEID OBJ1..OBJ4
// argument n+2 (ctx.command).
int ObjectArgument(const run::Context& ctx, int n);

// The one-line reason for object k's argument `arg` naming no object of
// slot k, with its number on ctx's command line (ObjectArgument).
std::string UnacceptedObject(const run::Context& ctx, int k, const std::string& arg);

}  // namespace upstest::cmdline
