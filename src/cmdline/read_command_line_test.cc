#include "cmdline/read_command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "test_support/test_run.h"

namespace upstest::cmdline {
namespace {

using testing::kTestSwitchFile;
using testing::TestRun;

constexpr const char* kGood =
    "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
    "upsBatteryTemperature<40 entPhySensorValue<35";

// Runs ReadCommandLine; the exit status when it ended the program.
std::optional<int> Read(TestRun& run) {
  try {
    ReadCommandLine(run.ctx);
  } catch (const platform::ProgramEnd& end) {
    return end.status;
  }
  return std::nullopt;
}

struct Object {
  std::string oid, sign, val;
  bool operator==(const Object&) const = default;
};

Object ObjectOf(const TestRun& run, int k) {
  const run::TestState& s = run.ctx.state;
  return {s.ObjOid(k), s.ObjCondSign(k), s.ObjCondVal(k)};
}

// The object argument `arg` in slot k of an otherwise good command line.
std::string WithSlot(int k, const std::string& arg) {
  const std::string args[4] = {"upsEstimatedMinutesRemaining>10", "upsBatteryVoltage|200-250",
                               "upsBatteryTemperature<40", "entPhySensorValue<35"};
  std::string text = "UPS-1 17 5";
  for (int n = 1; n <= 4; ++n) text += " " + (n == k ? arg : args[n - 1]);
  return text;
}

TEST(ReadCommandLineTest, FillsIdentityAndObjects) {
  TestRun run(kGood);
  EXPECT_EQ(Read(run), std::nullopt);
  const run::TestState& s = run.ctx.state;
  EXPECT_FALSE(s.ArgError);
  EXPECT_EQ(s.NodeName, "UPS-1");
  EXPECT_EQ(s.NodeId, 17);
  EXPECT_EQ(s.NodeStatus, 5);
  EXPECT_EQ(ObjectOf(run, 1), (Object{"1.3.6.1.2.1.33.1.2.3.0", ">", "10"}));
  EXPECT_EQ(ObjectOf(run, 2), (Object{"1.3.6.1.2.1.33.1.3.3.1.3.1", "|", "200-250"}));
  EXPECT_EQ(ObjectOf(run, 3), (Object{"1.3.6.1.2.1.33.1.2.7.0", "<", "40"}));
  EXPECT_EQ(ObjectOf(run, 4), (Object{"1.3.6.1.2.1.99.1.1.1.4.1", "<", "35"}));
  EXPECT_TRUE(run.env.appends.empty()) << "the log is off";
}

TEST(ReadCommandLineTest, SecondNameOfEachSlot) {
  TestRun run(
      "\"Main UPS\" 17 5 xupsBatTimeRemaining>600 xupsInputVoltage<250 xupsEnvAmbientTemp=25 "
      "xupsEnvRemoteTemp|10-30");
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_FALSE(run.ctx.state.ArgError);
  EXPECT_EQ(run.ctx.state.NodeName, "Main UPS");
  EXPECT_EQ(ObjectOf(run, 1), (Object{"1.3.6.1.4.1.534.1.2.1.0", ">", "600"}));
  EXPECT_EQ(ObjectOf(run, 2), (Object{"1.3.6.1.4.1.534.1.3.4.1.2.1", "<", "250"}));
  EXPECT_EQ(ObjectOf(run, 3), (Object{"1.3.6.1.4.1.534.1.6.1.0", "=", "25"}));
  EXPECT_EQ(ObjectOf(run, 4), (Object{"1.3.6.1.4.1.534.1.6.5.0", "|", "10-30"}));
}

TEST(ReadCommandLineTest, NameOfAnotherSlotOrInOtherCaseIsNotAccepted) {
  for (const auto& [k, arg] :
       std::initializer_list<std::pair<int, std::string>>{{1, "upsBatteryVoltage<250"},
                                                          {2, "upsbatteryvoltage<250"},
                                                          {3, "UPSBATTERYTEMPERATURE<40"},
                                                          {4, "xupsEnvAmbientTemp<30"},
                                                          {2, "Voltage<250"}}) {
    TestRun run(WithSlot(k, arg));
    EXPECT_EQ(Read(run), std::nullopt) << arg;
    EXPECT_TRUE(run.ctx.state.ArgError) << arg;
    EXPECT_EQ(ObjectOf(run, k), Object{}) << arg;
    // The other slots are still read.
    for (int n = 1; n <= 4; ++n) {
      if (n != k) {
        EXPECT_FALSE(run.ctx.state.ObjOid(n).empty()) << arg << " slot " << n;
      }
    }
  }
}

TEST(ReadCommandLineTest, NameFollowedByNothingOrOneCharacter) {
  TestRun nothing(WithSlot(3, "upsBatteryTemperature"));
  EXPECT_EQ(Read(nothing), std::nullopt);
  EXPECT_FALSE(nothing.ctx.state.ArgError);
  EXPECT_EQ(ObjectOf(nothing, 3), (Object{"1.3.6.1.2.1.33.1.2.7.0", "", ""}));

  TestRun one(WithSlot(3, "upsBatteryTemperature<"));
  EXPECT_EQ(Read(one), std::nullopt);
  EXPECT_EQ(ObjectOf(one, 3), (Object{"1.3.6.1.2.1.33.1.2.7.0", "<", ""}));
}

TEST(ReadCommandLineTest, ConditionIsReadRightAfterTheNameWhereverItStands) {
  TestRun run(WithSlot(2, "xupsBatteryVoltage<250"));
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_FALSE(run.ctx.state.ArgError);
  EXPECT_EQ(ObjectOf(run, 2), (Object{"1.3.6.1.2.1.33.1.3.3.1.3.1", "<", "250"}));

  TestRun inside(WithSlot(1, "ab-upsEstimatedMinutesRemaining=7x"));
  EXPECT_EQ(Read(inside), std::nullopt);
  EXPECT_EQ(ObjectOf(inside, 1), (Object{"1.3.6.1.2.1.33.1.2.3.0", "=", "7x"}));
}

// The condition character is one UTF-8 character, whatever its length; a
// byte that belongs to no well-formed sequence is a character of its own.
TEST(ReadCommandLineTest, ConditionCharacterIsOneCharacterNotOneByte) {
  const struct {
    std::string arg, sign, val;
  } cases[] = {
      {"upsBatteryVoltage\xe2\x89\xa4"
       "250",
       "\xe2\x89\xa4", "250"},  // U+2264
      {"upsBatteryVoltage\xc2\xb1"
       "5",
       "\xc2\xb1", "5"},                                              // U+00B1
      {"upsBatteryVoltage\xf0\x9f\x94\x8b", "\xf0\x9f\x94\x8b", ""},  // U+1F50B, nothing after
      {"upsBatteryVoltage\xff"
       "250",
       "\xff", "250"},
      {"upsBatteryVoltage\xe2\x89", "\xe2", "\x89"},  // cut off: two characters
  };
  for (const auto& c : cases) {
    TestRun run(WithSlot(2, c.arg));
    EXPECT_EQ(Read(run), std::nullopt);
    EXPECT_EQ(ObjectOf(run, 2), (Object{"1.3.6.1.2.1.33.1.3.3.1.3.1", c.sign, c.val}))
        << ::testing::PrintToString(c.arg);
  }
}

// Seven arguments are the fields themselves: a quote in the node name is
// part of the name and never shifts the id or the objects. The log shows
// the rebuilt text unchanged, and a UTF-8 name byte for byte.
// The seven arguments of a good run, with `name` first, as the process
// gets them.
std::vector<std::string> SevenArguments(const std::string& name) {
  return {name,
          "17",
          "5",
          "upsEstimatedMinutesRemaining>10",
          "upsBatteryVoltage|200-250",
          "upsBatteryTemperature<40",
          "entPhySensorValue<35"};
}

TEST(ReadCommandLineTest, SevenArgumentsAreTakenAsTheyStand) {
  const std::string name = "19\" Rack USV Geb\xc3\xa4ude";
  TestRun run("\"" + name +
              "\" 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
              "upsBatteryTemperature<40 entPhySensorValue<35");
  run.ctx.arguments = SevenArguments(name);
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_FALSE(run.ctx.state.ArgError);
  EXPECT_EQ(run.ctx.state.NodeName, name);
  EXPECT_EQ(run.ctx.state.NodeId, 17);
  EXPECT_EQ(ObjectOf(run, 4), (Object{"1.3.6.1.2.1.99.1.1.1.4.1", "<", "35"}));
  ASSERT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(
      run.env.appends[0].second.rfind(
          "\r\n2026-12-08 10:00:00.000 CommandLine = \"19\" Rack USV Geb\xc3\xa4ude\" 17 5 ", 0),
      0u)
      << run.env.appends[0].second;

  // The same words as one text are split: the quote shifts the fields and
  // the last ones are missing.
  TestRun split(run.ctx.argument_text);
  EXPECT_EQ(Read(split), platform::kExitArgumentError);

  // A name that holds a whole command line cannot bring in another node.
  TestRun forged("x");
  forged.ctx.arguments = SevenArguments(
      "a\" 99 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
      "upsBatteryTemperature<40 entPhySensorValue<35 \"x");
  EXPECT_EQ(Read(forged), std::nullopt);
  EXPECT_EQ(forged.ctx.state.NodeId, 17);
  EXPECT_EQ(forged.ctx.state.NodeName, forged.ctx.arguments[0]);
}

TEST(ReadCommandLineTest, EightWordsGiveObjectFourTheRest) {
  TestRun run(std::string(kGood) + " 99");
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_EQ(ObjectOf(run, 4), (Object{"1.3.6.1.2.1.99.1.1.1.4.1", "<", "35 99"}));
}

TEST(ReadCommandLineTest, MissingArgumentEndsWithTheArgumentErrorGroup) {
  const std::string six =
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage<250 "
      "upsBatteryTemperature<40";
  TestRun run(six);
  run.SwitchOn();
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), platform::kExitArgumentError);
  EXPECT_TRUE(run.ctx.state.ArgError);
  EXPECT_EQ(run.ctx.state.NodeName, "") << "nothing is read after a missing argument";
  ASSERT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(run.env.appends[0].first, kTestSwitchFile);
  EXPECT_EQ(run.env.appends[0].second,
            "\r\n2026-12-08 10:00:00.000 Argument Error\r\n"
            "2026-12-08 10:00:00.000 CommandLine = " +
                six + "\r\n\r\n");
  EXPECT_EQ(run.env.sleeps(), std::vector<int>{500}) << "500 ms after the group";
}

