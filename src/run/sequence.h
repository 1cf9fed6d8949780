// The test sequence: the driver of one run.
#pragma once

namespace upstest::run {

struct Context;
struct TestState;

// The scaling of the polled values before they are judged: each object's
// ObjValue is divided as the row of its own slot whose OID is exactly its
// ObjOid says (cmdline::ObjectNameTable: a divisor, and whether only a
// value above 0 is divided); an object polled under a name without a
// divisor keeps its value.
void ScaleValues(TestState& state);

// Runs the whole test on ctx.state (AppBase already set): debug switch,
// command line, node record, manager start and poll, scaling, decision and
// traps, summary. Returns at the normal end; every other end throws
// platform::ProgramEnd.
void StartTest(Context& ctx);

// What the main form's load does after AppBase is set: runs StartTest and
// returns the exit status (platform::kExit*). An end other than the normal
// one writes its reason as one line on stderr; a normal end writes nothing
// there.
int RunTest(Context& ctx);

}  // namespace upstest::run
