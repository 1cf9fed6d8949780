// Runtime errors and the end of the program.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace upstest::platform {

// A runtime error: carries the description that a procedure's failure
// handling writes to the debug log. Every procedure catches std::exception,
// so library failures (bad_alloc, out_of_range ...) are handled there too.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description) : std::runtime_error(description) {}
};

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitArgumentError = 2;

// Ending the program. Deliberately not a std::exception, so that no
// procedure's failure handling catches it; it unwinds to the top of the
// run, which returns `status`. Nothing of the system runs while it unwinds:
// no event, no trap, no log. `reason` says in one line why a run ended
// other than normally; the top of the run writes it to the standard error.
struct ProgramEnd {
  int status;
  std::string reason;
};

// Ends the program with `status` and `reason`. Never returns.
[[noreturn]] inline void EndProgram(int status, std::string reason = {}) {
  throw ProgramEnd{status, std::move(reason)};
}

}  // namespace upstest::platform
