#include "trap/status_trap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "test_support/procedure_helpers.h"
#include "test_support/test_run.h"

namespace upstest::trap {
namespace {

using testing::EndStatus;
using testing::MaskTimestamps;
using testing::RecordedBinding;
using testing::TestRun;

std::string VarbindOid(int n) { return "1.3.6.1.4.1.32473.1.22.1." + std::to_string(n) + ".0"; }

std::vector<RecordedBinding> ExpectedBindings(const std::vector<std::string>& values) {
  std::vector<RecordedBinding> bindings;
  for (size_t i = 0; i < values.size(); ++i) {
    bindings.push_back({VarbindOid(static_cast<int>(i) + 1), i == 0 ? 4 : 2, values[i]});
  }
  return bindings;
}

class StatusTrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run::TestState& s = run.ctx.state;
    run.SetNodeId(17);
    s.NodeName = "UPS Hall 2";
    s.IpAddr = "10.0.0.5";
    s.trapcomm = "traps";
    s.PollStatus = 1;
    s.UpsStatus = 2;
    for (int n = 1; n <= 4; ++n) s.ObjStatus(n) = 3;
    s.ObjStatus(2) = 2;
    s.ObjValue(1) = 120;
    s.ObjValue(2) = 2300;
    s.ObjValue(3) = -5;
    s.ObjValue(4) = 0;
  }
  std::string Log() { return MaskTimestamps(run.NodeLog(17)); }

  TestRun run;
};

TEST_F(StatusTrapTest, CallingOrder) {
  SendTrap(run.ctx);
  std::vector<std::string> expected{"Reset",
                                    "SetVersion 1",
                                    "Config TrapCommunity=traps",
                                    "Config TrapEnterprise=1.3.6.1.4.1.32473.1.22.2",
                                    "Config TrapAgentAddress=10.0.0.5",
                                    "SetObjCount 11"};
  for (int i = 0; i <= 10; ++i) {
    for (const char* op : {"SetObjId ", "SetObjType ", "SetObjValue "}) {
      expected.push_back(op + std::to_string(i));
    }
  }
  expected.push_back("Config TrapPort=162");
  expected.push_back("SendTrap 127.0.0.1 6.1");
  EXPECT_EQ(run.agent.calls, expected);
}

TEST_F(StatusTrapTest, TheTrapCarriesTheStateInElevenVarbinds) {
  SendTrap(run.ctx);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  const testing::RecordedTrap& trap = run.agent.traps[0];
  EXPECT_EQ(trap.version, 1);
  EXPECT_EQ(trap.configs, (std::vector<std::string>{"TrapCommunity=traps",
                                                    "TrapEnterprise=1.3.6.1.4.1.32473.1.22.2",
                                                    "TrapAgentAddress=10.0.0.5", "TrapPort=162"}));
  EXPECT_EQ(trap.host, "127.0.0.1");
  EXPECT_EQ(trap.trap_id, "6.1");
  EXPECT_EQ(trap.bindings, ExpectedBindings({"UPS Hall 2", "1", "2", "3", "120", "2", "2300", "3",
                                             "-5", "3", "0"}));
  // Normal path: no wait, no log.
  EXPECT_TRUE(run.env.sleeps().empty());
  EXPECT_TRUE(run.env.appends.empty());
}

TEST_F(StatusTrapTest, EmptyTextsAndExtremeValuesGoOutUnchanged) {
  run::TestState& s = run.ctx.state;
  s.NodeName = "";
  s.trapcomm = "";
  s.IpAddr = "";
  s.PollStatus = 4;
  s.UpsStatus = 0;
  for (int n = 1; n <= 4; ++n) s.ObjStatus(n) = 0;
  s.ObjValue(1) = INT32_MIN;
  s.ObjValue(2) = INT32_MAX;
  s.ObjValue(3) = -5;
  s.ObjStatus(4) = -32768;
  SendTrap(run.ctx);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  const testing::RecordedTrap& trap = run.agent.traps[0];
  EXPECT_EQ(trap.configs[0], "TrapCommunity=");
  EXPECT_EQ(trap.configs[2], "TrapAgentAddress=");
  EXPECT_EQ(trap.bindings, ExpectedBindings({"", "4", "0", "0", "-2147483648", "0", "2147483647",
                                             "0", "-5", "-32768", "0"}));
}

