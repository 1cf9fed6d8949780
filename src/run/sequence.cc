#include "run/sequence.h"

#include <exception>
#include <string>

#include "cmdline/read_command_line.h"
#include "diag/log.h"
#include "platform/error.h"
#include "platform/exit_status.h"
#include "run/context.h"
#include "run/failure.h"
#include "run/scaling.h"
#include "run/status_compare.h"
#include "run/wait.h"
#include "snmp/status_request.h"
#include "trap/status_trap.h"

namespace upstest::run {

namespace {

// Every condition met: the all-clear trap, unless the node's stored status
// asks for none. Returns whether a trap was sent.
bool ReportAllMet(Context& ctx) {
  TestState& state = ctx.state;
  state.UpsStatus = kUpsAllMet;
  if (state.NodeStatus == kNodeStatusNoAllClear) return false;
  trap::SendTrap(ctx);
  return true;
}

// At least one condition failed: one trap per failed object, each showing
// that object with 2 and the three others with 3, and a pause after each.
// Each object is judged again before its trap, since the trap before it
// set its code to 3.
void ReportAlarms(Context& ctx) {
  TestState& state = ctx.state;
  state.UpsStatus = kUpsConditionFailed;
  for (int16_t i = 1; i <= kObjectCount; ++i) {
    StatusCompare(ctx, i);
    if (state.ObjStatus(i) != kObjFailed) continue;
    for (int n = 1; n <= kObjectCount; ++n) {
      if (n != i) state.ObjStatus(n) = kObjOtherAlarm;
    }
    trap::SendTrap(ctx);
    Wait(ctx, kAlarmPauseMs);
  }
}

// The decision on what the poll gave, and its traps. Returns whether a trap
// was sent.
bool JudgeAndReport(Context& ctx) {
  TestState& state = ctx.state;
  if (!state.ResponseReceived || state.ResponseError) {
    SetNotJudged(state, state.ResponseReceived ? kPollHandlerFailed : kPollNoAnswer);
    trap::SendTrap(ctx);
    return true;
  }
  bool any_failed = false;
  for (int16_t i = 1; i <= kObjectCount; ++i) {
    StatusCompare(ctx, i);
    if (state.ObjStatus(i) == kObjFailed) any_failed = true;
  }
  state.PollStatus = kPollJudged;
  if (!any_failed) return ReportAllMet(ctx);
  ReportAlarms(ctx);
  return true;
}

}  // namespace

void StartTest(Context& ctx) {
  TestState& state = ctx.state;
  try {
    if (ctx.log.SwitchIsOn()) state.DebugOn = true;

    const std::string unaccepted = cmdline::ReadCommandLine(ctx);
    ctx.read_node_data(ctx);
    if (state.ArgError) EndWithArgumentError(ctx, unaccepted);

    snmp::StartManager(ctx);
    snmp::CheckStatus(ctx);
    ScaleValues(state);
    ctx.values_scaled = true;

    const bool trap_sent = JudgeAndReport(ctx);

    if (state.DebugOn) {
      ctx.log.AppendNodeLog(diag::SummaryGroup(ctx.env, {.object_statuses = state.ObjStatus.All(),
                                                         .poll_status = state.PollStatus,
                                                         .ups_status = state.UpsStatus,
                                                         .last_message = state.LastMessage,
                                                         .trap_sent = trap_sent}));
      Wait(ctx, kEndPauseMs);
    }
  } catch (const std::exception& e) {
    HandleFailure(ctx, kStartTestFailure, e.what());
  }
}

int RunTest(Context& ctx) {
  return platform::ExitStatusOf(ctx.env, [&ctx] {
    StartTest(ctx);
    return platform::kExitNormal;
  });
}

}  // namespace upstest::run
