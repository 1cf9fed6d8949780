// The argument rules of `upstest --check`.
#include "check/call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upstest::check {
namespace {

// Which argument lists are a check, in which form, and which are refused.
TEST(CheckCallTest, ArgumentRules) {
  using Form = CheckCall::Form;
  const std::string o = "upsBatteryVoltage<250";
  struct Row {
    std::vector<std::string> args;
    Form form;
    bool show;
    size_t objects;
    bool problem;
  };
  const Row rows[] = {
      {{"--check", "17"}, Form::kText, false, 0, false},
      {{"--check", "--show-communities", "17"}, Form::kText, true, 0, false},
      {{"--check", "17", "--show-communities"}, Form::kText, true, 0, false},
      {{"--check=json", "17"}, Form::kJson, false, 0, false},
      {{"--check", "17", o, o, o, o}, Form::kText, false, 4, false},
      {{"--check=json", "17", o, o, o, o}, Form::kJson, false, 4, false},
      // Seven arguments are a run, whatever they say.
      {{"--check", "--show-communities", "17", o, o, o, o}, Form::kNone, false, 0, false},
      {{"--check=json", "17", o, o, o, o, o}, Form::kNone, false, 0, false},
      {{"Main UPS", "17", "5", o, o, o, o}, Form::kNone, false, 0, false},
      {{"--help", "x"}, Form::kNone, false, 0, false},
      {{"--check"}, Form::kText, false, 0, true},
      {{"--check", "17", "18"}, Form::kText, false, 0, true},
      {{"--check", "17", o, o}, Form::kText, false, 0, true},
      {{"--check", "--show-communities", "17", o, o, o}, Form::kText, false, 0, true},
      {{"--check=json", "--show-communities", "17"}, Form::kJson, false, 0, true},
      {{"--check=xml", "17"}, Form::kNone, false, 0, true},
      // plugin and prometheus: the four objects always, never the communities.
      {{"--check=plugin", "17", o, o, o, o}, Form::kPlugin, false, 4, false},
      {{"--check=prometheus", "17", o, o, o, o}, Form::kPrometheus, false, 4, false},
      {{"--check=plugin", "17", o, o, o, o, o}, Form::kNone, false, 0, false},
      {{"--check=plugin", "17"}, Form::kPlugin, false, 0, true},
      {{"--check=prometheus", "--show-communities", "17"}, Form::kPrometheus, false, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const CheckCall call = ReadCheckCall(row.args);
    EXPECT_EQ(call.form, row.form);
    EXPECT_EQ(!call.problem.empty(), row.problem) << call.problem;
    if (row.problem) continue;
    EXPECT_EQ(call.show_communities, row.show);
    EXPECT_EQ(call.objects.size(), row.objects);
    if (row.form != Form::kNone) {
      EXPECT_EQ(call.node_id, "17");
    }
  }
}

}  // namespace
}  // namespace upstest::check