TEST(ReadCommandLineTest, MissingArgumentWithTheLogOffEndsAtOnce) {
  for (const char* text : {"", "UPS-1 17 \"\" a b c d", "UPS-1 17 5 a b c"}) {
    TestRun run(text);
    EXPECT_EQ(Read(run), platform::kExitArgumentError) << text;
    EXPECT_TRUE(run.env.appends.empty());
    EXPECT_TRUE(run.env.sleeps().empty());
  }
}

TEST(ReadCommandLineTest, ParsedArgumentsGroupWithAnUnacceptedName) {
  const std::string text = WithSlot(2, "voltage<250");
  TestRun run(text);
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_TRUE(run.ctx.state.ArgError);
  ASSERT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(run.env.appends[0].first, "/base/apiexec/upsdebug-17.txt");
  EXPECT_EQ(run.env.appends[0].second, "\r\n2026-12-08 10:00:00.000 CommandLine = " + text +
                                           "\r\n"
                                           "ObjOid(1):      1.3.6.1.2.1.33.1.2.3.0\r\n"
                                           "ObjCondSign(1): >\r\n"
                                           "ObjCondVal(1):  10\r\n"
                                           "ObjOid(2):      \r\n"
                                           "ObjCondSign(2): \r\n"
                                           "ObjCondVal(2):  \r\n"
                                           "ObjOid(3):      1.3.6.1.2.1.33.1.2.7.0\r\n"
                                           "ObjCondSign(3): <\r\n"
                                           "ObjCondVal(3):  40\r\n"
                                           "ObjOid(4):      1.3.6.1.2.1.99.1.1.1.4.1\r\n"
                                           "ObjCondSign(4): <\r\n"
                                           "ObjCondVal(4):  35\r\n"
                                           "\r\n");
  EXPECT_TRUE(run.env.sleeps().empty());
}