TEST_F(StatusTrapTest, NodeNameWithBlanksAndBytesPassesUntrimmed) {
  run.ctx.state.NodeName = std::string(" UPS\t\"7\" \xe4", 10);
  SendTrap(run.ctx);
  EXPECT_EQ(run.agent.traps.at(0).bindings.at(0).value, std::string(" UPS\t\"7\" \xe4", 10));
}

TEST_F(StatusTrapTest, TwoCallsSendTwoCompleteTrapsWithoutLeftovers) {
  SendTrap(run.ctx);
  run::TestState& s = run.ctx.state;
  s.trapcomm = "other";
  for (int n = 1; n <= 4; ++n) s.ObjStatus(n) = 3;
  s.ObjStatus(4) = 2;
  s.ObjValue(3) = 41;
  SendTrap(run.ctx);
  ASSERT_EQ(run.agent.traps.size(), 2u);
  EXPECT_EQ(run.agent.traps[0].bindings, ExpectedBindings({"UPS Hall 2", "1", "2", "3", "120", "2",
                                                           "2300", "3", "-5", "3", "0"}));
  EXPECT_EQ(run.agent.traps[1].bindings, ExpectedBindings({"UPS Hall 2", "1", "2", "3", "120", "3",
                                                           "2300", "3", "41", "2", "0"}));
  EXPECT_EQ(
      run.agent.traps[1].configs,
      (std::vector<std::string>{"TrapCommunity=other", "TrapEnterprise=1.3.6.1.4.1.32473.1.22.2",
                                "TrapAgentAddress=10.0.0.5", "TrapPort=162"}));
  EXPECT_EQ(run.agent.calls.size(), 2u * (6 + 33 + 2));
}

TEST_F(StatusTrapTest, FailureWithTheLogOnWritesOneLineWaitsAndEnds) {
  run.ctx.state.DebugOn = true;
  run.agent.FailOn("Config", "Unknown configuration 'TrapCommunity'");
  EXPECT_EQ(EndStatus([&] { SendTrap(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(Log(), "<ts> (SendTrap) Unknown configuration 'TrapCommunity'\r\n");
  EXPECT_EQ(run.env.appends.size(), 1u);
  EXPECT_EQ(run.env.sleeps(), std::vector<int>{500});
  EXPECT_TRUE(run.agent.traps.empty());
  EXPECT_EQ(run.agent.calls.back(), "Config TrapCommunity=traps");
}

TEST_F(StatusTrapTest, FailureWithTheLogOffEndsAtOnce) {
  run.agent.FailOn("SendTrap", "Network is unreachable");
  EXPECT_EQ(EndStatus([&] { SendTrap(run.ctx); }), platform::kExitFailure);
  EXPECT_TRUE(run.env.sleeps().empty());
  EXPECT_TRUE(run.env.appends.empty());
  EXPECT_TRUE(run.agent.traps.empty());
}

TEST_F(StatusTrapTest, EveryOperationFailingStopsTheTrapThere) {
  for (const char* op : {"Reset", "SetVersion", "SetObjCount", "SetObjId", "SetObjType",
                         "SetObjValue", "SendTrap"}) {
    TestRun other;
    other.ctx.state.DebugOn = true;
    other.SetNodeId(3);
    other.agent.FailOn(op, std::string("failed: ") + op);
    EXPECT_EQ(EndStatus([&] { SendTrap(other.ctx); }), platform::kExitFailure) << op;
    EXPECT_TRUE(other.agent.traps.empty()) << op;
    EXPECT_EQ(other.agent.calls.back().substr(0, other.agent.calls.back().find(' ')), op);
    EXPECT_EQ(MaskTimestamps(other.NodeLog(3)),
              std::string("<ts> (SendTrap) failed: ") + op + "\r\n");
  }
}

TEST_F(StatusTrapTest, EventsDuringTheTrapsWaitAreDelivered) {
  run.ctx.state.DebugOn = true;
  run.manager.SetActive(true);
  run.manager.ResponseAt(100, testing::FakeResponse{});
  run.agent.FailOn("SendTrap");
  EXPECT_EQ(EndStatus([&] { SendTrap(run.ctx); }), platform::kExitFailure);
  ASSERT_EQ(run.manager.delivered.size(), 1u);
  EXPECT_EQ(run.manager.delivered[0].first, 100);
}

TEST_F(StatusTrapTest, UnwritableLogEndsTheSameWayAfterTheSameWait) {
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  run.agent.FailOn("SendTrap");
  EXPECT_EQ(EndStatus([&] { SendTrap(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(run.env.sleeps(), std::vector<int>{500});
}

}  // namespace
}  // namespace upstest::trap
