#include "platform/program.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cmdline/split_args.h"

namespace upstest::platform {
namespace {

TEST(ProgramTest, BaseDirectoryDropsTheLastEightCharacters) {
  EXPECT_EQ(BaseDirectory("/opt/kovatrel/apiexec"), "/opt/kovatrel");
  EXPECT_EQ(BaseDirectory("/x/apiexec"), "/x");
  EXPECT_EQ(BaseDirectory("/apiexec"), "");
  EXPECT_EQ(BaseDirectory("/short"), "");
  EXPECT_EQ(BaseDirectory(""), "");
  // Whatever the last eight characters are.
  EXPECT_EQ(BaseDirectory("/srv/ups/bin/tools"), "/srv/ups/b");
}

TEST(ProgramTest, ProgramDirectoryHoldsTheRunningExecutable) {
  const std::string dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir[0], '/');
  EXPECT_NE(dir.back(), '/');
}

std::string TextOf(std::vector<const char*> args) {
  args.insert(args.begin(), "upstest");
  return ArgumentText(static_cast<int>(args.size()), args.data());
}

TEST(ProgramTest, ArgumentTextQuotesEmptyAndBlankArguments) {
  EXPECT_EQ(TextOf({}), "");
  EXPECT_EQ(TextOf({"a", "17"}), "a 17");
  EXPECT_EQ(TextOf({"Main UPS", "", "a\tb", " ", "x"}), "\"Main UPS\" \"\" \"a\tb\" \" \" x");
  EXPECT_EQ(TextOf({"say\"hi\""}), "say\"hi\"") << "quotes inside are left alone";
}

TEST(ProgramTest, SplittingTheRebuiltTextGivesTheArgumentsBack) {
  cmdline::Fields fields{};
  cmdline::SplitArgs(TextOf({"Main UPS", "17", "", "a\tb", "e", "f", "g", "h"}), fields);
  EXPECT_EQ(fields, (cmdline::Fields{"Main UPS", "17", "", "a\tb", "e", "f", "g h"}));
}

// A process still running when the watchdog expires ends with exit 1 and
// says so on stderr; one that ends first is not touched.
TEST(ProgramTest, WatchdogEndsAProcessThatRunsTooLong) {
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(err[1], STDERR_FILENO);
    StartWatchdog(1);
    for (;;) pause();
  }
  close(err[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  char text[128] = {};
  const ssize_t n = read(err[0], text, sizeof text - 1);
  close(err[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(std::string(text, n > 0 ? static_cast<size_t>(n) : 0),
            "upstest: the run did not end within 1 s\n");

  const pid_t quick = fork();
  ASSERT_GE(quick, 0);
  if (quick == 0) {
    StartWatchdog(1);
    _exit(0);
  }
  ASSERT_EQ(waitpid(quick, &status, 0), quick);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace upstest::platform
