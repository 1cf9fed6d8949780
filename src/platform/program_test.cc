#include "platform/program.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace upstest::platform
