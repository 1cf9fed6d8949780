// Splitting the argument text into seven fields.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace upstest::cmdline {

using Fields = std::array<std::string, 7>;

// Appends the characters of `text` to `fields` (handed over empty): blanks
// and tabs outside quotes move on to the next field, double quotes switch
// quoting and are dropped, field 7 takes the rest of the text. Throws
// platform::Failure ("Overflow ...") for a text of 32767 characters or more.
void SplitArgs(std::string_view text, Fields& fields);

}  // namespace upstest::cmdline
