// Runs the built program, installed in a fresh base directory.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/procedure_helpers.h"

extern char** environ;

namespace upstest {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(d);
  }
  return names;
}

// <base>/apiexec/upstest, a copy of the built program.
class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/upstest-bin-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    base_ = pattern;
    apiexec_ = base_ + "/apiexec";
    ASSERT_EQ(mkdir(apiexec_.c_str(), 0755), 0);
    const std::string copy = "cp '" + std::string(UPSTEST_BINARY) + "' '" + apiexec_ + "/upstest'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + base_ + "'").c_str()); }

  // Runs the program with `args`; returns its exit status, -1 when it did
  // not exit normally.
  int Run(const std::vector<std::string>& args) {
    const std::string program = apiexec_ + "/upstest";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string err = base_ + "/stderr";
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    stderr_ = ReadAll(err);
    return WEXITSTATUS(status);
  }

  std::string base_, apiexec_, stderr_;
};

const std::vector<std::string> kSixArguments = {"Main UPS",
                                                "17",
                                                "5",
                                                "upsEstimatedMinutesRemaining>10",
                                                "upsBatteryVoltage<250",
                                                "upsBatteryTemperature<40"};

TEST_F(Installed, SixArgumentsWithTheSwitchWriteTheArgumentErrorGroup) {
  const std::string switch_file = apiexec_ + "/upsdebug.txt";
  std::ofstream(switch_file).close();
  const int status = Run(kSixArguments);
  EXPECT_EQ(status, 2) << stderr_;
  EXPECT_EQ(
      upstest::testing::MaskTimestamps(ReadAll(switch_file)),
      "\r\n<ts> Argument Error\r\n"
      "<ts> CommandLine = \"Main UPS\" 17 5 "
      "upsEstimatedMinutesRemaining>10 upsBatteryVoltage<250 upsBatteryTemperature<40\r\n\r\n");
  EXPECT_EQ(Entries(apiexec_), (std::set<std::string>{"upstest", "upsdebug.txt"}))
      << "no node log in that run";
}

// Without the switch nothing is written, and stderr says in one line why
// the run ended.
TEST_F(Installed, SixArgumentsWithoutTheSwitchWriteNothingButTheReason) {
  const int status = Run(kSixArguments);
  EXPECT_EQ(status, 2) << stderr_;
  EXPECT_EQ(Entries(apiexec_), (std::set<std::string>{"upstest"}));
  EXPECT_EQ(stderr_,
            "upstest: argument 7 is missing or empty (seven arguments are needed: NODENAME NODEID "
            "NODESTATUS and four objects)\n");
}

}  // namespace
}  // namespace upstest
