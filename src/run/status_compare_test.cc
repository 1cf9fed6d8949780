#include "run/status_compare.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "cmdline/read_command_line.h"
#include "platform/error.h"
#include "test_support/test_run.h"

namespace upstest::run {
namespace {

using testing::FakeAgent;
using testing::TestRun;

// Judges object i with the given condition and value (object 4 holds
// `value4` unless i is 4). Returns the exit status when it ended the
// program.
struct Judged {
  std::optional<int> end;
  int16_t status;
};

Judged Judge(TestRun& run, int16_t i, const std::string& sign, const std::string& val,
             int32_t value) {
  run.ctx.state.ObjCondSign(i) = sign;
  run.ctx.state.ObjCondVal(i) = val;
  run.ctx.state.ObjValue(i) = value;
  try {
    StatusCompare(run.ctx, i);
  } catch (const platform::ProgramEnd& end) {
    return {end.status, run.ctx.state.ObjStatus(i)};
  }
  return {std::nullopt, run.ctx.state.ObjStatus(i)};
}

int16_t StatusOf(const std::string& sign, const std::string& val, int32_t value, int16_t i = 2) {
  TestRun run;
  run.ctx.state.ObjValue(4) = 1;
  const Judged j = Judge(run, i, sign, val, value);
  EXPECT_EQ(j.end, std::nullopt) << sign << val << " with " << value;
  EXPECT_TRUE(run.agent.traps.empty());
  return j.status;
}

TEST(StatusCompareTest, ComparisonOperators) {
  EXPECT_EQ(StatusOf("=", "25", 25), kObjMet);
  EXPECT_EQ(StatusOf("=", "25", 24), kObjFailed);
  EXPECT_EQ(StatusOf("<", "25", 25), kObjFailed);
  EXPECT_EQ(StatusOf("<", "25", 24), kObjMet);
  EXPECT_EQ(StatusOf(">", "25", 25), kObjFailed);
  EXPECT_EQ(StatusOf(">", "25", 26), kObjMet);
  EXPECT_EQ(StatusOf("<", "-5", -6), kObjMet);
  EXPECT_EQ(StatusOf(">", "-2147483648", INT32_MIN), kObjFailed);
  EXPECT_EQ(StatusOf("<", "2147483647", INT32_MAX - 1), kObjMet);
}

// MetValues says what StatusCompare judges: each value at and beside an
// end of the interval lies in it exactly when StatusCompare finds it met;
// none where no interval says it.
TEST(StatusCompareTest, MetValuesAgreeWithTheJudgement) {
  struct Row {
    const char* op;
    const char* value;
    std::optional<ValueInterval> met;
  };
  // clang-format off
  const Row rows[] = {
      {"<", "40", ValueInterval{{}, 39}},         {">", "10", ValueInterval{11, {}}},
      {"=", "2.5", ValueInterval{2, 2}},          {"|", " 7 - 7.4", ValueInterval{7, 7}},
      {"|", "200-250", ValueInterval{200, 250}},
      {"<", "-2147483647", ValueInterval{{}, INT32_MIN}},
      {">", "2147483646", ValueInterval{INT32_MAX, {}}},
      {"<", "-2147483648", std::nullopt},         {">", "2147483647", std::nullopt},
      {"|", "250-200", std::nullopt},             {"|", "-5-10", std::nullopt},
      {"|", "200", std::nullopt},                 {"=", "2147483648", std::nullopt},
      {"<", "warm", std::nullopt},                {"!", "5", std::nullopt},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.op) + row.value);
    const std::optional<ValueInterval> met = MetValues(row.op, row.value);
    ASSERT_EQ(met.has_value(), row.met.has_value());
    if (!met) continue;
    EXPECT_EQ(std::pair(met->low, met->high), std::pair(row.met->low, row.met->high));
    for (const int64_t end : {int64_t{met->low.value_or(0)}, int64_t{met->high.value_or(0)}}) {
      for (const int64_t v : {end - 1, end, end + 1}) {
        if (v < INT32_MIN || v > INT32_MAX) continue;
        const bool inside = (!met->low || v >= *met->low) && (!met->high || v <= *met->high);
        EXPECT_EQ(StatusOf(row.op, row.value, static_cast<int32_t>(v)),
                  inside ? kObjMet : kObjFailed)
            << v;
      }
    }
  }
}

