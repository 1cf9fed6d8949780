#include "cmdline/split_args.h"

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace upstest::cmdline {

namespace {

// The length and the position counter are 16-bit numbers.
constexpr size_t kMaxLength = 32766;

constexpr char kBlank = ' ';
constexpr char kTab = '\t';
constexpr char kQuote = '"';
constexpr int16_t kLastField = 7;

}  // namespace

void SplitArgs(std::string_view text, Fields& fields) {
  if (text.size() > kMaxLength) {
    throw platform::Failure("Overflow: an argument text of " + std::to_string(text.size()) +
                            " characters does not fit in 16 bits");
  }
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

}  // namespace upstest::cmdline
