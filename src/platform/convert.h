// The one text-to-number routine of the system, used for the command line,
// the condition values, the polled values and the database columns.
#pragma once

#include <cstdint>
#include <string_view>

namespace upstest::platform {

// Accepted: optional blanks (space or tab), an optional sign ('+' or '-'),
// decimal digits with an optional fraction ("5", "5.", ".5", "5.25"; at
// least one digit), optional blanks. A fraction is rounded to the nearest
// integer, an exact half to the even neighbour; the rounding is done on the
// decimal digits, so no binary representation error creeps in. No exponent,
// no digit grouping.
//
// Throws Failure: "Type mismatch: '<text>' is not a number" for any other
// text, the empty text included; "Overflow: <text> does not fit in 16 bits"
// (or 32) when the rounded value lies outside the target width.
int32_t ToInt32(std::string_view text);
int16_t ToInt16(std::string_view text);

// A floating value rounded to the nearest integer, halves to even. Throws
// Failure ("Overflow: ...") for a value outside the width, NaN included.
int32_t RoundToInt32(double value);
int16_t RoundToInt16(double value);

}  // namespace upstest::platform
