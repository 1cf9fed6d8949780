#include "platform/program.h"

#include <gtest/gtest.h>
#include <signal.h>
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

// Waits at most `seconds` for `pid` to end; kills it when it has not.
int EndOf(pid_t pid, int seconds) {
  int status = 0;
  for (int i = 0; i < seconds * 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// A process still running when the watchdog expires ends with exit 1 and
// says so on stderr, whatever the parent left of SIGALRM: blocked,
// ignored, or both. One that ends first is not touched.
TEST(ProgramTest, WatchdogEndsAProcessThatRunsTooLong) {
  enum Parent { kDefault, kBlocked, kIgnored, kBlockedAndIgnored };
  for (const Parent parent : {kDefault, kBlocked, kIgnored, kBlockedAndIgnored}) {
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(err[1], STDERR_FILENO);
      sigset_t alarm_only;
      sigemptyset(&alarm_only);
      sigaddset(&alarm_only, SIGALRM);
      if (parent == kBlocked || parent == kBlockedAndIgnored) {
        sigprocmask(SIG_BLOCK, &alarm_only, nullptr);
      }
      if (parent == kIgnored || parent == kBlockedAndIgnored) signal(SIGALRM, SIG_IGN);
      StartWatchdog(1);
      for (int i = 0; i < 500; ++i) usleep(10000);  // 5 s, then a wrong end
      _exit(7);
    }
    close(err[1]);
    const int status = EndOf(pid, 10);
    char text[128] = {};
    const ssize_t n = read(err[0], text, sizeof text - 1);
    close(err[0]);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 1)
        << "parent " << parent << ": status " << status;
    EXPECT_EQ(std::string(text, n > 0 ? static_cast<size_t>(n) : 0),
              "upstest: the run did not end within 1 s\n")
        << "parent " << parent;
  }

  const pid_t quick = fork();
  ASSERT_GE(quick, 0);
  if (quick == 0) {
    StartWatchdog(1);
    _exit(0);
  }
  const int status = EndOf(quick, 10);
  EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace upstest::platform
