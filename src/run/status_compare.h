// The condition comparison of one object, on ctx.state (see
// run/test_state.h).
#pragma once

#include <cstdint>
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

}  // namespace upstest::run
