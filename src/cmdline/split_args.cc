#include "cmdline/split_args.h"

#include <cstdint>
#include <string>

#include "platform/characters.h"
#include "platform/error.h"

namespace upstest::cmdline {

namespace {

// The length and the position counter are 16-bit numbers.
constexpr size_t kMaxLength = 32766;

constexpr char kBlank = ' ';
constexpr char kTab = '\t';
constexpr char kQuote = '"';
constexpr int16_t kLastField = 7;

// A text has at most as many characters as bytes, so only a long one is
// counted.
void CheckLength(std::string_view text) {
  if (text.size() <= kMaxLength) return;
  const size_t characters = platform::CharacterCount(text);
  if (characters > kMaxLength) {
    throw platform::Failure("Overflow: an argument text of " + std::to_string(characters) +
                            " characters does not fit in 16 bits");
  }
}

}  // namespace

void SplitArgs(std::string_view text, Fields& fields) {
  CheckLength(text);
  int16_t field = 1;
  bool in_quotes = false;
  for (const char c : text) {
    if (c == kQuote) {
      in_quotes = !in_quotes;
    } else if (in_quotes) {
      fields[static_cast<size_t>(field - 1)] += c;
    } else if (c == kBlank || c == kTab) {
      if (field < kLastField) {
        ++field;
      } else {
        fields[static_cast<size_t>(field - 1)] += c;
      }
    } else {
      fields[static_cast<size_t>(field - 1)] += c;
    }
  }
}

Fields TakeFields(std::string_view text, const std::vector<std::string>& arguments) {
  Fields fields{};
  if (arguments.size() != fields.size()) {
    SplitArgs(text, fields);
    return fields;
  }
  CheckLength(text);
  for (size_t i = 0; i < fields.size(); ++i) fields[i] = arguments[i];
  return fields;
}

}  // namespace upstest::cmdline
