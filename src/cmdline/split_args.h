// The seven fields of the command line.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace upstest::cmdline {

using Fields = std::array<std::string, 7>;

// Splits `text` into `fields`, which the caller hands over empty: blanks
// and tabs outside quotes move on to the next field (two in a row leave an
// empty field between them), double quotes switch quoting and are dropped,
// and field 7 takes the rest of the text, its blanks included. Characters
// are only ever appended. Throws platform::Failure ("Overflow ...") for a
// text of 32767 characters or more (UTF-8 characters, see platform/characters.h).
void SplitArgs(std::string_view text, Fields& fields);

// The fields of a run. `arguments` are the arguments as the process got
// them, already split; `text` is the argument text rebuilt from them
// (platform::ArgumentText). Exactly seven arguments are the fields as they
// stand, so a quote or a blank inside one never shifts a field; any other
// number is split from `text` by SplitArgs, as callers that pass the whole
// command line in fewer arguments rely on. The length limit of SplitArgs
// holds for both.
Fields TakeFields(std::string_view text, const std::vector<std::string>& arguments);

}  // namespace upstest::cmdline
