// The condition comparison of one object, on ctx.state (see
// run/test_state.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "run/test_state.h"

namespace upstest::run {

struct Context;

// Judges object i (1..4) against its condition: "=", "<" and ">" compare
// ObjValue(i) with ObjCondVal(i) converted by platform::ToInt32; "|" asks
// for LOW <= ObjValue(i) <= HIGH with ObjCondVal(i) "LOW-HIGH". A range is
// judged only while object 4's value is above 0; otherwise object 4 counts
// as met, whatever object is asked for.
//
// Reads: ObjCondSign(i), ObjCondVal(i), ObjValue(i); for "|" ObjValue(4).
// Writes: ObjStatus(i), kObjMet or kObjFailed; for "|" while ObjValue(4) is
// 0 or below, ObjStatus(4) = kObjMet instead. Any other operator leaves
// ObjStatus(i) as it was.
// Fails: a range without '-', when it is judged, ends the run through
// EndWithArgumentError (run/failure.h: exit 2, after its trap). Any other
// failure (a condition value that is no number): kStatusCompareFailure,
// which ends the run (exit 1).
void StatusCompare(Context& ctx, int16_t i);

// The operators StatusCompare judges by ("=", "<", ">", "|"); an object
// with any other one is never judged.
bool IsJudgedOperator(std::string_view op);

// A range condition is judged only while object 4's value is above 0.
inline bool RangesAreJudged(const TestState& state) { return state.ObjValue(4) > 0; }

// The 32-bit values from `low` to `high`, both included; an end that is
// none is unbounded.
struct ValueInterval {
  std::optional<int32_t> low;
  std::optional<int32_t> high;
};

// The values that meet the condition `op` `value` as StatusCompare judges
// it, with V, LOW and HIGH converted as it converts them: "=V" V to V,
// "<V" up to V-1, ">V" from V+1, "|LOW-HIGH" LOW to HIGH (split at the
// first '-'). None where no interval says it: an operator StatusCompare
// does not judge, a value that does not convert, a range without '-' or
// with LOW above HIGH, "<" the lowest 32-bit value and ">" the highest.
// Whether a range is judged at all (RangesAreJudged) is not asked.
std::optional<ValueInterval> MetValues(std::string_view op, std::string_view value);

}  // namespace upstest::run
