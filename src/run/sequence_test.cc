// The whole test sequence, driven through the scripted manager and the
// recording trap sender in virtual time.
#include "run/sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diag/log.h"
#include "platform/error.h"
#include "platform/program.h"
#include "run/scaling.h"
#include "test_support/test_run.h"

namespace upstest::run {
namespace {

using testing::FakeAgent;
using testing::FakeBinding;
using testing::FakeResponse;
using testing::RecordedTrap;
using testing::TestRun;

// Object 1 > 10, object 2 within 200..250, object 3 < 40, object 4 < 35
// (object 4 is rescaled by 10).
constexpr const char* kArgs =
    "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
    "upsBatteryTemperature<40 entPhySensorValue<35";
constexpr const char* kNodeLog = "/base/apiexec/upsdebug-17.txt";

FakeResponse Answer(int32_t v1, int32_t v2, int32_t v3, int32_t v4) {
  FakeResponse r;
  r.bindings = {{"1.3.6.1.2.1.33.1.2.3.0", snmp::kTypeInteger, std::to_string(v1)},
                {"1.3.6.1.2.1.33.1.3.3.1.3.1", snmp::kTypeInteger, std::to_string(v2)},
                {"1.3.6.1.2.1.33.1.2.7.0", snmp::kTypeInteger, std::to_string(v3)},
                {"1.3.6.1.2.1.99.1.1.1.4.1", snmp::kTypeInteger, std::to_string(v4)}};
  return r;
}

// A run whose node record holds `node_status`, with the debug log on or off.
struct Sequence : TestRun {
  explicit Sequence(std::string args = kArgs, int16_t node_status = 5, bool debug = true)
      : TestRun(std::move(args)) {
    if (debug) SwitchOn();
    ctx.read_node_data = [this, node_status](Context& c) {
      ++node_reads;
      c.state.IpAddr = "10.0.0.5";
      c.state.UdpPort = 161;
      c.state.NodeStatus = node_status;
      c.state.trapcomm = "public";
      c.state.LastMessage = "On line";
    };
  }
  // The answer to the first request, 5 ms after it was sent.
  void Answers(FakeResponse r) { manager.ResponseAfterGet(1, 5, std::move(r)); }
  int Run() { return RunTest(ctx); }
  std::string Log() const { return env.ContentOf(kNodeLog); }

