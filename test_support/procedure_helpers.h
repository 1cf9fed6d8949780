// Small helpers for tests of single procedures: log text with its
// timestamps masked, and the exit status of a procedure that ends the
// program.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace upstest::testing {

// The four object identifiers the procedure tests request and answer.
constexpr const char* kOid1 = "1.3.6.1.2.1.33.1.2.3.0";
constexpr const char* kOid2 = "1.3.6.1.2.1.33.1.4.4.1.2.1";
constexpr const char* kOid3 = "1.3.6.1.2.1.33.1.2.7.0";
constexpr const char* kOid4 = "1.3.6.1.2.1.99.1.1.1.4.1";

// Every 23-character timestamp ("YYYY-MM-DD HH:MM:SS.ttt") replaced by
// "<ts>", so golden log text does not depend on the virtual clock. Matched
// by hand, left to right without overlaps: GCC 12's std::regex does not
// build cleanly under the sanitizers.
inline std::string MaskTimestamps(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00 00:00:00.000";  // '0': a digit
  auto timestamp_at = [&](size_t at) {
    if (text.size() - at < kShape.size()) return false;
    for (size_t i = 0; i < kShape.size(); ++i) {
      const char c = text[at + i];
      if (kShape[i] == '0' ? (c < '0' || c > '9') : c != kShape[i]) return false;
    }
    return true;
  };
  std::string out;
  for (size_t at = 0; at < text.size();) {
    if (timestamp_at(at)) {
      out += "<ts>";
      at += kShape.size();
    } else {
      out += text[at++];
    }
  }
  return out;
}

// Runs `f`; the status it ended the program with, or nullopt when it
// returned normally.
template <typename F>
std::optional<int> EndStatus(F&& f) {
  try {
    f();
  } catch (const platform::ProgramEnd& end) {
    return end.status;
  }
  return std::nullopt;
}

}  // namespace upstest::testing
