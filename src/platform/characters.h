// Characters of the argument text. Arguments arrive as UTF-8: a well-formed
// multi-byte sequence is one character, and so is every byte that does not
// belong to one (a stray continuation byte, a cut-off or overlong sequence,
// a surrogate), so every text splits into characters and nothing is lost.
#pragma once

#include <cstddef>
#include <string_view>

namespace upstest::platform {

// The number of bytes of the character that starts at byte `at` of `text`:
// 1 to 4; 0 when `at` is at or beyond the end.
size_t CharacterLength(std::string_view text, size_t at);

// The number of characters of `text`.
size_t CharacterCount(std::string_view text);

}  // namespace upstest::platform