  int node_reads = 0;
};

// The codes a trap carries: poll, ups, then the four object codes.
std::vector<int32_t> Codes(const RecordedTrap& trap) {
  return {FakeAgent::IntAt(trap, 1), FakeAgent::IntAt(trap, 2), FakeAgent::IntAt(trap, 3),
          FakeAgent::IntAt(trap, 5), FakeAgent::IntAt(trap, 7), FakeAgent::IntAt(trap, 9)};
}
std::vector<int32_t> Values(const RecordedTrap& trap) {
  return {FakeAgent::IntAt(trap, 4), FakeAgent::IntAt(trap, 6), FakeAgent::IntAt(trap, 8),
          FakeAgent::IntAt(trap, 10)};
}

// The timestamp at virtual time `ms` of a run.
std::string Stamp(int64_t ms) {
  testing::FakeEnv env;
  env.Advance(ms);
  return diag::TimeStamp(env);
}

std::string Summary(int64_t ms, const std::string& codes, const std::string& poll_ups,
                    bool trap_sent) {
  return Stamp(ms) + "\r\nObjStatus 1:  " + codes + "\r\nPoll Status:  " + poll_ups +
         "\r\nLast Message: On line\r\nTrap Sent:    " + (trap_sent ? "True" : "False") +
         "\r\n\r\n";
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Start 0, manager start waits 20 ms, the request goes out at 20, and its
// answer is taken in the moment it arrives, at 25.
constexpr int64_t kAnsweredAt = 25;

TEST(SequenceTest, AllMetSendsOneAllClearTrap) {
  Sequence run;
  run.Answers(Answer(20, 230, 25, 255));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(Values(run.agent.traps[0]), (std::vector<int32_t>{20, 230, 25, 26}));
  EXPECT_EQ(run.agent.traps[0].bindings.at(0).value, "UPS-1");
  EXPECT_EQ(run.agent.traps[0].at_ms, kAnsweredAt);
  ASSERT_EQ(run.manager.requests.size(), 1u);
  EXPECT_EQ(run.manager.requests[0].remote_host, "10.0.0.5");
  EXPECT_TRUE(
      EndsWith(run.Log(), Summary(kAnsweredAt, "1, ObjStatus 2: 1, ObjStatus 3: 1, ObjStatus 4: 1",
                                  "1, UPS Status: 1", true)))
      << run.Log();
  EXPECT_EQ(run.env.now_ms(), kAnsweredAt + 500) << "500 ms after the summary";
}

TEST(SequenceTest, NodeStatusSixSuppressesTheAllClear) {
  Sequence run(kArgs, 6);
  run.Answers(Answer(20, 230, 25, 255));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  EXPECT_TRUE(run.agent.traps.empty());
  EXPECT_TRUE(run.agent.calls.empty());
  EXPECT_TRUE(
      EndsWith(run.Log(), Summary(kAnsweredAt, "1, ObjStatus 2: 1, ObjStatus 3: 1, ObjStatus 4: 1",
                                  "1, UPS Status: 1", false)))
      << run.Log();
}

TEST(SequenceTest, NodeStatusSixStillReportsAlarms) {
  Sequence run(kArgs, 6);
  run.Answers(Answer(20, 230, 45, 255));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 2, 3, 3, 2, 3}));
}

TEST(SequenceTest, NoAnswer) {
  Sequence run;
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  EXPECT_EQ(run.manager.requests.size(), 2u);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{4, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Values(run.agent.traps[0]), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_NE(run.Log().find("Poll Status:  4, UPS Status: 0\r\n"), std::string::npos);
  EXPECT_NE(run.Log().find("ObjStatus 1:  0, ObjStatus 2: 0, ObjStatus 3: 0, ObjStatus 4: 0"),
            std::string::npos);
  EXPECT_TRUE(EndsWith(run.Log(), "Trap Sent:    True\r\n\r\n"));
}

TEST(SequenceTest, HandlerFailure) {
  Sequence run;
  FakeResponse bad = Answer(20, 230, 25, 255);
  bad.bindings[2] = FakeBinding{"1.3.6.1.2.1.33.1.2.7.0", snmp::kTypeOctetString, "warm"};
  run.Answers(bad);
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{3, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(EndsWith(run.Log(),
                       "Poll Status:  3, UPS Status: 0\r\nLast Message: On line\r\n"
                       "Trap Sent:    True\r\n\r\n"))
      << run.Log();
}

TEST(SequenceTest, OnlyObjectThreeFails) {
  Sequence run;
  run.Answers(Answer(20, 230, 45, 255));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 2, 3, 3, 2, 3}));
  // Object 4 comes after the alarm and gets its own code back.
  EXPECT_TRUE(EndsWith(
      run.Log(), Summary(kAnsweredAt + 200, "3, ObjStatus 2: 3, ObjStatus 3: 2, ObjStatus 4: 1",
                         "1, UPS Status: 2", true)))
      << run.Log();
}

TEST(SequenceTest, ObjectsOneAndFourFailTwoTraps200MsApart) {
  Sequence run;
  run.Answers(Answer(5, 230, 25, 400));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 2u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 2, 2, 3, 3, 3}));
  EXPECT_EQ(Codes(run.agent.traps[1]), (std::vector<int32_t>{1, 2, 3, 3, 3, 2}));
  EXPECT_EQ(Values(run.agent.traps[1]), (std::vector<int32_t>{5, 230, 25, 40}));
  EXPECT_EQ(run.agent.traps[0].at_ms, kAnsweredAt);
  EXPECT_EQ(run.agent.traps[1].at_ms, kAnsweredAt + 200);
  EXPECT_TRUE(EndsWith(
      run.Log(), Summary(kAnsweredAt + 400, "3, ObjStatus 2: 3, ObjStatus 3: 3, ObjStatus 4: 2",
                         "1, UPS Status: 2", true)))
      << run.Log();
  EXPECT_EQ(run.env.now_ms(), kAnsweredAt + 400 + 500);
}

