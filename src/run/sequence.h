// The test sequence: the driver of one run, which calls the procedures of
// every module in turn on the one test state (run/test_state.h).
#pragma once

namespace upstest::run {

struct Context;
struct TestState;

// Runs the whole test on ctx.state: the debug switch (ctx.log's switch
// file), the command line (cmdline::ReadCommandLine), the node record
// (ctx.read_node_data), EndWithArgumentError (run/failure.h) with the
// reason the command line's reader returned when ArgError is set, the
// manager start and the poll (snmp::StartManager, snmp::CheckStatus), the
// scaling (run/scaling.h; from then on ctx.values_scaled, so that an answer
// taken in later is stored in the same units), then the decision and its
// traps:
//  - no answer, or a failed handler: PollStatus kPollNoAnswer or
//    kPollHandlerFailed, nothing judged, one trap;
//  - otherwise every object is judged (StatusCompare), PollStatus is
//    kPollJudged, and when no object failed UpsStatus is kUpsAllMet and one
//    all-clear trap goes out, none for a node whose NodeStatus is
//    kNodeStatusNoAllClear;
//  - when some failed, UpsStatus is kUpsConditionFailed and one trap goes
//    out per failed object, judged again first, with that object
//    kObjFailed and the three others kObjOtherAlarm, each trap followed by
//    a 200 ms pause.
//
// REQUIRES: AppBase set, and ctx.log told it (diag::NodeLog::SetBase).
// Reads: ResponseReceived, ResponseError, NodeStatus, ObjStatus, ArgError,
// and what the stages read.
// Writes: DebugOn (true when the switch file exists), PollStatus,
// UpsStatus, ObjStatus(1..4), and what the stages write.
// Sends: the traps above, and what the stages send.
// Writes, with the log on: the summary group to the node log at the end,
// then pauses 500 ms.
// Returns at the normal end. Every other end throws platform::ProgramEnd:
// those of the stages, and kStartTestFailure (exit 1) for a failure none of
// them handles.
void StartTest(Context& ctx);

// What the main form's load does after AppBase is set: runs StartTest
// through the program's one handler (platform::ExitStatusOf) and returns
// the exit status (platform::kExit*). An end other than the normal one
// writes its reason as one line on stderr; a normal end writes nothing
// there.
int RunTest(Context& ctx);

}  // namespace upstest::run
