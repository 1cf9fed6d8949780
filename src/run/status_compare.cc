#include "run/status_compare.h"

#include <exception>
#include <string>

#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/wait.h"
#include "trap/status_trap.h"

namespace upstest::run {

namespace {

constexpr int16_t kPauseMs = 500;

int16_t Verdict(bool met) { return met ? kObjMet : kObjFailed; }

// A range condition without its "-": reported like an argument error, then
// the end.
[[noreturn]] void RangeError(Context& ctx) {
  TestState& state = ctx.state;
  state.PollStatus = kPollArgumentError;
  state.UpsStatus = kUpsNotJudged;
  for (int n = 1; n <= 4; ++n) state.ObjStatus(n) = kObjNotJudged;
  trap::SendTrap(ctx);
  Wait(ctx, kPauseMs);
  platform::EndProgram(platform::kExitArgumentError);
}

}  // namespace

void StatusCompare(Context& ctx, int16_t i) {
  TestState& state = ctx.state;
  try {
    const std::string op = state.ObjCondSign(i);
    if (op == "=") {
      const int32_t v = platform::ToInt32(state.ObjCondVal(i));
      state.ObjStatus(i) = Verdict(state.ObjValue(i) == v);
    } else if (op == "<") {
      const int32_t v = platform::ToInt32(state.ObjCondVal(i));
      state.ObjStatus(i) = Verdict(state.ObjValue(i) < v);
    } else if (op == ">") {
      const int32_t v = platform::ToInt32(state.ObjCondVal(i));
      state.ObjStatus(i) = Verdict(state.ObjValue(i) > v);
    } else if (op == "|") {
      // The range is judged only while object 4 holds a positive value;
      // otherwise object 4 counts as met, whatever object is asked for.
      if (state.ObjValue(4) <= 0) {
        state.ObjStatus(4) = kObjMet;
        return;
      }
      const std::string& range = state.ObjCondVal(i);
      const size_t dash = range.find('-');
      if (dash == std::string::npos) RangeError(ctx);
      const int32_t lower = platform::ToInt32(std::string_view(range).substr(0, dash));
      const int32_t upper = platform::ToInt32(std::string_view(range).substr(dash + 1));
      state.ObjStatus(i) = Verdict(lower <= state.ObjValue(i) && state.ObjValue(i) <= upper);
    }
  } catch (const std::exception& e) {
    diag::WriteTrapLine(ctx, "StatusCompare", e.what(), false, kPauseMs);
    platform::EndProgram(platform::kExitErrorTrap);
  }
}

}  // namespace upstest::run
