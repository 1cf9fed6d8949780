// The condition comparison of one object.
#pragma once

#include <cstdint>
#include <string>

namespace upstest::run {

struct Context;

// Judges object i (1..4) against ObjCondSign(i) / ObjCondVal(i) and sets
// its ObjStatus; may end the program (a range condition without "-", or
// its failure handling).
void StatusCompare(Context& ctx, int16_t i);

// The end of a run whose arguments cannot be judged (an object name not
// accepted, a range condition without "-"): the status trap with poll
// status 2 and nothing judged, the end pause, then exit 2 with `reason`.
[[noreturn]] void EndWithArgumentError(Context& ctx, std::string reason);

}  // namespace upstest::run
