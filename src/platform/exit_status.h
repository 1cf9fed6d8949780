// The one handler at the top of the program: main runs each command (a
// run or a check) through it, so that every end, normal or not, becomes an
// exit status here and nothing ends in std::terminate.
#pragma once

#include <functional>

#include "platform/env.h"

namespace upstest::platform {

// Runs `command` and returns the exit status it returns. Whatever escapes
// it ends here, with one "upstest: <reason>" line on env's standard error:
//  - ProgramEnd: its status, and for any status but kExitNormal its reason,
//    or "argument error" (kExitArgumentError) or "ended by an error" when
//    it has none; no line for a normal end;
//  - any std::exception (std::bad_alloc included): kExitFailure and its
//    description;
//  - anything else: kExitFailure and "ended by an unknown error".
// A status `command` returns itself gets no line here: the command has
// written its own. A line that cannot be written is lost alone.
int ExitStatusOf(Env& env, const std::function<int()>& command) noexcept;

}  // namespace upstest::platform
