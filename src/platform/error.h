// Runtime errors and the end of the program.
#pragma once

#include <stdexcept>
#include <string>

namespace upstest::platform {

// A runtime error: carries the description that error traps write to the
// debug log. Every error trap catches std::exception, so library failures
// (bad_alloc, out_of_range ...) reach the traps too.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description) : std::runtime_error(description) {}
};

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitErrorTrap = 1;
inline constexpr int kExitArgumentError = 2;

// Ending the program. Deliberately not a std::exception, so that no error
// trap catches it; it unwinds to the top of the run, which returns `status`.
// Nothing of the system runs while it unwinds: no event, no trap, no log.
struct ProgramEnd {
  int status;
};

// Ends the program with `status`. Never returns.
[[noreturn]] inline void EndProgram(int status) { throw ProgramEnd{status}; }

}  // namespace upstest::platform