TEST(SequenceTest, UnknownOperatorLeavesTheObjectUnjudged) {
  Sequence run(
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage!200 "
      "upsBatteryTemperature<40 entPhySensorValue<35");
  run.Answers(Answer(20, 230, 25, 255));
  EXPECT_EQ(run.Run(), platform::kExitNormal);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 1, 1, 0, 1, 1}));
}

TEST(SequenceTest, ArgumentErrorSendsOneTrapAndEnds) {
  Sequence run(
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 voltage<250 upsBatteryTemperature<40 "
      "entPhySensorValue<35");
  EXPECT_EQ(run.Run(), platform::kExitArgumentError);
  EXPECT_EQ(run.node_reads, 1) << "the node record is read first";
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{2, 0, 0, 0, 0, 0}));
  const std::vector<std::string>& configs = run.agent.traps[0].configs;
  EXPECT_NE(std::find(configs.begin(), configs.end(), "TrapAgentAddress=10.0.0.5"), configs.end());
  EXPECT_NE(std::find(configs.begin(), configs.end(), "TrapCommunity=public"), configs.end());
  EXPECT_TRUE(run.manager.calls.empty()) << "the manager is never touched";
  EXPECT_EQ(run.Log().find("Trap Sent"), std::string::npos) << "no summary";
  EXPECT_EQ(run.agent.traps[0].at_ms, 0);
  EXPECT_EQ(run.env.now_ms(), 500);
}

TEST(SequenceTest, MissingArgumentEndsBeforeTheNodeRecord) {
  Sequence run("UPS-1 17 5 a b c");
  EXPECT_EQ(run.Run(), platform::kExitArgumentError);
  EXPECT_EQ(run.node_reads, 0);
  EXPECT_TRUE(run.agent.traps.empty());
  EXPECT_TRUE(run.manager.calls.empty());
  ASSERT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(run.env.appends[0].first, testing::kTestSwitchFile);
}

TEST(SequenceTest, RangeWithoutDashEndsWithAnArgumentErrorTrap) {
  Sequence run(
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200 "
      "upsBatteryTemperature<40 entPhySensorValue<35");
  run.Answers(Answer(20, 230, 25, 255));
  EXPECT_EQ(run.Run(), platform::kExitArgumentError);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{2, 0, 0, 0, 0, 0}));
  EXPECT_EQ(run.Log().find("Trap Sent"), std::string::npos) << "no summary";
  EXPECT_EQ(run.env.now_ms(), kAnsweredAt + 500);
}

