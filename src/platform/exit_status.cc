#include "platform/exit_status.h"

#include <exception>
#include <string_view>

#include "platform/error.h"

namespace upstest::platform {

int ExitStatusOf(const std::function<int()>& command, const EndHandler& on_end) noexcept {
  try {
    return command();
  } catch (const ProgramEnd& end) {
    if (end.status == kExitNormal) return kExitNormal;
    return on_end(end.status, !end.reason.empty()                ? std::string_view(end.reason)
                              : end.status == kExitArgumentError ? "argument error"
                                                                 : "ended by an error");
  } catch (const std::exception& e) {
    return on_end(kExitFailure, e.what());
  } catch (...) {
    return on_end(kExitFailure, "ended by an unknown error");
  }
}

int ExitStatusOf(Env& env, const std::function<int()>& command) noexcept {
  return ExitStatusOf(command, [&env](int status, std::string_view reason) {
    // When even the line cannot be written (no memory left for it), it is
    // lost and the status stands.
    try {
      env.WriteStderrLine(reason);
    } catch (...) {
    }
    return status;
  });
}

}  // namespace upstest::platform
