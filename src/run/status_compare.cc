#include "run/status_compare.h"

#include <exception>
#include <limits>
#include <optional>
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

// A range's bounds, LOW and HIGH of "LOW-HIGH" split at the first '-';
// none without a '-'. Throws the conversion's Failure.
std::optional<ValueInterval> RangeBounds(std::string_view range) {
  const size_t dash = range.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  return ValueInterval{platform::ToInt32(range.substr(0, dash)),
                       platform::ToInt32(range.substr(dash + 1))};
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
      const std::optional<ValueInterval> bounds = RangeBounds(state.ObjCondVal(i));
      if (!bounds) RangeError(ctx, i);
      const int32_t value = state.ObjValue(i);
      state.ObjStatus(i) = Verdict(*bounds->low <= value && value <= *bounds->high);
    }
  } catch (const std::exception& e) {
    HandleFailure(ctx, kStatusCompareFailure, e.what());
  }
}

std::optional<ValueInterval> MetValues(std::string_view op, std::string_view value) {
  constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
  constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();
  try {
    if (op == "|") {
      const std::optional<ValueInterval> bounds = RangeBounds(value);
      if (!bounds || *bounds->low > *bounds->high) return std::nullopt;
      return bounds;
    }
    if (!IsJudgedOperator(op)) return std::nullopt;
    const int32_t v = platform::ToInt32(value);
    if (op == "=") return ValueInterval{v, v};
    if (op == "<") return v == kLowest ? std::nullopt : std::optional(ValueInterval{{}, v - 1});
    return v == kHighest ? std::nullopt : std::optional(ValueInterval{v + 1, {}});
  } catch (const std::exception&) {
    return std::nullopt;  // a value that does not convert
  }
}

}  // namespace upstest::run
