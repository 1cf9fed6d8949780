#include "run/status_compare.h"

#include <exception>
#include <string>

#include "cmdline/read_command_line.h"
#include "diag/log.h"
#include "platform/convert.h"
#include "run/context.h"
#include "run/failure.h"

namespace upstest::run {

namespace {

int16_t Verdict(bool met) { return met ? kObjMet : kObjFailed; }

// A range condition without its "-": reported like an argument error, then
// the end.
[[noreturn]] void RangeError(Context& ctx, int16_t i) {
  EndWithArgumentError(ctx, "argument " + std::to_string(cmdline::ObjectArgument(ctx, i)) +
                                ": range condition \"" + diag::Printable(ctx.state.ObjCondVal(i)) +
                                "\" has no '-'");
}

}  // namespace

bool IsJudgedOperator(std::string_view op) {
  return op == "=" || op == "<" || op == ">" || op == "|";
}

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
      // Otherwise object 4 counts as met, whatever object is asked for.
      if (!RangesAreJudged(state)) {
        state.ObjStatus(4) = kObjMet;
        return;
      }
      const std::string& range = state.ObjCondVal(i);
      const size_t dash = range.find('-');
      if (dash == std::string::npos) RangeError(ctx, i);
      const int32_t lower = platform::ToInt32(std::string_view(range).substr(0, dash));
      const int32_t upper = platform::ToInt32(std::string_view(range).substr(dash + 1));
      state.ObjStatus(i) = Verdict(lower <= state.ObjValue(i) && state.ObjValue(i) <= upper);
    }
  } catch (const std::exception& e) {
    HandleFailure(ctx, kStatusCompareFailure, e.what());
  }
}

}  // namespace upstest::run
