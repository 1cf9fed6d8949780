// The one handler at the top: every way a command can end, its exit status
// and its one line on stderr.
#include "platform/exit_status.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "test_support/fake_env.h"

namespace upstest::platform {
namespace {

TEST(ExitStatusTest, EveryEndGivesAStatusAndAtMostOneLine) {
  struct Row {
    const char* what;
    std::function<int()> command;
    int status;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"normal end", [] { return kExitNormal; }, 0, {}},
      {"a status the command chose", [] { return kExitArgumentError; }, 2, {}},
      {"end with a reason",
       []() -> int { EndProgram(kExitFailure, "SendTrap: no route"); },
       1,
       {"SendTrap: no route"}},
      {"argument end without reason",
       []() -> int { EndProgram(kExitArgumentError); },
       2,
       {"argument error"}},
      {"end without reason", []() -> int { EndProgram(kExitFailure); }, 1, {"ended by an error"}},
      {"normal end thrown", []() -> int { EndProgram(kExitNormal, "unseen"); }, 0, {}},
      {"no memory", []() -> int { throw std::bad_alloc(); }, 1, {"std::bad_alloc"}},
      {"library failure",
       []() -> int { throw std::out_of_range("vector::at"); },
       1,
       {"vector::at"}},
      {"not an exception", []() -> int { throw 42; }, 1, {"ended by an unknown error"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testing::FakeEnv env;
    EXPECT_EQ(ExitStatusOf(env, row.command), row.status);
    EXPECT_EQ(env.stderr_lines, row.lines);
  }
}

// With a handler of its own, an end that escapes goes to it, and its result
// is the exit status; a normal end does not reach it.
TEST(ExitStatusTest, AHandlerOfItsOwnTakesTheEnd) {
  std::vector<std::string> ends;
  const EndHandler on_end = [&ends](int status, std::string_view reason) {
    ends.push_back(std::to_string(status) + " " + std::string(reason));
    return 3;
  };
  EXPECT_EQ(ExitStatusOf([]() -> int { EndProgram(kExitArgumentError); }, on_end), 3);
  EXPECT_EQ(ExitStatusOf([]() -> int { EndProgram(kExitNormal); }, on_end), 0);
  EXPECT_EQ(ends, std::vector<std::string>{"2 argument error"});
}

}  // namespace
}  // namespace upstest::platform
