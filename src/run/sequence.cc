#include "run/sequence.h"

#include <cstdio>
#include <exception>
#include <string>

#include "cmdline/read_command_line.h"
#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/status_compare.h"
#include "run/wait.h"
#include "snmp/status_request.h"
#include "trap/status_trap.h"

namespace upstest::run {

namespace {

// Object 4 polled under this OID is divided by 10, object 1 under the other
// by 60.
constexpr std::string_view kSensorValueOid = "1.3.6.1.2.1.99.1.1.1.4.1";
constexpr std::string_view kBatTimeRemainingOid = "1.3.6.1.4.1.534.1.2.1.0";

// A node with this stored status gets no all-clear trap.
constexpr int16_t kNodeStatusNoAllClear = 6;

constexpr int16_t kAlarmPauseMs = 200;
constexpr int16_t kPauseMs = 500;

// The quotient in double precision, rounded to the nearest integer, an
// exact half to the even neighbour.
int32_t Divided(int32_t value, double divisor) {
  return platform::RoundToInt32(static_cast<double>(value) / divisor);
}

void NotJudged(TestState& state, int16_t poll_status) {
  state.PollStatus = poll_status;
  state.UpsStatus = kUpsNotJudged;
  for (int n = 1; n <= 4; ++n) state.ObjStatus(n) = kObjNotJudged;
}

void ScaleValues(TestState& state) {
  if (state.ObjOid(4) == kSensorValueOid && state.ObjValue(4) > 0) {
    state.ObjValue(4) = Divided(state.ObjValue(4), 10);
  }
  if (state.ObjOid(1) == kBatTimeRemainingOid) {
    state.ObjValue(1) = Divided(state.ObjValue(1), 60);
  }
}

}  // namespace

void StartTest(Context& ctx) {
  TestState& state = ctx.state;
  bool TrapSent = false;
  bool AnyAlarm = false;
  try {
    if (diag::SwitchIsOn(ctx.env, state)) state.DebugOn = true;

    cmdline::ReadCommandLine(ctx);
    ctx.read_node_data(ctx);

    if (state.ArgError) {
      NotJudged(state, kPollArgumentError);
      trap::SendTrap(ctx);
      Wait(ctx, kPauseMs);
      platform::EndProgram(platform::kExitArgumentError);
    }

    snmp::StartManager(ctx);
    snmp::CheckStatus(ctx);

    ScaleValues(state);

    if (!state.ResponseReceived) {
      NotJudged(state, kPollNoAnswer);
      trap::SendTrap(ctx);
      TrapSent = true;
    } else if (state.ResponseError) {
      NotJudged(state, kPollHandlerFailed);
      trap::SendTrap(ctx);
      TrapSent = true;
    } else {
      for (int16_t i = 1; i <= 4; ++i) {
        StatusCompare(ctx, i);
        if (state.ObjStatus(i) == kObjFailed) AnyAlarm = true;
      }
      state.PollStatus = kPollJudged;
      if (AnyAlarm) {
        state.UpsStatus = kUpsConditionFailed;
        // One trap per failed object, each showing that object with 2 and
        // the three others with 3.
        for (int16_t i = 1; i <= 4; ++i) {
          StatusCompare(ctx, i);
          if (state.ObjStatus(i) == kObjFailed) {
            for (int n = 1; n <= 4; ++n) {
              if (n != i) state.ObjStatus(n) = kObjOtherAlarm;
            }
            trap::SendTrap(ctx);
            TrapSent = true;
            Wait(ctx, kAlarmPauseMs);
          }
        }
      } else {
        state.UpsStatus = kUpsAllMet;
        if (state.NodeStatus != kNodeStatusNoAllClear) {
          trap::SendTrap(ctx);
          TrapSent = true;
        }
      }
    }

    if (state.DebugOn) {
      diag::AppendNodeLog(ctx, diag::SummaryGroup(ctx.env, state, TrapSent));
      Wait(ctx, kPauseMs);
    }
  } catch (const std::exception& e) {
    // A failure while writing this line is not handled here: it leaves
    // StartTest.
    diag::WriteTrapLine(ctx, "StartTest", e.what(), false, kPauseMs);
    platform::EndProgram(platform::kExitErrorTrap);
  }
}

int RunTest(Context& ctx) {
  try {
    StartTest(ctx);
    return platform::kExitNormal;
  } catch (const platform::ProgramEnd& end) {
    return end.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upstest: %s\n", e.what());
    return platform::kExitErrorTrap;
  }
}

}  // namespace upstest::run