TEST(StatusCompareTest, ConditionValueIsConvertedWithBlanksAndRounding) {
  EXPECT_EQ(StatusOf("=", " 25 ", 25), kObjMet);
  EXPECT_EQ(StatusOf("=", "2.5", 2), kObjMet);
  EXPECT_EQ(StatusOf("=", "3.5", 4), kObjMet);
  EXPECT_EQ(StatusOf("=", "3.5", 3), kObjFailed);
}

TEST(StatusCompareTest, RangeOperatorIncludesBothBounds) {
  EXPECT_EQ(StatusOf("|", "20-30", 20), kObjMet);
  EXPECT_EQ(StatusOf("|", "20-30", 30), kObjMet);
  EXPECT_EQ(StatusOf("|", "20-30", 19), kObjFailed);
  EXPECT_EQ(StatusOf("|", "20-30", 31), kObjFailed);
  EXPECT_EQ(StatusOf("|", "5-100", 50), kObjMet);
  EXPECT_EQ(StatusOf("|", " 5 - 100 ", 50), kObjMet);
  for (const int32_t v : {19, 20, 25, 30, 31}) EXPECT_EQ(StatusOf("|", "30-20", v), kObjFailed);
}

TEST(StatusCompareTest, RangeIsNotJudgedWhileObjectFourIsNotPositive) {
  for (const int32_t value4 : {0, -3}) {
    TestRun run;
    run.ctx.state.ObjValue(4) = value4;
    run.ctx.state.ObjStatus(1) = 2;
    // A condition value without a dash is not even looked at.
    const Judged j = Judge(run, 1, "|", "20", 20);
    EXPECT_EQ(j.end, std::nullopt);
    EXPECT_EQ(run.ctx.state.ObjStatus(1), 2) << "object 1 untouched";
    EXPECT_EQ(run.ctx.state.ObjStatus(4), kObjMet);
    EXPECT_TRUE(run.agent.traps.empty());
  }
  TestRun four;
  EXPECT_EQ(Judge(four, 4, "|", "x", 0).status, kObjMet);
}

TEST(StatusCompareTest, UnknownOperatorChangesNothing) {
  for (const std::string sign : {"!", "", "==", " =", "|<", "-"}) {
    TestRun run;
    run.ctx.state.ObjValue(4) = 10;
    run.ctx.state.ObjStatus(3) = 3;
    run.ctx.state.DebugOn = true;
    const Judged j = Judge(run, 3, sign, "not a number", 5);
    EXPECT_EQ(j.end, std::nullopt) << sign;
    EXPECT_EQ(j.status, 3) << sign;
    EXPECT_TRUE(run.env.appends.empty());
  }
}

TEST(StatusCompareTest, RangeWithoutDashSendsTheArgumentErrorTrapAndEnds) {
  TestRun run;
  run.ctx.state.DebugOn = true;
  run.ctx.state.PollStatus = 1;
  run.ctx.state.UpsStatus = 2;
  for (int n = 1; n <= 4; ++n) run.ctx.state.ObjStatus(n) = 3;
  run.ctx.state.ObjValue(4) = 7;
  const Judged j = Judge(run, 2, "|", "20", 20);
  EXPECT_EQ(j.end, platform::kExitArgumentError);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  const testing::RecordedTrap& trap = run.agent.traps[0];
  EXPECT_EQ(FakeAgent::IntAt(trap, 1), kPollArgumentError);
  EXPECT_EQ(FakeAgent::IntAt(trap, 2), kUpsNotJudged);
  for (const size_t status_at : {3u, 5u, 7u, 9u}) EXPECT_EQ(FakeAgent::IntAt(trap, status_at), 0);
  EXPECT_EQ(FakeAgent::IntAt(trap, 6), 20) << "the polled value goes out";
  EXPECT_EQ(trap.at_ms, 0);
  EXPECT_EQ(run.env.now_ms(), 500) << "the end comes 500 ms after the trap";
  EXPECT_TRUE(run.env.appends.empty()) << "no error line";
}

