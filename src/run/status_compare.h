// The condition comparison of one object, on ctx.state (see
// run/test_state.h).
#pragma once

#include <cstdint>
#include <string>

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
// EndWithArgumentError (exit 2, after its trap). Any other failure (a
// condition value that is no number): kStatusCompareFailure, which ends the
// run (exit 1).
void StatusCompare(Context& ctx, int16_t i);

// The end of a run whose arguments cannot be judged (an object name not
// accepted, a range condition without "-").
//
// Writes: PollStatus = kPollArgumentError, UpsStatus and every ObjStatus 0.
// Sends: the status trap (trap::SendTrap); then pauses 500 ms, whether the
// log is on or not.
// Ends the run: exit 2 with `reason`; a failure of the trap ends it
// through SendTrap's own entry.
[[noreturn]] void EndWithArgumentError(Context& ctx, std::string reason);

}  // namespace upstest::run