TEST(SequenceTest, LateAnswerInAnAlarmPauseIsJudgedAndCanEndInARangeError) {
  // First pass: object 4 holds 0, so the range condition of object 2 is
  // not looked at; object 1 fails. A second answer arrives during the
  // pause after the first alarm trap and makes object 4 positive.
  Sequence run(
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200 "
      "upsBatteryTemperature<40 entPhySensorValue<35");
  run.Answers(Answer(5, 230, 25, 0));
  run.manager.ResponseAt(kAnsweredAt + 100, Answer(5, 231, 25, 300));
  EXPECT_EQ(run.Run(), platform::kExitArgumentError);
  ASSERT_EQ(run.agent.traps.size(), 2u);
  EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 2, 2, 3, 3, 3}));
  EXPECT_EQ(Codes(run.agent.traps[1]), (std::vector<int32_t>{2, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Values(run.agent.traps[1]), (std::vector<int32_t>{5, 231, 25, 30}))
      << "the late values go out scaled, as the first were";
  EXPECT_EQ(run.agent.traps[1].at_ms, kAnsweredAt + 200);
}

// The answer again during the pause after the first alarm trap (a
// duplicated datagram, or a busy card answering the request and its
// repeat 20 ms apart): the objects judged after it, and every later trap,
// see its values in the trap's units, as they saw the first copy's.
TEST(SequenceTest, ALaterCopyOfTheAnswerIsScaledToo) {
  struct Case {
    const char* object4;  // entPhySensorValue, in tenths on the wire
    int32_t raw4;
    // Per trap: the codes, then the four values.
    std::vector<std::vector<int32_t>> traps;
  };
  for (const Case& c : std::initializer_list<Case>{
           // 26 < 30 is met: one alarm (object 1), not a second on 255.
           {"entPhySensorValue<30", 255, {{1, 2, 2, 3, 3, 3, 5, 230, 25, 26}}},
           // 15 > 20 fails: its alarm is not lost to 150.
           {"entPhySensorValue>20",
            150,
            {{1, 2, 2, 3, 3, 3, 5, 230, 25, 15}, {1, 2, 3, 3, 3, 2, 5, 230, 25, 15}}}}) {
    // xupsBatTimeRemaining in seconds: 300 is 5 minutes, and fails > 10.
    Sequence run(std::string("UPS-1 17 5 xupsBatTimeRemaining>10 upsBatteryVoltage|200-250 ") +
                 "upsBatteryTemperature<40 " + c.object4);
    FakeResponse answer = Answer(300, 230, 25, c.raw4);
    answer.bindings[0].oid = "1.3.6.1.4.1.534.1.2.1.0";
    run.Answers(answer);
    run.manager.ResponseAt(kAnsweredAt + 20, answer);
    EXPECT_EQ(run.Run(), platform::kExitNormal);
    std::vector<std::vector<int32_t>> traps;
    for (const RecordedTrap& trap : run.agent.traps) {
      std::vector<int32_t> seen = Codes(trap);
      for (int32_t v : Values(trap)) seen.push_back(v);
      traps.push_back(seen);
    }
    EXPECT_EQ(traps, c.traps) << c.object4 << " on " << c.raw4;
    EXPECT_EQ(run.manager.delivered.size(), 2u);
  }
}

TEST(SequenceTest, ValueScaling) {
  struct Case {
    const char* name1;
    int32_t polled1, expected1;
    const char* name4;
    int32_t polled4, expected4;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"xupsBatTimeRemaining", 149, 2, "entPhySensorValue", 255, 26},
           {"xupsBatTimeRemaining", -90, -2, "entPhySensorValue", 245, 24},
           {"xupsBatTimeRemaining", 90, 2, "entPhySensorValue", 0, 0},
           {"xupsBatTimeRemaining", 150, 2, "entPhySensorValue", -7, -7},
           {"xupsBatTimeRemaining", 30, 0, "entPhySensorValue", 5, 0},
           {"xupsBatTimeRemaining", 0, 0, "entPhySensorValue", 15, 2},
           {"xupsBatTimeRemaining", 2147483647, 35791394, "entPhySensorValue", 2147483647,
            214748365},
           {"upsEstimatedMinutesRemaining", 149, 149, "xupsEnvRemoteTemp", 255, 255}}) {
    // No operator is known, so nothing is judged and one all-clear goes out
    // with the values as scaled.
    Sequence run(std::string("UPS-1 17 5 ") + c.name1 + "! upsBatteryVoltage! " +
                 "upsBatteryTemperature! " + c.name4 + "!");
    run.Answers(Answer(c.polled1, 1, 1, c.polled4));
    EXPECT_EQ(run.Run(), platform::kExitNormal);
    ASSERT_EQ(run.agent.traps.size(), 1u);
    EXPECT_EQ(Codes(run.agent.traps[0]), (std::vector<int32_t>{1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(Values(run.agent.traps[0]), (std::vector<int32_t>{c.expected1, 1, 1, c.expected4}))
        << c.name1 << " " << c.polled1 << ", " << c.name4 << " " << c.polled4;
  }
}

// A divisor applies only to the exact OID of its own name in its own slot:
// another slot's scaled OID, or a longer one, leaves the value as polled.
TEST(SequenceTest, ScalingOnlyForItsOwnSlotAndExactOid) {
  constexpr const char* kBatTime = "1.3.6.1.4.1.534.1.2.1.0";
  constexpr const char* kSensor = "1.3.6.1.2.1.99.1.1.1.4.1";
  struct Case {
    int slot;
    std::string oid;
    int32_t polled, expected;
  };
  for (const Case& c : std::initializer_list<Case>{{1, kBatTime, 90, 2},
                                                   {4, kSensor, 255, 26},
                                                   {1, kSensor, 255, 255},
                                                   {4, kBatTime, 90, 90},
                                                   {2, kBatTime, 90, 90},
                                                   {3, kSensor, 255, 255},
                                                   {1, std::string(kBatTime) + ".0", 90, 90},
                                                   {4, std::string(kSensor) + " ", 255, 255},
                                                   {4, "", 255, 255}}) {
    TestState state;
    for (int n = 1; n <= kObjectCount; ++n) state.ObjValue(n) = 7;
    state.ObjOid(c.slot) = c.oid;
    state.ObjValue(c.slot) = c.polled;
    ScaleValues(state);
    for (int n = 1; n <= kObjectCount; ++n) {
      EXPECT_EQ(state.ObjValue(n), n == c.slot ? c.expected : 7)
          << "slot " << c.slot << " \"" << c.oid << "\" " << c.polled << ", object " << n;
    }
  }
}

TEST(SequenceTest, ErrorTrapOfStartTest) {
  Sequence run;
  run.ctx.read_node_data = [](Context&) { throw platform::Failure("node database gone"); };
  EXPECT_EQ(run.Run(), platform::kExitFailure);
  EXPECT_TRUE(run.agent.traps.empty());
  EXPECT_TRUE(EndsWith(run.Log(), Stamp(0) + " (StartTest) node database gone\r\n")) << run.Log();
  EXPECT_EQ(run.env.now_ms(), 500);

  Sequence quiet(kArgs, 5, false);
  quiet.ctx.read_node_data = [](Context&) { throw platform::Failure("node database gone"); };
  EXPECT_EQ(quiet.Run(), platform::kExitFailure);
  EXPECT_TRUE(quiet.env.appends.empty());
  EXPECT_TRUE(quiet.env.sleeps().empty()) << "no wait with the log off";
}

// The debug log never costs a check: with the node log unwritable from the
// start, or from the node record on, a run sends the same traps, waits the
// same waits and ends with the same status as with the log written. The
// first failure is reported once on stderr, however many groups are lost.
TEST(SequenceTest, UnwritableLogCostsNoCheck) {
  struct Case {
    const char* what;
    FakeResponse answer;
    bool answered;
    size_t traps;
  };
  const Case cases[] = {
      {"all met", Answer(20, 230, 25, 255), true, 1},
      {"two failed: two traps with the alarm pause", Answer(5, 230, 45, 255), true, 2},
      {"no answer: the retry and the trap", FakeResponse{}, false, 1},
  };
  for (const Case& c : cases) {
    for (const bool from_start : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (from_start ? ", from the start" : ", from the record"));
      Sequence written;
      Sequence lost;
      if (c.answered) {
        written.Answers(c.answer);
        lost.Answers(c.answer);
      }
      if (from_start) {
        lost.env.failing_paths.insert(kNodeLog);
      } else {
        const auto read = lost.ctx.read_node_data;
        lost.ctx.read_node_data = [&lost, read](Context& ctx) {
          lost.env.failing_paths.insert(kNodeLog);
          read(ctx);
        };
      }
      EXPECT_EQ(lost.Run(), written.Run());
      EXPECT_EQ(written.agent.traps.size(), c.traps);
      ASSERT_EQ(lost.agent.traps.size(), written.agent.traps.size());
      for (size_t i = 0; i < lost.agent.traps.size(); ++i) {
        EXPECT_EQ(Codes(lost.agent.traps[i]), Codes(written.agent.traps[i]));
        EXPECT_EQ(Values(lost.agent.traps[i]), Values(written.agent.traps[i]));
      }
      EXPECT_EQ(lost.env.sleeps(), written.env.sleeps());
      EXPECT_FALSE(written.Log().empty());
      EXPECT_TRUE(written.env.stderr_lines.empty());
      ASSERT_EQ(lost.env.stderr_lines.size(), 1u);
      EXPECT_EQ(lost.env.stderr_lines[0],
                "debug log not written, the run goes on without it: Cannot open '" +
                    std::string(kNodeLog) + "': Permission denied");
      if (!from_start) {
        EXPECT_NE(lost.Log().find("CommandLine = "), std::string::npos);
      }
    }
  }
}

// An argument cannot forge a log line (its CR LF shows as "??"), while the
// trap carries the node name's bytes as given.
// Nor steer a terminal: C1 controls (as UTF-8 and as a lone byte) show as
// '?' in the log and on stderr too.
TEST(SequenceTest, ArgumentsForgeNoLogLineButReachTheTrapAsGiven) {
  const std::string name = "UPS-1\r\n2026-12-08 10:00:00.000 Trap Sent:    True \xc2\x9b\x85";
  const char* argv[] = {"upstest",
                        name.c_str(),
                        "17",
                        "5",
                        "upsEstimatedMinutesRemaining>10",
                        "voltage\xc2\x85<250",
                        "upsBatteryTemperature<40",
                        "entPhySensorValue<35"};
  Sequence run(platform::ArgumentText(8, argv));
  run.ctx.arguments.assign(argv + 1, argv + 8);
  EXPECT_EQ(run.Run(), platform::kExitArgumentError);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(run.agent.traps[0].bindings.at(0).value, name);
  EXPECT_EQ(run.Log().find("\n2026-12-08 10:00:00.000 Trap"), std::string::npos) << run.Log();
  EXPECT_NE(run.Log().find("UPS-1??2026-12-08"), std::string::npos) << run.Log();
  EXPECT_NE(run.Log().find("Trap Sent:    True ??\" 17"), std::string::npos) << run.Log();
  ASSERT_EQ(run.env.stderr_lines.size(), 1u);
  EXPECT_NE(run.env.stderr_lines[0].find("\"voltage?<250\""), std::string::npos)
      << run.env.stderr_lines[0];
}

TEST(SequenceTest, LogSwitch) {
  // A directory of the switch file's name leaves the log off.
  Sequence dir(kArgs, 5, false);
  dir.env.directories.insert(testing::kTestSwitchFile);
  dir.Answers(Answer(20, 230, 25, 255));
  EXPECT_EQ(dir.Run(), platform::kExitNormal);
  EXPECT_TRUE(dir.env.appends.empty());
  EXPECT_EQ(dir.agent.traps.size(), 1u);
  EXPECT_EQ(dir.env.now_ms(), kAnsweredAt) << "no wait after the summary";

  // Removing the switch file during the run does not stop the log.
  Sequence removed;
  removed.Answers(Answer(20, 230, 25, 255));
  removed.ctx.read_node_data = [&removed](Context&) {
    removed.env.files.erase(testing::kTestSwitchFile);
  };
  EXPECT_EQ(removed.Run(), platform::kExitNormal);
  EXPECT_TRUE(EndsWith(removed.Log(), "Trap Sent:    True\r\n\r\n"));
}

}  // namespace
}  // namespace upstest::run
