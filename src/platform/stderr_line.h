// The one rule for the length of a line on the standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace upstest::platform {

// The most octets of a line that Env::WriteStderrLine writes after
// "upstest: ", its marker included.
inline constexpr size_t kLongestStderrLine = 1024;

// `line` as it is written: unchanged up to kLongestStderrLine octets;
// longer, cut so that it ends with "..." and holds kLongestStderrLine octets
// at most, never inside a UTF-8 sequence.
std::string CutStderrLine(std::string_view line);

}  // namespace upstest::platform