// A range without '-' and a name of no object of the slot give one
// argument number for object n: n+3 on a run's command line, n+2 on a
// check's (--check NODEID OBJ1..OBJ4).
TEST(StatusCompareTest, TheRangeErrorNamesTheArgumentAsTheWrongNameDoes) {
  for (const Command command : {Command::kRun, Command::kCheck}) {
    for (int16_t n = 1; n <= kObjectCount; ++n) {
      const std::string argument =
          "argument " + std::to_string(command == Command::kRun ? n + 3 : n + 2);
      SCOPED_TRACE(argument);
      TestRun run;
      run.ctx.command = command;
      run.ctx.state.ObjValue(4) = 7;
      run.ctx.state.ObjCondSign(n) = "|";
      run.ctx.state.ObjCondVal(n) = "20";
      std::string reason;
      try {
        StatusCompare(run.ctx, n);
      } catch (const platform::ProgramEnd& end) {
        reason = end.reason;
      }
      EXPECT_EQ(reason, argument + ": range condition \"20\" has no '-'");
      EXPECT_EQ(cmdline::UnacceptedObject(run.ctx, n, "x").rfind(argument + " \"x\":", 0), 0u);
    }
  }
}

TEST(StatusCompareTest, ConversionErrorsEndThroughTheTrap) {
  struct Case {
    std::string sign, val;
  };
  for (const Case& c : std::initializer_list<Case>{{"=", "abc"},
                                                   {"=", ""},
                                                   {"<", "12345678901"},
                                                   {">", "1e3"},
                                                   {"|", "20-"},
                                                   {"|", "-5-10"},
                                                   {"|", "20-30-40"},
                                                   {"|", "a-30"}}) {
    TestRun run;
    run.SetNodeId(9);
    run.ctx.state.DebugOn = true;
    run.ctx.state.ObjValue(4) = 1;
    run.ctx.state.ObjStatus(1) = 3;
    const Judged j = Judge(run, 1, c.sign, c.val, 20);
    EXPECT_EQ(j.end, platform::kExitFailure) << c.sign << c.val;
    EXPECT_EQ(j.status, 3) << "no status is set for the object";
    EXPECT_TRUE(run.agent.traps.empty());
    const std::string log = run.NodeLog(9);
    EXPECT_EQ(log.rfind("2026-12-08 10:00:00.000 (StatusCompare) ", 0), 0u) << log;
    EXPECT_EQ(log.find("\r\n"), log.size() - 2) << "one line, no empty line: " << log;
    EXPECT_EQ(run.env.now_ms(), 500);
  }
  TestRun quiet;
  EXPECT_EQ(Judge(quiet, 1, "=", "x", 1).end, platform::kExitFailure);
  EXPECT_TRUE(quiet.env.sleeps().empty()) << "no wait with the log off";
  EXPECT_TRUE(quiet.env.appends.empty());
}

TEST(StatusCompareTest, ErrorLineCarriesTheDescription) {
  TestRun run;
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Judge(run, 3, "=", "abc", 1).end, platform::kExitFailure);
  EXPECT_EQ(run.NodeLog(0),
            "2026-12-08 10:00:00.000 (StatusCompare) Type mismatch: 'abc' is not a number\r\n");
}

TEST(StatusCompareTest, ObjectNumberOutsideOneToFourEndsThroughTheTrap) {
  TestRun run;
  run.ctx.state.DebugOn = true;
  try {
    StatusCompare(run.ctx, 5);
    ADD_FAILURE() << "returned";
  } catch (const platform::ProgramEnd& end) {
    EXPECT_EQ(end.status, platform::kExitFailure);
  }
  EXPECT_NE(run.NodeLog(0).find(" (StatusCompare) Subscript out of range"), std::string::npos);
}

TEST(StatusCompareTest, UnwritableLogEndsTheSameWay) {
  TestRun run;
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-0.txt");
  run.ctx.state.ObjCondSign(1) = "=";
  run.ctx.state.ObjCondVal(1) = "x";
  try {
    StatusCompare(run.ctx, 1);
    ADD_FAILURE() << "returned";
  } catch (const platform::ProgramEnd& end) {
    EXPECT_EQ(end.status, platform::kExitFailure);
  }
  EXPECT_FALSE(run.env.sleeps().empty());
}

}  // namespace
}  // namespace upstest::run
