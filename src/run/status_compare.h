// The condition comparison of one object.
#pragma once

#include <cstdint>

namespace upstest::run {

struct Context;

// Judges object i (1..4) against ObjCondSign(i) / ObjCondVal(i) and sets
// its ObjStatus; may end the program (range condition without "-", error
// trap).
void StatusCompare(Context& ctx, int16_t i);

}  // namespace upstest::run
