// Small helpers for tests of single procedures: log text with its
// timestamps masked, and the exit status of a procedure that ends the
// program.
#pragma once

#include <optional>
#include <regex>
#include <string>

#include "platform/error.h"

namespace upstest::testing {

// The four object identifiers the procedure tests request and answer.
constexpr const char* kOid1 = "1.3.6.1.2.1.33.1.2.3.0";
constexpr const char* kOid2 = "1.3.6.1.2.1.33.1.4.4.1.2.1";
constexpr const char* kOid3 = "1.3.6.1.2.1.33.1.2.7.0";
constexpr const char* kOid4 = "1.3.6.1.2.1.99.1.1.1.4.1";

// Every 23-character timestamp ("YYYY-MM-DD HH:MM:SS.ttt") replaced by
// "<ts>", so golden log text does not depend on the virtual clock.
inline std::string MaskTimestamps(const std::string& text) {
  static const std::regex kTimestamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");
  return std::regex_replace(text, kTimestamp, "<ts>");
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