TEST(ReadCommandLineTest, NodeIdNotANumberIsLoggedForNodeZero) {
  const std::string text = "UPS-1 abc 5 a b c d";
  TestRun run(text);
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), platform::kExitFailure);
  EXPECT_EQ(run.ctx.state.NodeName, "UPS-1");
  EXPECT_EQ(run.ctx.state.NodeId, 0);
  EXPECT_FALSE(run.ctx.state.ArgError) << "the objects are never read";
  ASSERT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(run.env.appends[0].first, "/base/apiexec/upsdebug-0.txt");
  EXPECT_EQ(run.env.appends[0].second,
            "2026-12-08 10:00:00.000 Type mismatch: 'abc' is not a number\r\n"
            "CommandLine = " +
                text + "\r\n\r\n");
  EXPECT_EQ(run.env.sleeps(), std::vector<int>{500});
}

TEST(ReadCommandLineTest, NodeStatusBeyondSixteenBits) {
  TestRun run("UPS-1 17 40000 a b c d");
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), platform::kExitFailure);
  EXPECT_EQ(run.ctx.state.NodeId, 17);
  EXPECT_EQ(run.NodeLog(17),
            "2026-12-08 10:00:00.000 Overflow: 40000 does not fit in 16 bits\r\n"
            "CommandLine = UPS-1 17 40000 a b c d\r\n\r\n");

  TestRun quiet("UPS-1 17 40000 a b c d");
  EXPECT_EQ(Read(quiet), platform::kExitFailure);
  EXPECT_TRUE(quiet.env.appends.empty());
  EXPECT_TRUE(quiet.env.sleeps().empty()) << "no wait with the log off";
}

