#include "platform/exit_status.h"

#include <exception>
#include <string_view>

#include "platform/error.h"

namespace upstest::platform {

namespace {

// The reason line; when even that cannot be written (no memory left for
// it), it is lost and the status stands.
void WriteReason(Env& env, std::string_view reason) noexcept {
  try {
    env.WriteStderrLine(reason);
  } catch (...) {
  }
}

}  // namespace

int ExitStatusOf(Env& env, const std::function<int()>& command) noexcept {
  try {
    return command();
  } catch (const ProgramEnd& end) {
    if (end.status != kExitNormal) {
      WriteReason(env, !end.reason.empty()                ? std::string_view(end.reason)
                       : end.status == kExitArgumentError ? "argument error"
                                                          : "ended by an error");
    }
    return end.status;
  } catch (const std::exception& e) {
    WriteReason(env, e.what());
  } catch (...) {
    WriteReason(env, "ended by an unknown error");
  }
  return kExitFailure;
}

}  // namespace upstest::platform
