// The one handler at the top of the program: main runs each command (a
// run or a check) through it, so that every end, normal or not, becomes an
// exit status here and nothing ends in std::terminate.
#pragma once

#include <functional>
#include <string_view>

#include "platform/env.h"

namespace upstest::platform {

// What becomes of an end that escapes a command: takes the end's status
// and its one-line reason, and returns the exit status. It
// must not throw.
using EndHandler = std::function<int(int status, std::string_view reason)>;

// Runs `command` and returns the exit status it returns. Whatever escapes
// it goes to `on_end`, whose result is the exit status:
//  - ProgramEnd: its status, with its reason, or "argument error"
//    (kExitArgumentError) or "ended by an error" when it has none; a
//    normal end (kExitNormal) is not handed on and gives kExitNormal;
//  - any std::exception (std::bad_alloc included): kExitFailure and its
//    description;
//  - anything else: kExitFailure and "ended by an unknown error".
int ExitStatusOf(const std::function<int()>& command, const EndHandler& on_end) noexcept;

// The same, with one "upstest: <reason>" line on env's standard error for
// each end handed on, and its status as the exit status. A status
// `command` returns itself gets no line here: the command has written its
// own. A line that cannot be written is lost alone.
int ExitStatusOf(Env& env, const std::function<int()>& command) noexcept;

}  // namespace upstest::platform