TEST(ReadCommandLineTest, NumbersAreRoundedHalfToEven) {
  TestRun run(
      "UPS-1 \" 16.5 \" -2.5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage<1 "
      "upsBatteryTemperature<1 entPhySensorValue<1");
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_EQ(run.ctx.state.NodeId, 16);
  EXPECT_EQ(run.ctx.state.NodeStatus, -2);
}

TEST(ReadCommandLineTest, OverlongTextEndsThroughTheTrap) {
  const std::string text = std::string(kGood) + " " + std::string(33000, 'x');
  TestRun run(text);
  run.ctx.state.DebugOn = true;
  EXPECT_EQ(Read(run), platform::kExitFailure);
  const std::string log = run.NodeLog(0);
  EXPECT_EQ(log.rfind("2026-12-08 10:00:00.000 Overflow", 0), 0u) << log.substr(0, 80);
  EXPECT_NE(log.find("\r\nCommandLine = " + text + "\r\n\r\n"), std::string::npos);
}

TEST(ReadCommandLineTest, UnwritableLogChangesNothing) {
  // The parsed-arguments group cannot be written: the arguments are read
  // all the same.
  TestRun run(kGood);
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  EXPECT_EQ(Read(run), std::nullopt);
  EXPECT_EQ(ObjectOf(run, 4), (Object{"1.3.6.1.2.1.99.1.1.1.4.1", "<", "35"}));
  EXPECT_EQ(run.env.stderr_lines.size(), 1u);

  // The switch file cannot take the argument error: still an argument
  // error, after the same pause.
  TestRun missing("a b c");
  missing.ctx.state.DebugOn = true;
  missing.env.failing_paths.insert(kTestSwitchFile);
  EXPECT_EQ(Read(missing), platform::kExitArgumentError);
  EXPECT_TRUE(missing.NodeLog(0).empty());
  EXPECT_EQ(missing.env.stderr_lines.size(), 1u);
}

}  // namespace
}  // namespace upstest::cmdline
